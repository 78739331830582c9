#include "app/MainMenu.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionMenuItem>

#include "app/logic/ProgramFiles.h"

namespace reelcast::app {
namespace {

bool IsSkinItem(const QStyleOptionMenuItem* item) {
    return item->menuItemType == QStyleOptionMenuItem::Normal && item->text.isEmpty() &&
           !item->icon.isNull();
}

}  // namespace

void pupVantorDrawItem(QPainter& painter, const QRect& rect) {
    int i = rect.height() / 255;
    for (int y = rect.bottom(); y >= rect.top(); --y) {
        const int level = std::min(i, 255);
        painter.setPen(QColor(255 - level, 255 - level, 255));
        painter.drawLine(rect.left(), y, rect.right(), y);
        ++i;
    }
    QFont font = painter.font();
    font.setPointSize(10);
    font.setBold(true);
    painter.save();
    painter.setFont(font);
    painter.setPen(QColor(254, 14, 0));
    painter.translate(rect.left() + 2, rect.bottom() - 3);
    painter.rotate(-90);
    painter.drawText(QPoint(0, painter.fontMetrics().ascent()), kProgramTitle);
    painter.restore();
}

void N1DrawItem(QPainter& painter, const QRect& rect, const QColor& pen) {
    painter.setPen(pen);
    painter.drawLine(rect.left(), rect.top() + 2, rect.right(), rect.top() + 2);
    painter.setPen(Qt::white);
    painter.drawLine(rect.left(), rect.top() + 3, rect.right(), rect.top() + 3);
}

QSize TMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                   const QSize& size, const QWidget* widget) const {
    if (type == CT_MenuItem) {
        if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
            if (item->menuItemType == QStyleOptionMenuItem::Separator)
                return QSize(size.width(), kSeparatorHeight);
            if (IsSkinItem(item)) return QSize(kSkinItemWidth, kSkinItemHeight);
        }
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}

void TMenuStyle::drawControl(ControlElement element, const QStyleOption* option,
                             QPainter* painter, const QWidget* widget) const {
    if (element == CE_MenuItem) {
        if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
            if (item->menuItemType == QStyleOptionMenuItem::Separator) {
                N1DrawItem(*painter, item->rect, item->palette.color(QPalette::Mid));
                return;
            }
            if (IsSkinItem(item)) {
                const QRect r = item->rect;
                if (item->state & State_Selected)
                    painter->fillRect(r, item->palette.color(QPalette::Highlight));
                const QRect face = r.adjusted(2, 2, -2, -2);
                item->icon.paint(painter, face, Qt::AlignCenter);
                return;
            }
        }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

TBannerMenu::TBannerMenu(QWidget* parent, bool banner) : QMenu(parent), banner_(banner) {
    auto* style = new TMenuStyle;
    style->setParent(this);
    setStyle(style);
    if (banner_) setContentsMargins(kBannerWidth, 0, 0, 0);
}

void TBannerMenu::paintEvent(QPaintEvent* e) {
    QMenu::paintEvent(e);
    if (!banner_) return;
    QPainter p(this);
    const int frame = style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, this);
    pupVantorDrawItem(p, QRect(frame, frame, kBannerWidth, height() - 2 * frame));
}

}  // namespace reelcast::app
