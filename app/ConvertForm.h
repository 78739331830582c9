// The conversion window: the user names the input and output files, and the
// window runs one of three routes (the engine's MPEG job, its AVI job, or the
// QuickTime/Flash bridge), shows progress and the jobs' messages, and can stop.
#pragma once

#include <QDialog>

#include "app/logic/ConvertModes.h"

namespace reelcast::app {

class TfrmConvert : public QDialog {
    Q_OBJECT
public:
    explicit TfrmConvert(QWidget* parent = nullptr);
    ~TfrmConvert() override;

    // Sets the mode of `entry` and shows the window modally; mainWindow is hidden
    // meanwhile and shown again centred on this window when it closes.
    void ShowForEntry(ConvertEntry entry, QWidget* mainWindow);
};

}  // namespace reelcast::app
