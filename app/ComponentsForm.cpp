#include "app/ComponentsForm.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include "app/logic/ProgramFiles.h"

namespace reelcast::app {
namespace {

constexpr int kClientWidth = 442, kClientHeight = 305;

QLabel* AddLabel(QWidget* parent, const char* text, const QRect& at, bool wrap) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(at);
    label->setWordWrap(wrap);
    return label;
}

}  // namespace

TComDlg::TComDlg(const ComponentStatus& status, const std::string& programFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      programFolder_(programFolder) {
    setObjectName("ComDlg");
    setWindowTitle("Components missing");
    setFixedSize(kClientWidth, kClientHeight);
    AddLabel(this,
             "Vantor Reelcast has detected that you do not have the following software "
             "installed on your computer:",
             QRect(16, 16, 410, 40), true)
        ->setObjectName("Label1");
    lbl_DX = AddLabel(this, "Microsoft DirectX 8.1 (or later)", QRect(40, 72, 380, 20), false);
    lbl_WMF = AddLabel(this, "Microsoft Windows Media Format 9 Runtime", QRect(40, 100, 380, 20), false);
    lbl_QT = AddLabel(this, "Quick Time 6.0 (or later)", QRect(40, 128, 380, 20), false);
    lbl_DX->setObjectName("lbl_DX");
    lbl_WMF->setObjectName("lbl_WMF");
    lbl_QT->setObjectName("lbl_QT");
    lbl_DX->setEnabled(!status.directX);
    lbl_WMF->setEnabled(!status.windowsMedia);
    lbl_QT->setEnabled(!status.quickTime);
    AddLabel(this,
             "For additional file format support,we recommend that you install these "
             "components.Click the More Info button for more information.",
             QRect(16, 168, 410, 48), true)
        ->setObjectName("Label2");

    auto* ok = new QPushButton("Continue", this);
    ok->setObjectName("OKBtn");
    ok->setGeometry(120, 250, 96, 28);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* more = new QPushButton("More Info...", this);
    more->setObjectName("Button1");
    more->setGeometry(226, 250, 96, 28);
    connect(more, &QPushButton::clicked, this, &TComDlg::MoreInfo);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TComDlg::MoreInfo() {
    QUrl url = QUrl::fromLocalFile(QString::fromStdString(programFolder_ + "/" + kHelpFile));
    url.setFragment(kComponentsHelpAnchor);
    QDesktopServices::openUrl(url);
}

}  // namespace reelcast::app
