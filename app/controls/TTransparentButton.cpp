#include "app/controls/TTransparentButton.h"

#include <QEnterEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <memory>
#include <vector>

#include "app/controls/TImageList.h"

namespace reelcast::app {
namespace {

bool IsTopAlign(TTextAlign a) { return a == ttaTopLeft || a == ttaTop || a == ttaTopRight; }
bool IsBottomAlign(TTextAlign a) {
    return a == ttaBottomLeft || a == ttaBottom || a == ttaBottomRight;
}
bool IsLeftAlign(TTextAlign a) { return a == ttaTopLeft || a == ttaLeft || a == ttaBottomLeft; }
bool IsRightAlign(TTextAlign a) { return a == ttaTopRight || a == ttaRight || a == ttaBottomRight; }

// Two-colour frame of `width` lines: `topLeft` on the top and left edges,
// `bottomRight` on the others.
void DrawEdges(QPainter& p, QRect r, int width, const QColor& topLeft, const QColor& bottomRight) {
    for (int i = 0; i < width && r.width() > 1 && r.height() > 1; ++i) {
        p.setPen(topLeft);
        p.drawLine(r.left(), r.top(), r.right(), r.top());
        p.drawLine(r.left(), r.top(), r.left(), r.bottom());
        p.setPen(bottomRight);
        p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        r.adjust(1, 1, -1, -1);
    }
}

}  // namespace

TTransparentButton::TTransparentButton(QWidget* parent) : QWidget(parent) {
    resize(40, 40);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, false);
}

void TTransparentButton::SetAutoGray(bool v) { Assign(autoGray_, v); }

void TTransparentButton::SetBorderWidth(int v) { Assign(borderWidth_, v); }

void TTransparentButton::SetCaption(const QString& v) {
    if (v == caption_) return;
    caption_ = v;
    UpdateShortcut();
    update();
}

void TTransparentButton::SetDown(bool v) { Assign(down_, v); }

void TTransparentButton::SetFrameStyle(TFrameStyle v) { Assign(frameStyle_, v); }

void TTransparentButton::SetImageList(TImageList* list) {
    if (list == imageList_) return;
    if (imageList_) disconnect(imageList_, nullptr, this, nullptr);
    imageList_ = list;
    if (list) connect(list, &TImageList::Changed, this, qOverload<>(&QWidget::update));
    update();
}

void TTransparentButton::SetImageIndex(int v) {
    imageIndex_ = v;
    update();
}

void TTransparentButton::SetNumGlyphs(int v) {
    v = std::clamp(v, 1, 4);
    if (v == numGlyphs_) return;
    numGlyphs_ = v;
    update();
}

void TTransparentButton::SetPopUpMenu(QMenu* menu) { popUpMenu_ = menu; }

void TTransparentButton::SetShowPressed(bool v) { Assign(showPressed_, v); }

void TTransparentButton::SetSpacing(int v) { Assign(spacing_, v); }

void TTransparentButton::SetTextAlign(TTextAlign v) { Assign(textAlign_, v); }

void TTransparentButton::SetTransparent(bool v) { Assign(transparent_, v); }

void TTransparentButton::SetWordWrap(bool v) { Assign(wordWrap_, v); }

GlyphState TTransparentButton::State() const {
    GlyphState s;
    s.numGlyphs = numGlyphs_;
    s.threeState = threeState_;
    s.enabled = isEnabled();
    s.pressedInside = pressedInside_;
    s.hot = hot_;
    s.down = down_;
    s.explorerAutoGray = frameStyle_ == fsExplorer && autoGray_;
    return s;
}

int TTransparentButton::CurrentGlyph() const { return ChooseGlyph(State()) + imageIndex_; }

QRect TTransparentButton::GlyphRect() const {
    const int gw = imageList_ ? imageList_->Width() : 0;
    const int gh = imageList_ ? imageList_->Height() : 0;
    int x = (width() - gw) / 2;
    if (textAlign_ == ttaRight) x = spacing_;
    else if (textAlign_ == ttaLeft) x = width() - gw - spacing_;
    int y = (height() - gh) / 2;
    if (IsBottomAlign(textAlign_)) y = spacing_;
    else if (IsTopAlign(textAlign_)) y = height() - gh - spacing_;
    return QRect(x, y, gw, gh);
}

int TTransparentButton::TextFlags() const {
    return Qt::TextShowMnemonic | (wordWrap_ ? Qt::TextWordWrap : Qt::TextSingleLine);
}

QRect TTransparentButton::TextRect() const {
    const QRect bounds = fontMetrics().boundingRect(QRect(0, 0, width(), height()), TextFlags(), caption_);
    const int tw = bounds.width(), th = bounds.height();
    const QRect glyph = GlyphRect();
    int x = width() / 2 - tw / 2;
    if (IsLeftAlign(textAlign_)) x = spacing_;
    else if (IsRightAlign(textAlign_)) x = width() - tw - spacing_;
    int y = height() / 2 - th / 2;
    if (IsTopAlign(textAlign_)) y = glyph.top() - spacing_ - th;
    else if (IsBottomAlign(textAlign_)) y = glyph.top() + glyph.height() + spacing_;
    return QRect(x, y, tw, th);
}

void TTransparentButton::DrawFrame(QPainter& p) {
    if (frameStyle_ == fsNone) return;
    const QPalette& pal = palette();
    const bool pressed = (pressedInside_ || down_) && showPressed_;
    const QRect r = rect();
    auto edges = [&](const QColor& a, const QColor& b) {
        if (pressed) DrawEdges(p, r, borderWidth_, b, a);
        else DrawEdges(p, r, borderWidth_, a, b);
    };
    switch (frameStyle_) {
        case fsRegular:
            edges(pal.color(QPalette::Light), Qt::black);
            break;
        case fsIndent:
            DrawEdges(p, r, borderWidth_, pal.color(QPalette::Dark), pal.color(QPalette::Light));
            break;
        case fsExplorer:
        case fsLight:
        case fsDark:
        case fsMono:
            if (!transparent_) p.fillRect(r, pal.color(QPalette::Button));
            if (frameStyle_ == fsExplorer) {
                if (hot_ || down_) edges(pal.color(QPalette::Light), pal.color(QPalette::Dark));
            } else if (frameStyle_ == fsLight) {
                edges(pal.color(QPalette::Light), pal.color(QPalette::Mid));
            } else if (frameStyle_ == fsDark) {
                edges(pal.color(QPalette::Button), pal.color(QPalette::Shadow));
            } else {
                edges(pal.color(QPalette::Light), pal.color(QPalette::Shadow));
            }
            break;
        case fsNone:
            break;
    }
}

void TTransparentButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    DrawFrame(p);
    const bool shifted = pressedInside_ && showPressed_ && !threeState_;
    const QPoint shift = shifted ? QPoint(1, 1) : QPoint(0, 0);
    if (imageList_ && imageList_->Count() > 0) {
        const QRect g = GlyphRect().translated(shift);
        if (!transparent_) p.fillRect(g, palette().color(QPalette::Button));
        imageList_->Draw(p, g.x(), g.y(), CurrentGlyph());
    }
    if (!caption_.isEmpty() || !imageList_) {
        p.setFont(font());
        const QRect t = TextRect().translated(shift);
        if (isEnabled()) {
            p.setPen(palette().color(QPalette::ButtonText));
            p.drawText(t, TextFlags(), caption_);
        } else {
            p.setPen(palette().color(QPalette::Light));
            p.drawText(t.translated(1, 1), TextFlags(), caption_);
            p.setPen(palette().color(QPalette::Dark));
            p.drawText(t, TextFlags(), caption_);
        }
    }
}

void TTransparentButton::mousePressEvent(QMouseEvent* e) {
    if (!isEnabled() || captured_ || e->button() != Qt::LeftButton) return;
    const QPoint pos = e->position().toPoint();
    emit OnMouseDown(pos);
    if (movable_) dragOrigin_ = pos;
    mouseToggle_ = !mouseToggle_;
    if (rect().contains(pos)) {
        captured_ = true;
        pressedInside_ = true;
        update();
    }
    if (popUpMenu_) {
        popUpMenu_->exec(mapToGlobal(rect().bottomLeft() + QPoint(0, 1)));
        // The menu took the pointer: whatever happened meanwhile ends this press.
        Release(mapFromGlobal(QCursor::pos()));
    }
}

void TTransparentButton::mouseMoveEvent(QMouseEvent* e) {
    QPoint pos = e->position().toPoint();
    emit OnMouseMove(pos);
    if (!captured_) return;
    if (movable_) {
        move(this->pos() + pos - dragOrigin_);
        pos = dragOrigin_;
    }
    const bool inside = rect().contains(pos);
    // The press holds the pointer, so no leave arrives while it is out: the
    // button stops being hot here.
    if (hot_ != inside) {
        hot_ = inside;
        update();
    }
    if (inside != pressedInside_ && (inside || !down_)) {
        pressedInside_ = inside;
        update();
    }
}

void TTransparentButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    Release(e->position().toPoint());
}

void TTransparentButton::Release(QPoint pos) {
    if (!captured_) return;
    const bool click = pressedInside_ && rect().contains(pos);
    captured_ = false;
    if (!down_) pressedInside_ = false;
    emit OnMouseUp(pos);
    update();
    if (click && isEnabled()) emit OnClick();
}

void TTransparentButton::enterEvent(QEnterEvent*) {
    if (!isEnabled()) return;
    hot_ = true;
    emit OnMouseEnter();
    if (frameStyle_ == fsExplorer || threeState_) update();
}

void TTransparentButton::leaveEvent(QEvent*) {
    if (!isEnabled()) return;
    hot_ = false;
    emit OnMouseExit();
    if (frameStyle_ == fsExplorer || threeState_) update();
}

void TTransparentButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange && !isEnabled()) {
        pressedInside_ = captured_ = hot_ = mouseToggle_ = false;
        update();
    }
    QWidget::changeEvent(e);
}

void TTransparentButton::UpdateShortcut() {
    const QKeySequence key = QKeySequence::mnemonic(caption_);
    if (key.isEmpty()) {
        delete shortcut_;
        shortcut_ = nullptr;
        return;
    }
    if (!shortcut_) {
        shortcut_ = new QShortcut(this);
        connect(shortcut_, &QShortcut::activated, this, [this] {
            if (isEnabled()) emit OnClick();
        });
    }
    shortcut_->setKey(key);
}

void TTransparentButton::AddGlyphs(const QImage& bitmap, QRgb transparentColour) {
    if (bitmap.isNull() || !imageList_) return;
    imageList_->SetSize(bitmap.width() / numGlyphs_, bitmap.height());
    imageList_->Clear();
    if (imageList_->AddMasked(bitmap, transparentColour) == 0) return;
    const QImage first = bitmap.copy(0, 0, imageList_->Width(), imageList_->Height())
                             .convertToFormat(QImage::Format_ARGB32);

    QImage grey = first;
    for (int y = 0; y < grey.height(); ++y)
        GreyPixels(reinterpret_cast<std::uint32_t*>(grey.scanLine(y)),
                                  static_cast<std::size_t>(grey.width()));
    QImage greyMasked(grey.size(), QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            greyMasked.setPixel(x, y, (first.pixel(x, y) & 0xFFFFFFu) == (transparentColour & 0xFFFFFFu)
                                          ? 0u : grey.pixel(x, y));
    imageList_->Add(greyMasked);

    // Embossed: the outline in the highlight colour one pixel down and right,
    // then in the shadow colour on top, on the button face.
    const int w = first.width(), h = first.height();
    const auto count = static_cast<size_t>(w) * static_cast<size_t>(h);
    std::vector<std::uint32_t> px(count);
    for (int y = 0; y < h; ++y)
        std::copy_n(reinterpret_cast<const std::uint32_t*>(first.constScanLine(y)), w,
                    px.begin() + static_cast<std::ptrdiff_t>(y) * w);
    auto outline = std::make_unique<bool[]>(count);
    DisabledOutline(px.data(), count, outline.get());
    QImage disabled(w, h, QImage::Format_ARGB32);
    disabled.fill(palette().color(QPalette::Button));
    const QRgb light = palette().color(QPalette::Light).rgba();
    const QRgb shadow = palette().color(QPalette::Dark).rgba();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (outline[static_cast<size_t>(y * w + x)] && x + 1 < w && y + 1 < h)
                disabled.setPixel(x + 1, y + 1, light);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (outline[static_cast<size_t>(y * w + x)]) disabled.setPixel(x, y, shadow);
    imageList_->Add(disabled);
}

}  // namespace reelcast::app
