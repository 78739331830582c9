#include "app/ConvertForm.h"

namespace reelcast::app {

TfrmConvert::TfrmConvert(QWidget* parent) : QDialog(parent) {}

TfrmConvert::~TfrmConvert() = default;

void TfrmConvert::ShowForEntry(ConvertEntry entry, QWidget* mainWindow) {
    setWindowTitle(ModeInfo(entry).title);
    if (mainWindow) mainWindow->hide();
    exec();
    if (mainWindow) mainWindow->show();
}

}  // namespace reelcast::app
