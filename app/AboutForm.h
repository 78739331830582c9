// The about box: the program's name with a shadow, its version, OK.
#pragma once

#include <QDialog>

namespace reelcast::app {

class TMyLabel;

inline constexpr const char* kVersionText = "Version  3.8";

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    TMyLabel* MyLabel1 = nullptr;
};

}  // namespace reelcast::app
