#include "app/MpegSettingDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace reelcast::app {
namespace {

// Dialog frame shared by the five: caption, centred, OK as the default button
// that accepts; any other way of closing rejects.
QPushButton* SetUpDialog(QDialog* dlg, const char* objectName, const char* caption, const char* okName) {
    dlg->setObjectName(objectName);
    dlg->setWindowTitle(caption);
    dlg->setModal(true);
    auto* ok = new QPushButton("OK", dlg);
    ok->setObjectName(okName);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dlg, &QDialog::accept);
    return ok;
}

void AddOkRow(QVBoxLayout* layout, QPushButton* ok) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addStretch();
    layout->addLayout(row);
}

}  // namespace

RadioGroup::RadioGroup(const QString& objectName, const QString& caption, const QStringList& items,
                       QWidget* parent)
    : QWidget(parent) {
    setObjectName(objectName);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    box_ = new QGroupBox(caption, this);
    outer->addWidget(box_);
    auto* inner = new QVBoxLayout(box_);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], box_);
        b->setObjectName(objectName + "_" + QString::number(i));
        inner->addWidget(b);
        buttons_.push_back(b);
        connect(b, &QRadioButton::clicked, this, &RadioGroup::clicked);
    }
    SetItemIndex(0);
}

int RadioGroup::ItemIndex() const {
    for (int i = 0; i < buttons_.size(); ++i) {
        if (buttons_[i]->isChecked()) return i;
    }
    return -1;
}

void RadioGroup::SetItemIndex(int index) {
    if (index >= 0 && index < buttons_.size()) buttons_[index]->setChecked(true);
}

void RadioGroup::SetItems(const QStringList& items) {
    for (int i = 0; i < buttons_.size() && i < items.size(); ++i) buttons_[i]->setText(items[i]);
}

QRadioButton* RadioGroup::Item(int index) const { return buttons_.value(index, nullptr); }

TFormMPEGSetting::TFormMPEGSetting(bool mpeg2, QWidget* parent) : QDialog(parent) {
    okButton = mpeg2 ? SetUpDialog(this, "FormMPEG2Setting", "MPEG2Setting", "BitBtn2")
                     : SetUpDialog(this, "FormMPEGSetting", "MPEG Setting", "btnOk");
    frameRate = new QComboBox(this);
    frameRate->setObjectName(mpeg2 ? "frameRate" : "combFrameRate");
    if (mpeg2) {
        frameRate->addItems({"23.976 fps(NTSC)", "25.0 fps(PAL)", "29.97 fps(NTSC)", "30.0 fps"});
        frameRate->setCurrentIndex(kMpeg2DefaultRateIndex);
    } else {
        frameRate->addItems({"23.976 fps(NTSC)", "24.0 fps", "25.0 fps(PAL)", "29.97 fps(NTSC)", "30.0 fps"});
        frameRate->setCurrentIndex(kMpeg1DefaultRateIndex);
    }
    chckNoChange = new QCheckBox("Size NoChange", this);
    chckNoChange->setObjectName("chckNoChange");
    edWidth = new QLineEdit(this);
    edWidth->setObjectName("edWidth");
    edHeight = new QLineEdit(this);
    edHeight->setObjectName("edHeight");
    connect(chckNoChange, &QCheckBox::clicked, this, [this](bool checked) {
        edWidth->setEnabled(!checked);
        edHeight->setEnabled(!checked);
    });

    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Frame Rate", this), 0, 0);
    grid->addWidget(frameRate, 0, 1, 1, 3);
    grid->addWidget(chckNoChange, 1, 0, 1, 4);
    grid->addWidget(new QLabel("Wideth/Height", this), 2, 0);
    grid->addWidget(edWidth, 2, 1);
    grid->addWidget(new QLabel("/", this), 2, 2);
    grid->addWidget(edHeight, 2, 3);
    layout->addLayout(grid);
    AddOkRow(layout, okButton);
}

void TFormMPEGSetting::SetSourceSize(int width, int height) {
    edWidth->setText(QString::asprintf("%d", width));
    edHeight->setText(QString::asprintf("%d", height));
}

void TFormMPEGSetting::ReadChoice(MpegDialogChoice* choice) const {
    choice->frameRateIndex = frameRate->currentIndex();
    choice->sizeNoChange = chckNoChange->isChecked();
    // Text that is not a number gives 0, which the size checks refuse.
    choice->typedWidth = edWidth->text().trimmed().toInt();
    choice->typedHeight = edHeight->text().trimmed().toInt();
}

TFormVCDSetting::TFormVCDSetting(QWidget* parent) : QDialog(parent) {
    btnOK = SetUpDialog(this, "FormVCDSetting", "VCD Setting", "btnOK");
    FormatSetting = new RadioGroup(
        "FormatSetting", "Format Setting",
        {"PAL (Europ) 352 X 288", "NTSC (North America and Japan)352 X 240"}, this);
    PALRate = new RadioGroup("PALRate", "Frame Rate", {"25.0 Hz"}, this);
    NTSCRate = new RadioGroup("NTSCRate", "Frame Rate", {"29.97  fps", "23.976 fps"}, this);
    NTSCRate->hide();
    connect(FormatSetting, &RadioGroup::clicked, this, &TFormVCDSetting::FormatSettingClick);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FormatSetting);
    layout->addWidget(PALRate);
    layout->addWidget(NTSCRate);
    AddOkRow(layout, btnOK);
}

void TFormVCDSetting::FormatSettingClick() {
    const bool ntsc = FormatSetting->ItemIndex() == 1;
    NTSCRate->setVisible(ntsc);
    PALRate->setVisible(!ntsc);
}

void TFormVCDSetting::ReadChoice(MpegDialogChoice* choice) const {
    choice->ntsc = FormatSetting->ItemIndex() == 1;
    choice->ntscRateIndex = NTSCRate->ItemIndex() == 1 ? 1 : 0;
}

TFormDiscSetting::TFormDiscSetting(bool dvd, QWidget* parent) : QDialog(parent) {
    BitBtn2 = dvd ? SetUpDialog(this, "FormDVDSetting", "DVDSetting", "BitBtn2")
                  : SetUpDialog(this, "FormSVCDSetting", "SVCD Setting", "BitBtn2");
    FormatSetting = new RadioGroup(
        "FormatSetting", "Format Setting",
        dvd ? QStringList{"PAL (Europ)", "NTSC (North America and Japan)"}
            : QStringList{"PAL (Europ) 480X576 25 fps", "NTSC (North America and Japan) 480X480 29.97 fps"},
        this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FormatSetting);
    if (dvd) {
        VideoSize = new RadioGroup("VideoSize", "Video Size", {"720 X 576", "352 X 288 (Low resolution)"}, this);
        layout->addWidget(VideoSize);
        connect(FormatSetting, &RadioGroup::clicked, this, &TFormDiscSetting::FormatSettingClick);
    }
    AddOkRow(layout, BitBtn2);
}

void TFormDiscSetting::FormatSettingClick() {
    if (FormatSetting->ItemIndex() == 1) {
        VideoSize->SetItems({"720 X 480", "352 X 240 (Low resolution)"});
    } else {
        VideoSize->SetItems({"720 X 576", "352 X 288 (Low resolution)"});
    }
}

void TFormDiscSetting::ReadChoice(MpegDialogChoice* choice) const {
    choice->ntsc = FormatSetting->ItemIndex() == 1;
    choice->lowResolution = VideoSize && VideoSize->ItemIndex() == 1;
}

MpegSettingDialogs::MpegSettingDialogs()
    : FormMPEGSetting(new TFormMPEGSetting(false)),
      FormMPEG2Setting(new TFormMPEGSetting(true)),
      FormVCDSetting(new TFormVCDSetting),
      FormSVCDSetting(new TFormDiscSetting(false)),
      FormDVDSetting(new TFormDiscSetting(true)) {}

MpegSettingDialogs::~MpegSettingDialogs() {
    for (QDialog* d : std::initializer_list<QDialog*>{FormMPEGSetting, FormMPEG2Setting, FormVCDSetting,
                                                      FormSVCDSetting, FormDVDSetting})
        delete d;
}

bool MpegSettingDialogs::Ask(int mode, int roundedWidth, int roundedHeight, MpegDialogChoice* choice) {
    *choice = MpegDialogChoice{};
    switch (mode) {
        case kModeMpg1:
        case kModeMpg2: {
            TFormMPEGSetting* dlg = mode == kModeMpg1 ? FormMPEGSetting : FormMPEG2Setting;
            dlg->SetSourceSize(roundedWidth, roundedHeight);
            if (dlg->exec() != QDialog::Accepted) return false;
            dlg->ReadChoice(choice);
            return true;
        }
        case kModeVcd:
            if (FormVCDSetting->exec() != QDialog::Accepted) return false;
            FormVCDSetting->ReadChoice(choice);
            return true;
        case kModeSvcd:
        case kModeDvd: {
            TFormDiscSetting* dlg = mode == kModeSvcd ? FormSVCDSetting : FormDVDSetting;
            if (dlg->exec() != QDialog::Accepted) return false;
            dlg->ReadChoice(choice);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace reelcast::app
