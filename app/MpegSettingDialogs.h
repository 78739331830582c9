// The five MPEG settings dialogs, one per MPEG mode. They are created once and
// reused, so each keeps the user's last choices between conversions.
#pragma once

#include <QDialog>

#include "app/logic/MpegStart.h"
#include "platform/NonCopyable.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace reelcast::app {

// A radio group: a titled box of radio buttons, one selected.
class RadioGroup;

// "MPEG Setting" (mode 0) and "MPEG2Setting" (mode 2): frame rate and size.
class TFormMPEGSetting : public QDialog {
    Q_OBJECT
public:
    explicit TFormMPEGSetting(bool mpeg2, QWidget* parent = nullptr);
    // Fills the size fields with the source's rounded size.
    void SetSourceSize(int width, int height);
    void ReadChoice(MpegDialogChoice* choice) const;

    QComboBox* frameRate = nullptr;  // combFrameRate, or frameRate in the MPEG-2 dialog
    QCheckBox* chckNoChange = nullptr;
    QLineEdit* edWidth = nullptr;
    QLineEdit* edHeight = nullptr;
    QPushButton* okButton = nullptr;  // btnOk, or BitBtn2 in the MPEG-2 dialog
};

// "VCD Setting" (mode 1): PAL or NTSC, and the NTSC frame rate.
class TFormVCDSetting : public QDialog {
    Q_OBJECT
public:
    explicit TFormVCDSetting(QWidget* parent = nullptr);
    void ReadChoice(MpegDialogChoice* choice) const;

    RadioGroup* FormatSetting = nullptr;
    RadioGroup* PALRate = nullptr;
    RadioGroup* NTSCRate = nullptr;
    QPushButton* btnOK = nullptr;

private:
    void FormatSettingClick();
};

// "SVCD Setting" (mode 3) and "DVDSetting" (mode 4, with "Video Size").
class TFormDiscSetting : public QDialog {
    Q_OBJECT
public:
    explicit TFormDiscSetting(bool dvd, QWidget* parent = nullptr);
    void ReadChoice(MpegDialogChoice* choice) const;

    RadioGroup* FormatSetting = nullptr;
    RadioGroup* VideoSize = nullptr;  // DVD only
    QPushButton* BitBtn2 = nullptr;

private:
    void FormatSettingClick();
};

class RadioGroup : public QWidget {
    Q_OBJECT
public:
    RadioGroup(const QString& objectName, const QString& caption, const QStringList& items,
               QWidget* parent = nullptr);
    int ItemIndex() const;
    void SetItemIndex(int index);
    void SetItems(const QStringList& items);  // relabels, keeps the selection
    QRadioButton* Item(int index) const;

signals:
    void clicked();

private:
    QGroupBox* box_ = nullptr;
    QList<QRadioButton*> buttons_;
};

// The five dialogs together, as the MPEG start uses them; top-level windows,
// centred on the desktop.
class MpegSettingDialogs : NonCopyable {
public:
    MpegSettingDialogs();
    ~MpegSettingDialogs();

    // Shows the dialog of `mode` (its size fields filled from the rounded source
    // size); false unless it ended with OK. On OK *choice holds what it shows.
    bool Ask(int mode, int roundedWidth, int roundedHeight, MpegDialogChoice* choice);

    TFormMPEGSetting* FormMPEGSetting;
    TFormMPEGSetting* FormMPEG2Setting;
    TFormVCDSetting* FormVCDSetting;
    TFormDiscSetting* FormSVCDSetting;
    TFormDiscSetting* FormDVDSetting;
};

}  // namespace reelcast::app
