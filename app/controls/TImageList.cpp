#include "app/controls/TImageList.h"

#include <QPainter>

namespace reelcast::app {

TImageList::TImageList(QObject* owner, int width, int height)
    : QObject(owner), width_(width), height_(height) {}

void TImageList::SetSize(int width, int height) {
    if (width == width_ && height == height_) return;
    width_ = width;
    height_ = height;
    Clear();
}

void TImageList::Clear() {
    glyphs_.clear();
    emit Changed();
}

int TImageList::AddMasked(const QImage& bitmap, QRgb maskColour) {
    if (bitmap.isNull() || width_ <= 0 || height_ <= 0) return 0;
    const QImage src = bitmap.convertToFormat(QImage::Format_ARGB32);
    const int count = src.width() / width_;
    const int rows = std::min(height_, src.height());
    const QRgb mask = maskColour & 0xFFFFFFu;
    for (int i = 0; i < count; ++i) {
        QImage glyph(width_, height_, QImage::Format_ARGB32);
        glyph.fill(Qt::transparent);
        for (int y = 0; y < rows; ++y) {
            const QRgb* in = reinterpret_cast<const QRgb*>(src.constScanLine(y)) + i * width_;
            QRgb* out = reinterpret_cast<QRgb*>(glyph.scanLine(y));
            for (int x = 0; x < width_; ++x) out[x] = (in[x] & 0xFFFFFFu) == mask ? 0u : in[x];
        }
        glyphs_.push_back(std::move(glyph));
    }
    emit Changed();
    return count;
}

void TImageList::Add(const QImage& glyph) {
    QImage g = glyph.convertToFormat(QImage::Format_ARGB32);
    if (g.width() != width_ || g.height() != height_) g = g.scaled(width_, height_);
    glyphs_.push_back(std::move(g));
    emit Changed();
}

QImage TImageList::Glyph(int index) const {
    if (index < 0 || index >= Count()) return {};
    return glyphs_[static_cast<size_t>(index)];
}

void TImageList::Draw(QPainter& painter, int x, int y, int index) const {
    if (index < 0 || index >= Count()) return;
    painter.drawImage(x, y, glyphs_[static_cast<size_t>(index)]);
}

}  // namespace reelcast::app
