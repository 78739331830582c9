#include "app/FileInfoForm.h"

#include <QDialog>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/MessageBoxes.h"
#include "app/logic/EngineLibraries.h"
#include "app/logic/FileInfoText.h"
#include "engine/core/ComponentHandle.h"
#include "engine/media/IMediaInfo.h"

namespace reelcast::app {
namespace {

// "File Information": a read-only memo inside a bevel, and OK.
class TInfoDlg : public QDialog {
public:
    explicit TInfoDlg(QWidget* parent) : QDialog(parent) {
        setObjectName("InfoDlg");
        setWindowTitle("File Information");
        setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
        setFixedSize(313, 314);
        auto* layout = new QVBoxLayout(this);
        auto* Bevel1 = new QFrame(this);
        Bevel1->setObjectName("Bevel1");
        Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
        auto* inner = new QVBoxLayout(Bevel1);
        Memo1 = new QPlainTextEdit(Bevel1);
        Memo1->setObjectName("Memo1");
        Memo1->setReadOnly(true);
        Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
        Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        inner->addWidget(Memo1);
        layout->addWidget(Bevel1);
        auto* OKBtn = new QPushButton("OK", this);
        OKBtn->setObjectName("OKBtn");
        OKBtn->setDefault(true);
        connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
        layout->addWidget(OKBtn, 0, Qt::AlignHCenter);
    }
    QPlainTextEdit* Memo1 = nullptr;
};

}  // namespace

void ShowFileInfo(QWidget* parent, const QString& path) {
    std::string text;
    {
        auto probe = NewMediaProbe();
        if (!probe) return;
        if (!probe->Open(path.toStdString().c_str(), false)) {
            probe.reset();
            ShowMessage(parent, kNoFileInformation, "Warning", MessageIcon::Warning);
            return;
        }
        const char* info = probe->GetInfoText();
        text = info ? info : "";
    }
    TInfoDlg dlg(parent);
    const std::string file = path.toStdString();
    for (const std::string& line : FileInfoLines(file, FileSizeText(file), text))
        dlg.Memo1->appendPlainText(QString::fromStdString(line));
    dlg.Memo1->moveCursor(QTextCursor::Start);
    dlg.exec();
}

}  // namespace reelcast::app
