// The conversion window driven like a user: type the paths, press convert,
// answer the dialogs, and check the file with ffprobe.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>

#include <fstream>
#include <memory>

#include "app/ConvertForm.h"
#include "app/PreviewForm.h"
#include <QMenu>

#include "app/controls/TImageList.h"
#include "app/controls/TTransparentButton.h"
#include "tests/app_forms/FormTestSupport.h"
#include "tests/avi/AviTestSupport.h"

namespace {

using namespace reelcast::app;
using formtest::ModalScript;

class ConvertFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_FFMPEG();
        ASSERT_TRUE(formtest::BindBuiltEngine());
        form_ = std::make_unique<TfrmConvert>();
    }

    // A clip made once per test.
    std::string Clip(double seconds, int width = 160, int height = 128) {
        const std::string path = dir_.File("clip.avi");
        EXPECT_TRUE(formtest::MakeClip(path, width, height, 25, seconds));
        return path;
    }

    // The window shown for entry, with the paths typed and convert pressed once
    // it has unfolded.
    void TypePathsAndConvert(ModalScript& script, const std::string& input, const std::string& output) {
        script.Then(
            "the unfolded window",
            [this](QWidget* w) { return w == form_.get() && !form_->Timer1->isActive(); },
            [this, input, output](QWidget*) {
                form_->Edit_InputFile->setText(QString::fromStdString(input));
                form_->Edit_OutputFile->setText(QString::fromStdString(output));
                formtest::Click(form_->btnConvert);
            });
    }

    // Closes the window from the script with its close button.
    void CloseWhenIdle(ModalScript& script) {
        script.Then(
            "the idle window",
            [this](QWidget* w) { return w == form_.get() && form_->convertState() != ConvertState::Converting; },
            [this](QWidget*) { formtest::Click(form_->TransparentButton1); });
    }

    // Runs the window modally until it closes; fails (and ends the program, which
    // would hang otherwise) when it does not close within timeoutMs.
    void Run(ConvertEntry entry, ModalScript& script, int timeoutMs = 120000) {
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            ADD_FAILURE() << "the window did not close; waiting for: " << script.Waiting().toStdString();
            std::fflush(nullptr);
            std::_Exit(1);
        });
        watchdog.start(timeoutMs);
        form_->ShowForEntry(entry, nullptr);
        EXPECT_TRUE(script.Done()) << "left waiting for: " << script.Waiting().toStdString();
        EXPECT_FALSE(form_->isVisible());
    }

    avitest::TempDir dir_;
    std::unique_ptr<TfrmConvert> form_;
};

struct ConversionCase {
    const char* name;
    ConvertEntry entry;
    const char* dialogTitle;  // the settings dialog's caption
    const char* okButton;     // object name of its OK button
    const char* videoCodec;   // what ffprobe finds
    const char* extension;
};

class ConvertFormConversion : public ConvertFormTest, public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(ConvertFormConversion, ConvertsAShortClipAndSaysSo) {
    const ConversionCase& c = GetParam();
    const std::string input = Clip(2);
    const std::string output = dir_.File(std::string("out.") + c.extension);
    ModalScript script;
    TypePathsAndConvert(script, input, output);
    script.Then(
        "the settings dialog",
        [&](QWidget* w) { return w->windowTitle() == c.dialogTitle; },
        [&](QWidget* w) {
            if (auto* b = w->findChild<QAbstractButton*>(c.okButton)) b->click();
        });
    script.AnswerBox("Convert completed!", "OK");
    CloseWhenIdle(script);
    Run(c.entry, script);

    EXPECT_EQ(form_->Label_Percent->text(), "100%");
    EXPECT_EQ(form_->ProgressBar1->value(), 100);
    EXPECT_GT(form_->preview()->framesPresented(), 0) << "the engine painted into the preview";
    const auto streams = avitest::ProbeStreams(output);
    ASSERT_FALSE(streams.empty());
    EXPECT_EQ(streams[0].at("codec_name"), c.videoCodec);
    EXPECT_EQ(streams[0].at("width"), "160");
    EXPECT_TRUE(avitest::DecodesCleanly(output));
}

INSTANTIATE_TEST_SUITE_P(
    Routes, ConvertFormConversion,
    ::testing::Values(ConversionCase{"Mpeg1", ConvertEntry::AviToMpg1, "MPEG Setting", "btnOk", "mpeg1video", "mpg"},
                      ConversionCase{"Mpeg2", ConvertEntry::AviToMpg2, "MPEG2Setting", "BitBtn2", "mpeg2video",
                                     "mpg"},
                      ConversionCase{"DivX", ConvertEntry::AllToDivx, "AVI Option", "1", "mpeg4", "avi"}),
    [](const auto& info) { return std::string(info.param.name); });

// QuickTime and Flash sources go through the bridge, whose events arrive on the
// window's thread through the window layer.
class ConvertFormBridge : public ConvertFormTest, public ::testing::WithParamInterface<ConvertEntry> {};

TEST_P(ConvertFormBridge, ConvertsAMovieThroughTheBridge) {
    if (!formtest::BridgeBuilt()) GTEST_SKIP() << "the bridge library is not built";
    const std::string mov = dir_.File("film.mov");
    ASSERT_TRUE(avitest::MakeSource(mov, 160, 128, 25, 2, 44100)) << "ffmpeg could not make a MOV";
    const std::string output = dir_.File("film.avi");
    ModalScript script;
    TypePathsAndConvert(script, mov, output);
    script.AnswerBox("Convert completed!", "OK");
    CloseWhenIdle(script);
    Run(GetParam(), script);
    EXPECT_TRUE(form_->useMovbridge());
    EXPECT_EQ(form_->Label_Percent->text(), "100%");
    const auto streams = avitest::ProbeStreams(output);
    ASSERT_FALSE(streams.empty());
    EXPECT_EQ(streams[0].at("width"), "160");
    EXPECT_TRUE(avitest::DecodesCleanly(output));
}

INSTANTIATE_TEST_SUITE_P(Entries, ConvertFormBridge, ::testing::Values(ConvertEntry::MovToAvi, ConvertEntry::AllToAvi));

// Stopping and closing, in both engine routes.
struct StopCase {
    const char* name;
    ConvertEntry entry;
    const char* dialogTitle;
    const char* okButton;
    const char* stopMessage;  // the job's word on a stop, or null
    const char* extension;
};

class ConvertFormStop : public ConvertFormTest, public ::testing::WithParamInterface<StopCase> {
protected:
    void StartLongConversion(ModalScript& script, const std::string& output) {
        const StopCase& c = GetParam();
        TypePathsAndConvert(script, Clip(20, 320, 240), output);
        script.Then(
            "the settings dialog", [&c](QWidget* w) { return w->windowTitle() == c.dialogTitle; },
            [&c](QWidget* w) {
                if (auto* b = w->findChild<QAbstractButton*>(c.okButton)) b->click();
            });
    }
    bool Converting() const { return form_->convertState() == ConvertState::Converting; }
    bool Underway() const { return Converting() && form_->ProgressBar1->value() >= 3; }
};

TEST_P(ConvertFormStop, StopMidwayLeavesThePartialFileAndNoCompletion) {
    const std::string output = dir_.File(std::string("stopped.") + GetParam().extension);
    ModalScript script;
    StartLongConversion(script, output);
    script.When("progress under way", [this] { return Underway(); }, [this](QWidget*) {
        formtest::Click(form_->btnConvert);
        EXPECT_EQ(form_->convertState(), ConvertState::Stopping);
        EXPECT_TRUE(form_->btnInfo->isEnabled());
        const int bar = form_->ProgressBar1->value();
        static_cast<IJobEvents&>(*form_).OnJobProgress(9900);
        EXPECT_EQ(form_->ProgressBar1->value(), bar) << "progress while stopping is ignored";
    });
    // The AVI job says "User Canceled"; the MPEG job stops without a word.
    if (GetParam().stopMessage) script.AnswerBox(GetParam().stopMessage, "OK");
    CloseWhenIdle(script);
    Run(GetParam().entry, script);
    bool told = false;
    for (const QString& box : script.boxes()) {
        EXPECT_NE(box, "Convert completed!");
        told = told || box.endsWith(QString::fromStdString(output + " holds the part written so far"));
    }
    EXPECT_GT(avitest::FileSize(output), 0u) << "the frames written so far stay";
    if (GetParam().stopMessage) {
        EXPECT_TRUE(told) << "the stop message says what the file holds";
    }
}

TEST_P(ConvertFormStop, ClosingWhileConvertingAsksAndNeverHangs) {
    const std::string output = dir_.File(std::string("closed.") + GetParam().extension);
    ModalScript script;
    StartLongConversion(script, output);
    script.When("progress under way", [this] { return Underway(); },
                [this](QWidget*) { formtest::Click(form_->TransparentButton1); });
    // Cancel keeps the conversion going.
    script.AnswerBox("Stop the converting?", "Cancel");
    script.When("still converting", [this] { return Converting(); },
                [this](QWidget*) { formtest::Click(form_->TransparentButton1); });
    script.AnswerBox("Stop the converting?", "OK");
    QElapsedTimer t;
    t.start();
    Run(GetParam().entry, script, 60000);
    EXPECT_EQ(form_->convertState(), ConvertState::Idle);
    EXPECT_TRUE(avitest::FileExists(output)) << "the partial file is left as the job left it";
    // The window can be used again afterwards.
    ModalScript again;
    again.Then("the window again", [this](QWidget* w) { return w == form_.get() && !form_->Timer1->isActive(); },
               [this](QWidget*) {
                   EXPECT_TRUE(form_->Edit_InputFile->text().isEmpty());
                   formtest::Click(form_->TransparentButton1);
               });
    Run(GetParam().entry, again, 20000);
}

// A conversion that ends while "Stop the converting?" is open: its box waits
// for the answer instead of opening over the question, whose buttons it would
// block. Cancel then shows it; OK closes without it.
TEST_P(ConvertFormStop, EndingUnderTheStopQuestionWaitsForTheAnswer) {
    for (const char* answer : {"Cancel", "OK"}) {
        SCOPED_TRACE(answer);
        const std::string output = dir_.File(std::string("ended_") + answer + "." + GetParam().extension);
        ModalScript script;
        StartLongConversion(script, output);
        script.When("progress under way", [this] { return Underway(); },
                    [this](QWidget*) { formtest::Click(form_->TransparentButton1); });
        script.Then(
            "the question, once the conversion has ended",
            [this](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                return box && box->text() == "Stop the converting?" && !Converting();
            },
            [answer](QWidget* w) { formtest::PressButton(w, answer); });
        const bool cancel = std::string(answer) == "Cancel";
        if (cancel) {
            script.AnswerBox("Convert completed!", "OK");
            CloseWhenIdle(script);
        }
        Run(GetParam().entry, script, 90000);
        EXPECT_EQ(script.boxes().count("Convert completed!"), cancel ? 1 : 0);
        EXPECT_GT(avitest::FileSize(output), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, ConvertFormStop,
                         ::testing::Values(StopCase{"Mpeg1", ConvertEntry::AviToMpg1, "MPEG Setting", "btnOk", nullptr,
                                                    "mpg"},
                                           StopCase{"DivX", ConvertEntry::AllToDivx, "AVI Option", "1",
                                                    "User Canceled", "avi"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Starts that are refused, and the output file the window emptied for them.
TEST_F(ConvertFormTest, RefusedStartsLeaveNothingBehind) {
    const std::string input = Clip(1);
    const std::string kept = dir_.File("kept.mpg");
    const std::string emptied = dir_.File("emptied.mpg");
    std::ofstream(kept) << "old contents";
    std::ofstream(emptied) << "old contents";
    ModalScript script;
    script.Then(
        "the unfolded window", [this](QWidget* w) { return w == form_.get() && !form_->Timer1->isActive(); },
        [this, input](QWidget*) {
            EXPECT_TRUE(form_->CheckBox1->isChecked()) << "the preview shows once unfolded";
            form_->Edit_InputFile->setText(QString::fromStdString(input));
            EXPECT_EQ(form_->Edit_OutputFile->text().toStdString(), input + ".mpg");
            form_->Edit_OutputFile->clear();
            formtest::Click(form_->btnConvert);
        });
    script.AnswerBox("Please set the output file name!", "OK");
    script.Then("the window", [this](QWidget* w) { return w == form_.get(); },
                [this, kept](QWidget*) {
                    EXPECT_EQ(form_->Label_Percent->text(), "0/100");
                    form_->Edit_OutputFile->setText(QString::fromStdString(kept));
                    formtest::Click(form_->btnConvert);
                });
    script.AnswerBox("Output File have exist! Do you want to overwrite it ?", "No");
    script.Then("the window", [this](QWidget* w) { return w == form_.get(); },
                [this, emptied](QWidget*) {
                    form_->Edit_OutputFile->setText(QString::fromStdString(emptied));
                    formtest::Click(form_->btnConvert);
                });
    script.AnswerBox("Output File have exist! Do you want to overwrite it ?", "Yes");
    // Dismissing the settings dialog abandons the start.
    script.Then("the settings dialog", [](QWidget* w) { return w->windowTitle() == "MPEG Setting"; },
                [](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    CloseWhenIdle(script);
    Run(ConvertEntry::AviToMpg1, script);

    EXPECT_EQ(avitest::FileSize(kept), 12u) << "No leaves the file untouched";
    EXPECT_FALSE(avitest::FileExists(emptied)) << "an emptied output no job wrote is removed";
    EXPECT_EQ(form_->Label_Percent->text(), "0/100");
}

TEST_F(ConvertFormTest, AllToAviSendsQuickTimeInputsToTheBridgeAndDivxRefusesThem) {
    const std::string mov = dir_.File("film.mov");
    const std::string swf = dir_.File("film.swf");
    std::ofstream(mov) << "not really a movie";
    std::ofstream(swf) << "not really flash";
    ModalScript script;
    script.Then("the window", [this](QWidget* w) { return w == form_.get() && !form_->Timer1->isActive(); },
                [this, mov](QWidget*) {
                    form_->Edit_InputFile->setText(QString::fromStdString(mov));
                    EXPECT_TRUE(form_->useMovbridge());
                    EXPECT_EQ(form_->Edit_OutputFile->text().toStdString(), mov + ".avi");
                    formtest::Click(form_->TransparentButton1);
                });
    Run(ConvertEntry::AllToAvi, script);

    ModalScript divx;
    TypePathsAndConvert(divx, swf, dir_.File("out.avi"));
    divx.AnswerBox("This is a QuickTime MOV or Flash SWF file, Please choose \"All to AVI\" to convert it.", "OK");
    CloseWhenIdle(divx);
    Run(ConvertEntry::AllToDivx, divx);
    EXPECT_FALSE(form_->useMovbridge());
    EXPECT_FALSE(avitest::FileExists(dir_.File("out.avi")));
}

}  // namespace
