// The program's message boxes: a text, a caption and an icon, owned by a window.
#pragma once

#include <QMessageBox>
#include <QString>

#include "app/logic/ConvertWindowLogic.h"

namespace reelcast::app {

// Shows a modal box with the given buttons and answers the button pressed
// (QMessageBox::NoButton when it was closed otherwise).
QMessageBox::StandardButton ShowMessage(QWidget* owner, const QString& text, const QString& caption,
                                        MessageIcon icon,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);

inline QMessageBox::StandardButton ShowMessage(QWidget* owner, const MessageSpec& m) {
    return ShowMessage(owner, QString::fromStdString(m.text), m.caption, m.icon);
}

}  // namespace reelcast::app
