// "Components missing": shown once at start when one of the optional components
// is absent, its line greyed for each component that is there.
#pragma once

#include <QDialog>
#include <string>

#include "app/logic/ComponentsCheck.h"

class QLabel;

namespace reelcast::app {

class TComDlg : public QDialog {
    Q_OBJECT
public:
    TComDlg(const ComponentStatus& status, const std::string& programFolder,
            QWidget* parent = nullptr);

    QLabel* lbl_DX = nullptr;
    QLabel* lbl_WMF = nullptr;
    QLabel* lbl_QT = nullptr;

private:
    void MoreInfo();
    std::string programFolder_;
};

}  // namespace reelcast::app
