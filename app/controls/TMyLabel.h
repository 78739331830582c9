// A label that draws its caption twice, in the shadow colour and two pixels
// lower and to the right in the fore colour.
#pragma once

#include <QColor>
#include <QLabel>

namespace reelcast::app {

class TMyLabel : public QLabel {
    Q_OBJECT
public:
    explicit TMyLabel(QWidget* parent = nullptr);

    QColor BKColor() const { return bkColor_; }
    void SetBKColor(const QColor& c);
    QColor PREColor() const { return preColor_; }
    void SetPREColor(const QColor& c);
    bool AutoSize() const { return autoSize_; }
    // Sizes the label to its caption (or leaves it) and widens it by one pixel.
    void SetAutoSize(bool v);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor bkColor_ = Qt::gray;
    QColor preColor_ = Qt::black;
    bool autoSize_ = false;
};

}  // namespace reelcast::app
