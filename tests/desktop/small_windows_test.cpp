// The about box and the components dialog.
#include <gtest/gtest.h>

#include <QLabel>

#include "DesktopTestSupport.h"
#include "app/AboutForm.h"
#include "app/ComponentsForm.h"
#include "app/controls/TMyLabel.h"

namespace ra = reelcast::app;

namespace {

class ComponentsDialog : public ::testing::TestWithParam<ra::ComponentStatus> {};

TEST_P(ComponentsDialog, GreysTheComponentsThatArePresent) {
    desktop_test::EnsureApplication();
    const ra::ComponentStatus s = GetParam();
    ra::TComDlg dlg(s, "/nowhere");
    EXPECT_EQ(dlg.windowTitle(), "Components missing");
    EXPECT_EQ(dlg.size(), QSize(442, 305));
    EXPECT_EQ(dlg.lbl_DX->isEnabled(), !s.directX);
    EXPECT_EQ(dlg.lbl_WMF->isEnabled(), !s.windowsMedia);
    EXPECT_EQ(dlg.lbl_QT->isEnabled(), !s.quickTime);
}

INSTANTIATE_TEST_SUITE_P(Status, ComponentsDialog,
                         ::testing::Values(ra::ComponentStatus{false, true, true},
                                           ra::ComponentStatus{true, false, true},
                                           ra::ComponentStatus{true, true, false},
                                           ra::ComponentStatus{false, false, false}));

TEST(AboutBox, NamesTheProgramAndItsVersion) {
    desktop_test::EnsureApplication();
    ra::TAboutBox about;
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.MyLabel1->text(), "Vantor Reelcast");
    EXPECT_EQ(about.MyLabel1->PREColor(), QColor(0, 0, 128));
    auto* version = about.findChild<QLabel*>("Version");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), "Version  3.8");
}

}  // namespace
