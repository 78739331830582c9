// The main window's pop-up menu: a blue banner with the program's name along its
// left side, etched separators, and skin items that show each skin's face.
#pragma once

#include <QMenu>
#include <QProxyStyle>

namespace reelcast::app {

// Width of the banner column.
inline constexpr int kBannerWidth = 20;
// Size of a skin item, which shows that skin's face.
inline constexpr int kSkinItemWidth = 142;
inline constexpr int kSkinItemHeight = 51;
inline constexpr int kSeparatorHeight = 8;

// The banner: lines from the bottom up, white-blue turning deep blue, with the
// program's name written upwards.
void pupVantorDrawItem(QPainter& painter, const QRect& rect);
// A separator: a line in the pen's colour two pixels below the top and a white
// one under it.
void N1DrawItem(QPainter& painter, const QRect& rect, const QColor& pen);

// Draws the separators and the skin items (items with an icon and no text).
class TMenuStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
};

class TBannerMenu : public QMenu {
    Q_OBJECT
public:
    explicit TBannerMenu(QWidget* parent = nullptr, bool banner = true);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    bool banner_;
};

}  // namespace reelcast::app
