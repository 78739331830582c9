#include "app/controls/TMyLabel.h"

#include <QPainter>

namespace reelcast::app {

TMyLabel::TMyLabel(QWidget* parent) : QLabel(parent) {}

void TMyLabel::SetBKColor(const QColor& c) {
    bkColor_ = c;
    update();
}

void TMyLabel::SetPREColor(const QColor& c) {
    preColor_ = c;
    update();
}

void TMyLabel::SetAutoSize(bool v) {
    autoSize_ = v;
    if (v) adjustSize();
    resize(width() + 1, height());
}

void TMyLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // The plain label is only its background: the caption comes twice below.
    if (autoFillBackground()) p.fillRect(rect(), palette().color(backgroundRole()));
    const QRect r = contentsRect();
    p.setFont(font());
    p.setPen(bkColor_);
    p.drawText(r, static_cast<int>(alignment()), text());
    p.setPen(preColor_);
    p.drawText(r.translated(2, 2), static_cast<int>(alignment()), text());
}

}  // namespace reelcast::app
