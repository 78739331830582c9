// The five MPEG settings dialogs: what their controls put into the job's record,
// and how they react to clicks.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include <functional>

#include "app/MpegSettingDialogs.h"
#include "app/logic/MpegStart.h"

namespace {

using namespace reelcast;
using namespace reelcast::app;

struct DialogCase {
    const char* name;
    int mode;
    std::function<void(MpegSettingDialogs&)> set;  // what the user does
    std::uint32_t width, height;
    double frameRate;
    std::uint32_t audioRate, jobKind;
};

class SettingDialogRecord : public ::testing::TestWithParam<DialogCase> {};

TEST_P(SettingDialogRecord, ControlsFillTheRecord) {
    const DialogCase& c = GetParam();
    MpegSettingDialogs dialogs;
    // The user's clicks happen once the dialog is up; OK closes it.
    QTimer::singleShot(0, [&] {
        c.set(dialogs);
        for (QDialog* d : {static_cast<QDialog*>(dialogs.FormMPEGSetting), static_cast<QDialog*>(dialogs.FormMPEG2Setting),
                           static_cast<QDialog*>(dialogs.FormVCDSetting), static_cast<QDialog*>(dialogs.FormSVCDSetting),
                           static_cast<QDialog*>(dialogs.FormDVDSetting)})
            if (d->isVisible()) d->accept();
    });
    MpegDialogChoice choice;
    ASSERT_TRUE(dialogs.Ask(c.mode, 336, 256, &choice));
    MpegJobParams r{};
    const MpegStartOutcome o =
        BuildMpegJobParams(c.mode, choice, MpegSourceFacts{true, true, 350, 262}, "in.avi", "out.mpg", nullptr, &r);
    ASSERT_TRUE(o.ok) << o.message;
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.height, c.height);
    EXPECT_DOUBLE_EQ(r.frameRate, c.frameRate);
    EXPECT_EQ(r.audioRate, c.audioRate);
    EXPECT_EQ(r.jobKind, c.jobKind);
}

void Click(QRadioButton* b) { b->click(); }

INSTANTIATE_TEST_SUITE_P(
    Dialogs, SettingDialogRecord,
    ::testing::Values(
        DialogCase{"Mpeg1Untouched", kModeMpg1, [](MpegSettingDialogs&) {}, 336, 256, 25.0, 0, 5},
        DialogCase{"Mpeg1NoChangeAt24", kModeMpg1,
                   [](MpegSettingDialogs& d) {
                       d.FormMPEGSetting->chckNoChange->click();
                       d.FormMPEGSetting->frameRate->setCurrentIndex(1);
                   },
                   336, 256, 24.0, 0, 5},
        DialogCase{"Mpeg2Typed", kModeMpg2,
                   [](MpegSettingDialogs& d) {
                       d.FormMPEG2Setting->edWidth->setText("480");
                       d.FormMPEG2Setting->edHeight->setText("272");
                       d.FormMPEG2Setting->frameRate->setCurrentIndex(2);
                   },
                   480, 272, 29.97, 0, 6},
        DialogCase{"VcdPal", kModeVcd, [](MpegSettingDialogs&) {}, 352, 288, 25.0, 44100, 0},
        DialogCase{"VcdNtscFilm", kModeVcd,
                   [](MpegSettingDialogs& d) {
                       Click(d.FormVCDSetting->FormatSetting->Item(1));
                       Click(d.FormVCDSetting->NTSCRate->Item(1));
                   },
                   352, 240, 23.976, 44100, 0},
        DialogCase{"SvcdNtsc", kModeSvcd, [](MpegSettingDialogs& d) { Click(d.FormSVCDSetting->FormatSetting->Item(1)); },
                   480, 480, 29.97, 44100, 1},
        DialogCase{"DvdPal", kModeDvd, [](MpegSettingDialogs&) {}, 720, 576, 25.0, 48000, 6},
        DialogCase{"DvdNtscLow", kModeDvd,
                   [](MpegSettingDialogs& d) {
                       Click(d.FormDVDSetting->FormatSetting->Item(1));
                       Click(d.FormDVDSetting->VideoSize->Item(1));
                   },
                   352, 240, 29.97, 48000, 6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingDialogs, ClicksChangeWhatTheDialogsShow) {
    MpegSettingDialogs d;
    TFormMPEGSetting& mpeg = *d.FormMPEGSetting;
    mpeg.chckNoChange->click();
    EXPECT_FALSE(mpeg.edWidth->isEnabled());
    mpeg.chckNoChange->click();
    EXPECT_TRUE(mpeg.edHeight->isEnabled());
    EXPECT_EQ(mpeg.frameRate->currentText(), "25.0 fps(PAL)");
    EXPECT_EQ(d.FormMPEG2Setting->frameRate->currentText(), "25.0 fps(PAL)");

    TFormVCDSetting& vcd = *d.FormVCDSetting;
    vcd.show();
    EXPECT_TRUE(vcd.PALRate->isVisible());
    EXPECT_FALSE(vcd.NTSCRate->isVisible());
    vcd.FormatSetting->Item(1)->click();
    EXPECT_FALSE(vcd.PALRate->isVisible());
    EXPECT_TRUE(vcd.NTSCRate->isVisible());
    vcd.hide();

    TFormDiscSetting& dvd = *d.FormDVDSetting;
    dvd.VideoSize->Item(1)->click();
    dvd.FormatSetting->Item(1)->click();
    EXPECT_EQ(dvd.VideoSize->Item(0)->text(), "720 X 480");
    EXPECT_EQ(dvd.VideoSize->Item(1)->text(), "352 X 240 (Low resolution)");
    EXPECT_EQ(dvd.VideoSize->ItemIndex(), 1) << "the selection stays";
    dvd.FormatSetting->Item(0)->click();
    EXPECT_EQ(dvd.VideoSize->Item(1)->text(), "352 X 288 (Low resolution)");
}

TEST(SettingDialogs, ClosingOtherThanByOkIsCancel) {
    MpegSettingDialogs d;
    QTimer::singleShot(0, [&] { d.FormSVCDSetting->close(); });
    MpegDialogChoice choice;
    EXPECT_FALSE(d.Ask(kModeSvcd, 336, 256, &choice));
}

}  // namespace
