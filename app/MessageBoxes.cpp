#include "app/MessageBoxes.h"

namespace reelcast::app {

QMessageBox::StandardButton ShowMessage(QWidget* owner, const QString& text, const QString& caption,
                                        MessageIcon icon, QMessageBox::StandardButtons buttons) {
    QMessageBox::Icon qicon = QMessageBox::Information;
    if (icon == MessageIcon::Warning) qicon = QMessageBox::Warning;
    if (icon == MessageIcon::Error) qicon = QMessageBox::Critical;
    QMessageBox box(qicon, caption, text, buttons, owner);
    box.setObjectName("MessageBox");
    const int answer = box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (!clicked) return QMessageBox::NoButton;
    return static_cast<QMessageBox::StandardButton>(answer);
}

}  // namespace reelcast::app
