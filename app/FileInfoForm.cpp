#include "app/FileInfoForm.h"

#include <QMessageBox>

namespace reelcast::app {

void ShowFileInfo(QWidget* parent, const QString& path) {
    QMessageBox::information(parent, "File Information", path);
}

}  // namespace reelcast::app
