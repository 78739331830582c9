// An image list: glyphs of one size, each with its transparency. Buttons draw
// from it; the form that owns it fills it from a skin bitmap.
#pragma once

#include <QImage>
#include <QObject>
#include <QRgb>
#include <vector>

class QPainter;

namespace reelcast::app {

class TImageList : public QObject {
    Q_OBJECT
public:
    explicit TImageList(QObject* owner = nullptr, int width = 16, int height = 16);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Changing the size empties the list, as the glyphs no longer fit.
    void SetSize(int width, int height);

    int Count() const { return static_cast<int>(glyphs_.size()); }
    void Clear();

    // Cuts bitmap into glyphs of Width() from the left (a narrower rest is left
    // out); pixels of maskColour become transparent. Answers how many were added.
    int AddMasked(const QImage& bitmap, QRgb maskColour);
    // Adds one glyph, already with its transparency, scaled to the list's size.
    void Add(const QImage& glyph);

    // The glyph as ARGB32; a null image for an index out of range.
    QImage Glyph(int index) const;
    void Draw(QPainter& painter, int x, int y, int index) const;

signals:
    void Changed();

private:
    int width_;
    int height_;
    std::vector<QImage> glyphs_;
};

}  // namespace reelcast::app
