// Draws the skins shipped with the program: for each, face.bmp (magenta outside
// the window's shape and in its holes), ctrl1.bmp .. ctrl10.bmp (four faces per
// button: normal, pressed, hot, disabled), skin.ini and welcome.bmp.
//
//   skin_painter OUTPUT_FOLDER      writes OUTPUT_FOLDER/SKIN0 .. SKIN2
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/logic/ProgramFiles.h"
#include "app/logic/Skins.h"

namespace {

using reelcast::app::kProgramTitle;
using reelcast::app::kSkinButtonCount;
using reelcast::app::kSkinButtonLabels;
using reelcast::app::kSkinFacesPerButton;

const QColor kMagenta(255, 0, 255);

enum class Shape { RoundRect, Circle, Pill };
enum Face { kNormal, kPressed, kHot, kDisabled };

struct ButtonSpec {
    int number;  // 1..10
    QRect rect;  // in the face
    Shape shape;
};

struct Palette {
    QColor top, bottom;   // button gradient
    QColor border;
    QColor ink;           // label
    QColor hotTop, hotBottom, hotGlow;
    QColor pressedTop, pressedBottom;
    QColor exitInk;       // the exit button's cross
};

struct Skin {
    const char* folder;
    QSize size;
    std::function<QPainterPath()> outline;       // the window's shape, holes included
    std::function<void(QPainter&, const QPainterPath&)> body;
    QColor edge;                                  // what soft outline pixels blend into
    Palette buttons;
    std::vector<ButtonSpec> layout;
    std::function<void(QPainter&, QSize)> welcome;
};

QFont Font(int pixels, bool bold = true, bool italic = false) {
    QFont f("DejaVu Sans");
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setItalic(italic);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// Pixels the antialiased outline covers less than half become magenta; the rest
// are laid over the edge colour, so the shape's rim has no pink fringe.
QImage HardenEdges(const QImage& argb, const QColor& edge) {
    QImage out(argb.size(), QImage::Format_RGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        QRgb* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = in[x];  // premultiplied
            const int a = qAlpha(p);
            if (a < 128) {
                o[x] = kMagenta.rgb();
                continue;
            }
            const int r = qRed(p) + edge.red() * (255 - a) / 255;
            const int g = qGreen(p) + edge.green() * (255 - a) / 255;
            const int b = qBlue(p) + edge.blue() * (255 - a) / 255;
            QRgb c = qRgb(std::min(r, 255), std::min(g, 255), std::min(b, 255));
            if ((c & 0xFFFFFF) == (kMagenta.rgb() & 0xFFFFFF)) c = qRgb(254, 0, 254);
            o[x] = c;
        }
    }
    return out;
}

QPainterPath ButtonPath(const QRectF& r, Shape shape) {
    QPainterPath path;
    switch (shape) {
        case Shape::Circle: path.addEllipse(r); break;
        case Shape::Pill: path.addRoundedRect(r, r.height() / 2, r.height() / 2); break;
        case Shape::RoundRect: path.addRoundedRect(r, 7, 7); break;
    }
    return path;
}

// ---- The pictures on the buttons --------------------------------------------------

void FilmIcon(QPainter& p, const QRectF& r, const QColor& ink) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    QPainterPath strip;
    strip.addRoundedRect(r, 2, 2);
    const qreal hole = r.height() / 5;
    for (qreal x = r.left() + hole * 0.6; x + hole < r.right(); x += hole * 1.8) {
        strip.addRect(QRectF(x, r.top() + hole * 0.5, hole, hole * 0.8));
        strip.addRect(QRectF(x, r.bottom() - hole * 1.3, hole, hole * 0.8));
    }
    strip.setFillRule(Qt::OddEvenFill);
    p.drawPath(strip);
    p.restore();
}

void DiscIcon(QPainter& p, const QRectF& r, const QColor& ink) {
    p.save();
    const qreal d = std::min(r.width(), r.height());
    const QRectF c(r.center().x() - d / 2, r.center().y() - d / 2, d, d);
    QPainterPath disc;
    disc.addEllipse(c);
    disc.addEllipse(c.center(), d * 0.14, d * 0.14);
    disc.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(disc);
    p.setPen(QPen(QColor(255, 255, 255, 110), 1));
    p.setBrush(Qt::NoBrush);
    p.drawArc(c.adjusted(d * 0.22, d * 0.22, -d * 0.22, -d * 0.22), 30 * 16, 70 * 16);
    p.restore();
}

void CrossIcon(QPainter& p, const QRectF& r, const QColor& ink) {
    p.save();
    p.setPen(QPen(ink, std::max(2.0, r.width() / 6), Qt::SolidLine, Qt::RoundCap));
    const QRectF c = r.adjusted(r.width() * 0.28, r.height() * 0.28, -r.width() * 0.28, -r.height() * 0.28);
    p.drawLine(c.topLeft(), c.bottomRight());
    p.drawLine(c.topRight(), c.bottomLeft());
    p.restore();
}

void MenuIcon(QPainter& p, const QRectF& r, const QColor& ink) {
    p.save();
    p.setPen(QPen(ink, std::max(2.0, r.height() / 9), Qt::SolidLine, Qt::RoundCap));
    const qreal l = r.left() + r.width() * 0.27, rr = r.right() - r.width() * 0.27;
    for (int i = -1; i <= 1; ++i) {
        const qreal y = r.center().y() + i * r.height() * 0.17;
        p.drawLine(QPointF(l, y), QPointF(rr, y));
    }
    p.restore();
}

void PaletteIcon(QPainter& p, const QRectF& r, const QColor& ink) {
    p.save();
    const QRectF c = r.adjusted(r.width() * 0.2, r.height() * 0.24, -r.width() * 0.2, -r.height() * 0.24);
    QPainterPath pal;
    pal.addEllipse(c);
    pal.addEllipse(QPointF(c.left() + c.width() * 0.68, c.top() + c.height() * 0.7), c.width() * 0.1,
                   c.width() * 0.1);
    pal.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(pal);
    const QColor dots[] = {QColor(230, 50, 40), QColor(40, 170, 60), QColor(40, 100, 230), QColor(250, 200, 0)};
    const QPointF at[] = {{0.28, 0.4}, {0.48, 0.25}, {0.7, 0.32}, {0.3, 0.7}};
    for (int i = 0; i < 4; ++i) {
        p.setBrush(dots[i]);
        p.drawEllipse(QPointF(c.left() + c.width() * at[i].x(), c.top() + c.height() * at[i].y()),
                      c.width() * 0.09, c.width() * 0.09);
    }
    p.restore();
}

void HelpIcon(QPainter& p, const QRectF& r, const QColor& ink) {
    p.save();
    p.setPen(ink);
    p.setFont(Font(static_cast<int>(r.height() * 0.62)));
    p.drawText(r, Qt::AlignCenter, "?");
    p.restore();
}

// Label and picture of button n inside r.
void DrawCommand(QPainter& p, int n, const QRectF& r, const QColor& ink, const QColor& exitInk) {
    switch (n) {
        case 7: CrossIcon(p, r, exitInk); return;
        case 8: MenuIcon(p, r, ink); return;
        case 9: PaletteIcon(p, r, ink); return;
        case 10: HelpIcon(p, r, ink); return;
        default: break;
    }
    const QString label = kSkinButtonLabels[n - 1];
    const bool disc = n == 3 || n == 4;  // VCD, DVD
    auto icon = [&](const QRectF& at) {
        if (disc) DiscIcon(p, at, ink);
        else FilmIcon(p, at, ink);
    };
    p.save();
    p.setPen(ink);
    if (r.width() >= 2.2 * r.height()) {  // wide: picture left, text right
        const qreal s = r.height() * 0.5;
        const QRectF iconRect(r.left() + r.width() * 0.1, r.center().y() - s / 2, disc ? s : s * 1.3, s);
        icon(iconRect);
        p.setFont(Font(static_cast<int>(r.height() * 0.42)));
        p.drawText(QRectF(iconRect.right() + 4, r.top(), r.right() - iconRect.right() - 8, r.height()),
                   Qt::AlignCenter, label);
    } else {  // picture above, text below
        const qreal s = r.height() * 0.3;
        icon(QRectF(r.center().x() - (disc ? s / 2 : s * 0.75), r.top() + r.height() * 0.12,
                    disc ? s : s * 1.5, s));
        p.setFont(Font(static_cast<int>(r.height() * 0.33)));
        p.drawText(QRectF(r.left(), r.top() + r.height() * 0.45, r.width(), r.height() * 0.5),
                   Qt::AlignCenter, label);
    }
    p.restore();
}

// One face of a button, drawn over the piece of the window face under it.
QImage ButtonFace(const QImage& face, const ButtonSpec& b, const Palette& pal, Face state) {
    QImage img = face.copy(b.rect).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF r = QRectF(0, 0, b.rect.width(), b.rect.height()).adjusted(1.5, 1.5, -1.5, -1.5);
    const QPainterPath path = ButtonPath(r, b.shape);

    QColor top = pal.top, bottom = pal.bottom, ink = pal.ink, exitInk = pal.exitInk;
    if (state == kHot) {
        top = pal.hotTop;
        bottom = pal.hotBottom;
    } else if (state == kPressed) {
        top = pal.pressedTop;
        bottom = pal.pressedBottom;
    } else if (state == kDisabled) {
        auto grey = [](QColor c) {
            const int g = qGray(c.rgb());
            return QColor((g + 160) / 2, (g + 160) / 2, (g + 160) / 2);
        };
        top = grey(top);
        bottom = grey(bottom);
        ink = exitInk = QColor(120, 120, 120);
    }
    // Shadow under the button, a glow around it when hot.
    if (state == kHot) {
        for (int i = 3; i >= 1; --i) {
            QColor g = pal.hotGlow;
            g.setAlpha(50 * (4 - i));
            p.setPen(QPen(g, i * 1.6));
            p.setBrush(Qt::NoBrush);
            p.drawPath(path);
        }
    }
    QLinearGradient grad(r.topLeft(), r.bottomLeft());
    grad.setColorAt(0, top);
    grad.setColorAt(1, bottom);
    p.setPen(QPen(pal.border, 1.2));
    p.setBrush(grad);
    p.drawPath(path);
    // A glassy highlight over the upper half, none when pressed.
    if (state != kPressed) {
        p.save();
        p.setClipPath(path);
        QLinearGradient shine(r.topLeft(), QPointF(r.left(), r.center().y()));
        shine.setColorAt(0, QColor(255, 255, 255, state == kHot ? 120 : 90));
        shine.setColorAt(1, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(shine);
        p.drawRect(QRectF(r.left(), r.top(), r.width(), r.height() / 2));
        p.restore();
    } else {
        p.save();
        p.setClipPath(path);
        p.setPen(QPen(QColor(0, 0, 0, 90), 3));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path.translated(1, 1));
        p.restore();
    }
    const QRectF content = state == kPressed ? r.translated(1, 1) : r;
    DrawCommand(p, b.number, content, ink, exitInk);
    p.end();
    return img.convertToFormat(QImage::Format_RGB32);
}

QImage ButtonStrip(const QImage& face, const ButtonSpec& b, const Palette& pal) {
    QImage strip(b.rect.width() * kSkinFacesPerButton, b.rect.height(), QImage::Format_RGB32);
    QPainter p(&strip);
    for (int s = 0; s < kSkinFacesPerButton; ++s)
        p.drawImage(s * b.rect.width(), 0, ButtonFace(face, b, pal, static_cast<Face>(s)));
    return strip;
}

// ---- Shared decoration ------------------------------------------------------------

// A film reel: a disc with five round windows and a hub.
QPainterPath ReelPath(QPointF c, qreal radius) {
    QPainterPath reel;
    reel.addEllipse(c, radius, radius);
    for (int i = 0; i < 5; ++i) {
        const qreal a = (i * 72 - 90) * M_PI / 180.0;
        reel.addEllipse(QPointF(c.x() + std::cos(a) * radius * 0.55, c.y() + std::sin(a) * radius * 0.55),
                        radius * 0.24, radius * 0.24);
    }
    reel.addEllipse(c, radius * 0.1, radius * 0.1);
    reel.setFillRule(Qt::OddEvenFill);
    return reel;
}

void Title(QPainter& p, const QRectF& r, const QColor& ink, const QColor& shadow, int px,
           bool italic = false, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    p.setFont(Font(px, true, italic));
    p.setPen(shadow);
    p.drawText(r.translated(1, 1), align, kProgramTitle);
    p.setPen(ink);
    p.drawText(r, align, kProgramTitle);
}

void Welcome(QPainter& p, QSize size, const QColor& top, const QColor& bottom, const QColor& reel,
             const QColor& ink, const QColor& accent) {
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(QRect(QPoint(0, 0), size), g);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    QColor halo = accent;
    halo.setAlpha(60);
    QRadialGradient rg(QPointF(size.width() / 2.0, 92), 90);
    rg.setColorAt(0, halo);
    rg.setColorAt(1, QColor(0, 0, 0, 0));
    p.setBrush(rg);
    p.drawEllipse(QPointF(size.width() / 2.0, 92), 90, 90);
    p.setBrush(reel);
    p.drawPath(ReelPath(QPointF(size.width() / 2.0, 88), 52));
    Title(p, QRectF(0, 150, size.width(), 34), ink, QColor(0, 0, 0, 120), 24, false, Qt::AlignCenter);
    p.setFont(Font(12, false));
    p.setPen(accent);
    p.drawText(QRectF(0, 188, size.width(), 20), Qt::AlignCenter, "Preview");
    p.setPen(ink);
    p.drawText(QRectF(0, 208, size.width(), 20), Qt::AlignCenter,
               "The pictures show here while converting");
}

// ---- SKIN0: brushed steel capsule ---------------------------------------------------

Skin Steel() {
    Skin s;
    s.folder = "SKIN0";
    s.size = QSize(460, 150);
    s.outline = [] {
        QPainterPath body;
        body.addRoundedRect(QRectF(0, 18, 460, 132), 30, 30);
        QPainterPath tab;
        tab.addRoundedRect(QRectF(18, 0, 210, 44), 12, 12);
        QPainterPath grip;  // a hand-hold slot through the right end
        grip.addRoundedRect(QRectF(438, 56, 10, 62), 5, 5);
        return body.united(tab).subtracted(grip);
    };
    s.body = [](QPainter& p, const QPainterPath& shape) {
        QLinearGradient g(0, 0, 0, 150);
        g.setColorAt(0, QColor(232, 236, 241));
        g.setColorAt(0.45, QColor(176, 186, 198));
        g.setColorAt(0.55, QColor(160, 170, 184));
        g.setColorAt(1, QColor(206, 212, 222));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPath(shape);
        p.save();
        p.setClipPath(shape);
        unsigned seed = 12345;  // brushed lines, the same every build
        for (int y = 0; y < 150; y += 2) {
            seed = seed * 1103515245u + 12345u;
            p.setPen(QColor(255, 255, 255, static_cast<int>(20 + (seed >> 16) % 40)));
            p.drawLine(0, y, 460, y);
        }
        // The display panel.
        QPainterPath lcd;
        lcd.addRoundedRect(QRectF(20, 50, 262, 32), 6, 6);
        p.setPen(QPen(QColor(60, 70, 84), 1.5));
        QLinearGradient lg(0, 50, 0, 82);
        lg.setColorAt(0, QColor(18, 40, 30));
        lg.setColorAt(1, QColor(34, 70, 52));
        p.setBrush(lg);
        p.drawPath(lcd);
        p.setFont(QFont("DejaVu Sans Mono", 11, QFont::Bold));
        p.setPen(QColor(120, 255, 170));
        p.drawText(QRectF(30, 50, 250, 32), Qt::AlignVCenter | Qt::AlignLeft, "READY  \u25B8 pick a conversion");
        p.restore();
        p.setPen(QPen(QColor(58, 66, 80), 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(shape);
        p.setPen(QPen(QColor(255, 255, 255, 150), 1));
        p.drawPath(shape.translated(0, 1).intersected(shape));
        p.setBrush(QColor(40, 60, 110));
        p.setPen(Qt::NoPen);
        p.drawPath(ReelPath(QPointF(42, 21), 13));
        Title(p, QRectF(62, 4, 166, 34), QColor(24, 40, 90), QColor(255, 255, 255, 170), 17);
    };
    s.edge = QColor(58, 66, 80);
    s.buttons = {QColor(250, 251, 253), QColor(196, 204, 216), QColor(70, 80, 96),
                 QColor(28, 44, 92),    QColor(255, 255, 255), QColor(214, 228, 250),
                 QColor(80, 150, 255),  QColor(150, 160, 176), QColor(200, 208, 220),
                 QColor(200, 30, 30)};
    for (int i = 0; i < 6; ++i) s.layout.push_back({i + 1, QRect(20 + i * 68, 96, 62, 42), Shape::RoundRect});
    const int small[] = {8, 9, 10, 7};  // menu, skin, help, exit
    for (int i = 0; i < 4; ++i) s.layout.push_back({small[i], QRect(298 + i * 34, 52, 30, 30), Shape::Circle});
    s.welcome = [](QPainter& p, QSize size) {
        Welcome(p, size, QColor(214, 220, 230), QColor(132, 144, 160), QColor(40, 60, 110),
                QColor(24, 40, 90), QColor(60, 120, 220));
    };
    return s;
}

// ---- SKIN1: midnight reel with a wing -------------------------------------------------

Skin Midnight() {
    Skin s;
    s.folder = "SKIN1";
    s.size = QSize(470, 184);
    const QPointF hub(92, 92);
    s.outline = [hub] {
        QPainterPath disc;
        disc.addEllipse(hub, 90, 90);
        QPainterPath wing;
        wing.addRoundedRect(QRectF(130, 28, 338, 128), 22, 22);
        QPainterPath shape = disc.united(wing);
        // The reel's windows are holes through the window.
        for (int i = 0; i < 5; ++i) {
            const qreal a = (i * 72 - 90) * M_PI / 180.0;
            QPainterPath hole;
            hole.addEllipse(QPointF(hub.x() + std::cos(a) * 46, hub.y() + std::sin(a) * 46), 17, 17);
            shape = shape.subtracted(hole);
        }
        return shape;
    };
    s.body = [hub](QPainter& p, const QPainterPath& shape) {
        QLinearGradient g(0, 0, 0, 184);
        g.setColorAt(0, QColor(30, 48, 96));
        g.setColorAt(1, QColor(10, 16, 40));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPath(shape);
        p.save();
        p.setClipPath(shape);
        // The reel: metal rim and rings.
        QRadialGradient rg(hub, 90);
        rg.setColorAt(0, QColor(70, 90, 140));
        rg.setColorAt(0.8, QColor(36, 52, 100));
        rg.setColorAt(1, QColor(120, 150, 210));
        p.setBrush(rg);
        p.drawEllipse(hub, 90, 90);
        p.setBrush(Qt::NoBrush);
        for (int r : {86, 70, 22}) {
            p.setPen(QPen(QColor(57, 213, 255, r == 86 ? 200 : 90), r == 86 ? 2 : 1));
            p.drawEllipse(hub, r, r);
        }
        p.setBrush(QColor(180, 200, 230));
        p.setPen(Qt::NoPen);
        p.drawEllipse(hub, 10, 10);
        // Glow lines along the wing.
        p.setPen(QPen(QColor(57, 213, 255, 140), 1));
        p.drawLine(QPointF(186, 38), QPointF(458, 38));
        p.drawLine(QPointF(186, 146), QPointF(300, 146));
        p.restore();
        p.setPen(QPen(QColor(57, 213, 255), 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawPath(shape);
        Title(p, QRectF(186, 116, 140, 30), QColor(120, 230, 255), QColor(0, 0, 0, 200), 14);
    };
    s.edge = QColor(20, 30, 60);
    s.buttons = {QColor(44, 66, 120),  QColor(16, 26, 60),  QColor(57, 213, 255),
                 QColor(200, 240, 255), QColor(40, 120, 190), QColor(16, 60, 110),
                 QColor(57, 213, 255),  QColor(8, 14, 34),    QColor(24, 40, 80),
                 QColor(255, 110, 110)};
    for (int i = 0; i < 6; ++i)
        s.layout.push_back({i + 1, QRect(186 + (i % 3) * 92, 46 + (i / 3) * 40, 86, 34), Shape::RoundRect});
    const int small[] = {8, 9, 10, 7};
    for (int i = 0; i < 4; ++i) s.layout.push_back({small[i], QRect(334 + i * 32, 116, 28, 28), Shape::Circle});
    s.welcome = [](QPainter& p, QSize size) {
        Welcome(p, size, QColor(30, 48, 96), QColor(6, 10, 28), QColor(90, 120, 180),
                QColor(150, 235, 255), QColor(57, 213, 255));
    };
    return s;
}

// ---- SKIN2: sunset wave ------------------------------------------------------------

Skin Sunset() {
    Skin s;
    s.folder = "SKIN2";
    s.size = QSize(450, 176);
    s.outline = [] {
        QPainterPath shape;
        shape.moveTo(0, 44);
        shape.cubicTo(70, 4, 140, 4, 210, 30);
        shape.cubicTo(280, 56, 360, 40, 404, 6);
        shape.quadTo(450, 0, 450, 40);
        shape.lineTo(450, 150);
        shape.quadTo(450, 170, 430, 170);
        shape.cubicTo(330, 158, 250, 176, 150, 166);
        shape.cubicTo(90, 160, 40, 176, 16, 170);
        shape.quadTo(0, 166, 0, 148);
        shape.closeSubpath();
        QPainterPath sunHole;  // the setting sun, cut through
        sunHole.addEllipse(QPointF(408, 48), 14, 14);
        return shape.subtracted(sunHole);
    };
    s.body = [](QPainter& p, const QPainterPath& shape) {
        QLinearGradient g(0, 0, 0, 176);
        g.setColorAt(0, QColor(255, 176, 72));
        g.setColorAt(0.5, QColor(232, 92, 96));
        g.setColorAt(1, QColor(86, 40, 124));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPath(shape);
        p.save();
        p.setClipPath(shape);
        QRadialGradient sun(QPointF(408, 48), 60);
        sun.setColorAt(0, QColor(255, 240, 160, 230));
        sun.setColorAt(0.3, QColor(255, 210, 120, 140));
        sun.setColorAt(1, QColor(255, 200, 120, 0));
        p.setBrush(sun);
        p.drawEllipse(QPointF(408, 48), 60, 60);
        // Waves across the lower part.
        for (int i = 0; i < 3; ++i) {
            QPainterPath wave;
            const qreal y = 132 + i * 12;
            wave.moveTo(0, y);
            for (int x = 0; x <= 450; x += 30)
                wave.quadTo(x + 15, y + ((x / 30) % 2 ? 6 : -6), x + 30, y);
            p.setPen(QPen(QColor(255, 255, 255, 60 - i * 15), 2));
            p.setBrush(Qt::NoBrush);
            p.drawPath(wave);
        }
        p.restore();
        p.setPen(QPen(QColor(70, 24, 90), 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(shape);
        Title(p, QRectF(22, 22, 220, 30), QColor(255, 250, 235), QColor(120, 40, 60, 200), 18, true);
    };
    s.edge = QColor(70, 24, 90);
    s.buttons = {QColor(255, 248, 232), QColor(255, 214, 170), QColor(120, 50, 90),
                 QColor(92, 30, 100),   QColor(255, 255, 210), QColor(255, 226, 120),
                 QColor(255, 250, 160), QColor(240, 150, 90),  QColor(255, 190, 130),
                 QColor(190, 30, 60)};
    for (int i = 0; i < 6; ++i)
        s.layout.push_back({i + 1, QRect(22 + (i % 3) * 100, 64 + (i / 3) * 42, 94, 34), Shape::Pill});
    const int small[] = {8, 9, 10, 7};
    for (int i = 0; i < 4; ++i)
        s.layout.push_back({small[i], QRect(330 + (i % 2) * 42, 84 + (i / 2) * 40, 34, 34), Shape::Circle});
    s.welcome = [](QPainter& p, QSize size) {
        Welcome(p, size, QColor(255, 176, 72), QColor(86, 40, 124), QColor(255, 240, 220),
                QColor(255, 250, 235), QColor(255, 240, 160));
    };
    return s;
}

bool SaveBitmap(const QImage& image, const QString& path) {
    // 24-bit bitmaps, as skin makers' tools write them.
    return image.convertToFormat(QImage::Format_RGB888).save(path, "BMP");
}

bool Paint(const Skin& skin, const QDir& out) {
    const QString dir = out.filePath(skin.folder);
    if (!QDir().mkpath(dir)) return false;

    QImage argb(skin.size, QImage::Format_ARGB32_Premultiplied);
    argb.fill(Qt::transparent);
    {
        QPainter p(&argb);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        skin.body(p, skin.outline());
    }
    const QImage face = HardenEdges(argb, skin.edge);
    bool ok = SaveBitmap(face, dir + "/face.bmp");

    QFile ini(dir + "/skin.ini");
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return false;
    QTextStream text(&ini);
    text << "; Button N=left,top in face.bmp; ctrlN.bmp holds its four faces\n[Controls]\n";
    for (const ButtonSpec& b : skin.layout) {
        text << b.number << "=" << b.rect.left() << "," << b.rect.top() << "\n";
        ok = ok && SaveBitmap(ButtonStrip(face, b, skin.buttons),
                              dir + QString("/ctrl%1.bmp").arg(b.number));
    }

    QImage welcome(320, 240, QImage::Format_RGB32);
    {
        QPainter p(&welcome);
        skin.welcome(p, welcome.size());
    }
    return ok && SaveBitmap(welcome, dir + "/welcome.bmp");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: skin_painter OUTPUT_FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (const Skin& skin : {Steel(), Midnight(), Sunset()}) {
        if (static_cast<int>(skin.layout.size()) != kSkinButtonCount || !Paint(skin, out)) {
            std::fprintf(stderr, "skin_painter: could not draw %s\n", skin.folder);
            return 1;
        }
    }
    return 0;
}
