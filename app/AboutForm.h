// The about box: the program's name with a shadow, its version, OK.
#pragma once

#include <QDialog>
#include <QPixmap>

namespace reelcast::app {

class TMyLabel;

inline constexpr const char* kVersionText = "Version  3.8";

// The program's icon (a film frame with a play mark), drawn at size x size.
QPixmap ProgramIcon(int size);

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    TMyLabel* MyLabel1 = nullptr;
};

}  // namespace reelcast::app
