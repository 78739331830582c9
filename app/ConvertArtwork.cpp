#include "app/ConvertArtwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace reelcast::app {
namespace {

const QColor kMagenta(0xFF, 0x00, 0xFF);

enum FaceState { kNormal = 0, kPressed = 1, kHot = 2 };

// Draws one face into rect: a rounded plate and the command's symbol and word.
void DrawFace(QPainter& p, const QRectF& r, ConvertFace face, int state) {
    const bool pressed = state == kPressed, hot = state == kHot;
    QColor top = face == ConvertFace::Start ? QColor(70, 170, 90) : QColor(200, 70, 60);
    QColor bottom = face == ConvertFace::Start ? QColor(30, 110, 50) : QColor(140, 30, 30);
    if (hot) {
        top = top.lighter(125);
        bottom = bottom.lighter(125);
    }
    if (pressed) std::swap(top, bottom);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    const QRectF plate = r.adjusted(1, 1, -1, -1);
    p.setPen(QPen(QColor(20, 30, 50), 1));
    p.setBrush(g);
    // Hard plate edges: a blend with the magenta around it would show as a fringe.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.drawRoundedRect(plate, 6, 6);
    p.setRenderHint(QPainter::Antialiasing, true);

    const QPointF shift = pressed ? QPointF(1, 1) : QPointF(0, 0);
    const QRectF icon(plate.left() + 6 + shift.x(), plate.center().y() - 5 + shift.y(), 10, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    if (face == ConvertFace::Start) {
        QPolygonF arrow;
        arrow << icon.topLeft() << QPointF(icon.right(), icon.center().y()) << icon.bottomLeft();
        p.drawPolygon(arrow);
    } else {
        p.drawRect(icon.adjusted(1, 1, -1, -1));
    }
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(plate.adjusted(18, 0, 0, 0).translated(shift), Qt::AlignCenter,
               face == ConvertFace::Start ? "Convert" : "Stop");
}


// A strip of kButtonFaceCount faces of w x h on magenta, each drawn by draw(painter, rect, state).
template <class Draw>
QImage FaceStrip(int w, int h, Draw draw) {
    QImage img(w * kButtonFaceCount, h, QImage::Format_RGB32);
    img.fill(kMagenta);
    QPainter p(&img);
    for (int state = 0; state < kButtonFaceCount; ++state) draw(p, QRectF(state * w, 0, w, h), state);
    p.end();
    return img;
}

// A small round plate with a symbol drawn by symbol(painter, rect).
template <class Symbol>
void DrawRoundFace(QPainter& p, const QRectF& r, int state, Symbol symbol) {
    QColor plate = state == kHot ? QColor(90, 120, 180) : QColor(60, 84, 130);
    if (state == kPressed) plate = QColor(36, 52, 90);
    p.setPen(QPen(QColor(150, 180, 230), 1));
    p.setBrush(plate);
    p.drawEllipse(r.adjusted(0.5, 0.5, -1.5, -1.5));
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(Qt::white, 1.6));
    symbol(p, r.translated(state == kPressed ? 1 : 0, state == kPressed ? 1 : 0));
    p.setRenderHint(QPainter::Antialiasing, false);
}

}  // namespace

QImage ConvertWindowPicture() {
    QImage img(kConvertPictureWidth, kConvertPictureHeight, QImage::Format_RGB32);
    img.fill(kMagenta);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);  // hard edges: the shape is cut at magenta

    QPainterPath outline;
    outline.addRoundedRect(QRectF(0, 0, kConvertPictureWidth, kConvertPictureHeight), 16, 16);
    QLinearGradient body(0, 0, 0, kConvertPictureHeight);
    body.setColorAt(0, QColor(46, 64, 102));
    body.setColorAt(0.5, QColor(28, 40, 70));
    body.setColorAt(1, QColor(16, 24, 44));
    p.fillPath(outline, body);

    // Title strip and the two panels behind the file rows and the progress row.
    p.fillRect(QRect(8, 4, 304, 20), QColor(60, 84, 130));
    p.setPen(QColor(120, 150, 200));
    p.drawLine(8, 24, 311, 24);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(22, 32, 58));
    p.drawRoundedRect(QRect(4, 27, 312, 52), 6, 6);
    p.drawRoundedRect(QRect(3, 80, 314, 30), 6, 6);

    // A light rim along the top edge.
    p.setPen(QPen(QColor(150, 180, 230), 1));
    p.setBrush(Qt::NoBrush);
    p.drawLine(16, 1, kConvertPictureWidth - 17, 1);
    p.end();
    return img;
}


QImage ConvertButtonFaces(ConvertFace face) {
    return FaceStrip(kConvertFaceWidth, kConvertFaceHeight,
                     [face](QPainter& p, const QRectF& r, int state) { DrawFace(p, r, face, state); });
}

QImage CloseButtonFaces() {
    return FaceStrip(13, 15, [](QPainter& p, const QRectF& r, int state) {
        DrawRoundFace(p, r.adjusted(0, 1, 0, -1), state, [](QPainter& q, const QRectF& c) {
            const QRectF x = c.adjusted(4, 5, -4, -5);
            q.drawLine(x.topLeft(), x.bottomRight());
            q.drawLine(x.topRight(), x.bottomLeft());
        });
    });
}

QImage InfoButtonFaces() {
    return FaceStrip(24, 24, [](QPainter& p, const QRectF& r, int state) {
        DrawRoundFace(p, r, state, [](QPainter& q, const QRectF& c) {
            QFont font = q.font();
            font.setBold(true);
            font.setItalic(true);
            font.setPixelSize(15);
            q.setFont(font);
            q.drawText(c, Qt::AlignCenter, "i");
        });
    });
}


}  // namespace reelcast::app
