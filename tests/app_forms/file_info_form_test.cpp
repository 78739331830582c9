// The file information dialog on a real clip and on a file nobody can read.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>

#include <fstream>

#include "app/FileInfoForm.h"
#include "tests/app_forms/FormTestSupport.h"
#include "tests/avi/AviTestSupport.h"

namespace {

using formtest::ModalScript;

TEST(FileInfoForm, ShowsNameGroupedSizeAndTheProbeText) {
    REQUIRE_FFMPEG();
    ASSERT_TRUE(formtest::BindBuiltEngine());
    avitest::TempDir dir;
    const std::string clip = dir.File("clip.avi");
    ASSERT_TRUE(formtest::MakeClip(clip, 160, 128, 25, 1));
    QString memo;
    ModalScript script;
    script.Then("the information dialog", [](QWidget* w) { return w->objectName() == "InfoDlg"; },
                [&memo](QWidget* w) {
                    EXPECT_EQ(w->windowTitle(), "File Information");
                    memo = w->findChild<QPlainTextEdit*>("Memo1")->toPlainText();
                    formtest::PressButton(w, "OK");
                });
    reelcast::app::ShowFileInfo(nullptr, QString::fromStdString(clip));
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(memo.startsWith("Notice:\n")) << memo.toStdString();
    EXPECT_TRUE(memo.contains("\nFile Name: clip.avi\n"));
    const std::uint64_t size = avitest::FileSize(clip);
    ASSERT_GT(size, 1000u);
    QString grouped = QString::number(size);
    for (int i = grouped.size() - 3; i > 0; i -= 3) grouped.insert(i, ',');
    EXPECT_TRUE(memo.contains("\nFile Size: " + grouped + "\n")) << memo.toStdString();
    EXPECT_TRUE(memo.contains("160")) << "the probe's description follows";
}

TEST(FileInfoForm, AFileThatCannotBeProbedIsSaidSo) {
    ASSERT_TRUE(formtest::BindBuiltEngine());
    avitest::TempDir dir;
    const std::string junk = dir.File("junk.bin");
    std::ofstream(junk) << "no media here";
    ModalScript script;
    script.AnswerBox("Can not get information of the file!", "OK");
    reelcast::app::ShowFileInfo(nullptr, QString::fromStdString(junk));
    EXPECT_TRUE(script.Done());
    ASSERT_EQ(script.boxes().size(), 1);
}

}  // namespace
