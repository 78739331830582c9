// The main window with the shipped skins and with damaged ones: its shape, the
// buttons placed by skin.ini, skin switching kept in config.ini, the menu, and
// the commands it hands on.
#include <gtest/gtest.h>

#include <QAction>
#include <QBitmap>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <memory>

#include "DesktopTestSupport.h"
#include "app/MainForm.h"
#include "app/controls/TImageList.h"
#include "app/controls/TTransparentButton.h"
#include "app/logic/SkinFolder.h"

namespace ra = reelcast::app;
using desktop_test::ScratchFolder;

Q_DECLARE_METATYPE(reelcast::app::ConvertEntry)

namespace {

QSize FaceSize(const std::string& skinFolder) { return QImage(QString::fromStdString(skinFolder + "/face.bmp")).size(); }

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        desktop_test::EnsureApplication();
        qRegisterMetaType<ra::ConvertEntry>();
    }
    std::unique_ptr<ra::TForm1> Open() { return std::make_unique<ra::TForm1>(dir.path()); }
    std::string Skin(int n) const { return dir / ("SKIN" + std::to_string(n)); }

    ScratchFolder dir;
};

class ShippedSkins : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_GE(desktop_test::CopyShippedSkins(dir.path()), 3) << "the skins are drawn at build time";
    }
};

// Each shipped skin: the window takes the face's size and shape, all ten
// buttons sit where skin.ini puts them, sized to a quarter of their bitmap.
class EachShippedSkin : public ShippedSkins, public ::testing::WithParamInterface<int> {};

TEST_P(EachShippedSkin, ShapesTheWindowAndPlacesTheTenButtons) {
    const int n = GetParam();
    desktop_test::WriteText(dir / "config.ini", "[INI]\nIndex=" + std::to_string(n) + "\n");
    auto form = Open();
    ASSERT_EQ(form->skinIndex(), n);
    EXPECT_EQ(ra::SkinFolder(), Skin(n));
    const QImage face(QString::fromStdString(Skin(n) + "/face.bmp"));
    EXPECT_EQ(form->size(), face.size());
    const QRegion mask = form->mask();
    ASSERT_FALSE(mask.isEmpty());
    int holes = 0;
    for (int y = 0; y < face.height(); ++y)
        for (int x = 0; x < face.width(); ++x) {
            const bool magenta = (face.pixel(x, y) & 0xFFFFFF) == 0xFF00FF;
            holes += magenta;
            ASSERT_EQ(mask.contains(QPoint(x, y)), !magenta) << x << "," << y;
        }
    EXPECT_GT(holes, 0) << "a skin's face is not a plain rectangle";

    const auto controls = ra::DescribeSkin(Skin(n)).controls;
    ASSERT_EQ(controls.size(), 10u);
    for (const auto& c : controls) {
        ra::TTransparentButton* b = form->Button(c.number);
        const QImage strip(QString::fromStdString(Skin(n) + "/" + ra::SkinControlFile(c.number)));
        EXPECT_TRUE(b->isVisibleTo(form.get()));
        EXPECT_EQ(b->geometry(), QRect(c.left, c.top, strip.width() / 4, strip.height())) << c.number;
        EXPECT_EQ(b->ImageList()->Count(), 4);
        // The whole button lies on the window's face.
        EXPECT_TRUE(mask.contains(b->geometry().center()));
    }
}

INSTANTIATE_TEST_SUITE_P(Skins, EachShippedSkin, ::testing::Values(0, 1, 2));

TEST_F(ShippedSkins, ChangeSkinCyclesThroughAllAndRemembersTheChoice) {
    auto form = Open();
    ASSERT_EQ(form->skinIndex(), 0);
    for (int expected : {1, 2, 0, 1}) {
        QTest::mouseClick(form->Button(9), Qt::LeftButton, {}, QPoint(3, 3));
        EXPECT_EQ(form->skinIndex(), expected);
        EXPECT_EQ(ra::ReadSkinIndex(dir / "config.ini"), expected);
        EXPECT_EQ(form->size(), FaceSize(Skin(expected)));
    }
    // A new start comes up in the remembered skin.
    form.reset();
    EXPECT_EQ(Open()->skinIndex(), 1);
}

TEST_F(ShippedSkins, TheSkinMenuHoldsEachSkinWithSeparatorsBetween) {
    auto form = Open();
    const auto items = form->SkinMenu()->actions();
    ASSERT_EQ(items.size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(items[i]->isSeparator(), i % 2 == 1);
        if (i % 2 == 0) {
            EXPECT_FALSE(items[i]->icon().isNull()) << "each skin item shows its face";
        }
    }
    items[4]->trigger();
    EXPECT_EQ(form->skinIndex(), 2);
    EXPECT_EQ(ra::ReadSkinIndex(dir / "config.ini"), 2);
}

TEST_F(ShippedSkins, TheMenuOffersTheCommandsInOrder) {
    auto form = Open();
    QStringList texts;
    for (QAction* a : form->PopupMenu()->actions()) texts << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(texts, (QStringList{"Convert", "File Info...", "-", "SelectSkin   ", "Help", "About", "-", "Exit"}));
    QMenu* convert = form->PopupMenu()->actions()[0]->menu();
    ASSERT_NE(convert, nullptr);
    QStringList modes;
    for (QAction* a : convert->actions()) modes << a->text();
    EXPECT_EQ(modes, (QStringList{"AVI to MPG1", "AVI to MPG2", "AVI to VCD", "AVI to DVD", "AVI to SVCD",
                                  "ALL to DivX", "ALL to AVI", "MOV to AVI", "SWF to AVI"}));
    QSignalSpy requests(form.get(), &ra::TForm1::ConvertRequested);
    convert->actions()[4]->trigger();
    convert->actions()[8]->trigger();
    ASSERT_EQ(requests.count(), 2);
    EXPECT_EQ(requests[0][0].value<ra::ConvertEntry>(), ra::ConvertEntry::AviToSvcd);
    EXPECT_EQ(requests[1][0].value<ra::ConvertEntry>(), ra::ConvertEntry::SwfToAvi);
}

TEST_F(ShippedSkins, ButtonsOneToSixOpenTheirConversions) {
    auto form = Open();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QSignalSpy requests(form.get(), &ra::TForm1::ConvertRequested);
    for (int n = 1; n <= 6; ++n) QTest::mouseClick(form->Button(n), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_EQ(requests.count(), 6);
    const ra::ConvertEntry expected[] = {ra::ConvertEntry::AviToMpg1, ra::ConvertEntry::AviToMpg2,
                                         ra::ConvertEntry::AviToVcd,  ra::ConvertEntry::AviToDvd,
                                         ra::ConvertEntry::AllToDivx, ra::ConvertEntry::AllToAvi};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(requests[i][0].value<ra::ConvertEntry>(), expected[i]);
    EXPECT_EQ(form->Button(7)->toolTip(), "Exit");
    EXPECT_EQ(form->Button(10)->toolTip(), "Help");
    QTest::mouseClick(form->Button(7), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(form->isVisible());
}

TEST_F(ShippedSkins, DraggingTheFaceMovesTheWindow) {
    auto form = Open();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QPoint start = form->pos();
    const QPoint grip = form->Button(1)->geometry().topLeft() - QPoint(0, 6);  // on the face, off any button
    QTest::mousePress(form.get(), Qt::LeftButton, {}, grip);
    QMouseEvent move(QEvent::MouseMove, QPointF(grip + QPoint(30, 20)), form->mapToGlobal(QPointF(grip + QPoint(30, 20))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &move);
    QTest::mouseRelease(form.get(), Qt::LeftButton, {}, grip + QPoint(30, 20));
    EXPECT_EQ(form->pos(), start + QPoint(30, 20));
}

// ---- Damaged skins keep the previous one ---------------------------------------------

struct Damage {
    const char* name;
    std::function<void(const std::string& skin)> apply;
};

class DamagedSkin : public MainWindowTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedSkin, KeepsThePreviousSkin) {
    desktop_test::MakeSkin(dir.path(), 0, 120, 40, 2, 10);
    desktop_test::MakeSkin(dir.path(), 1, 150, 50, 3, 10);
    desktop_test::MakeSkin(dir.path(), 2, 90, 60, 1, 3);
    GetParam().apply(Skin(1));
    auto form = Open();
    ASSERT_EQ(form->skinIndex(), 0);
    const QRegion mask = form->mask();
    EXPECT_FALSE(form->ChooseSkin(1));
    EXPECT_FALSE(form->SkinProblem().empty());
    EXPECT_EQ(form->skinIndex(), 0);
    EXPECT_EQ(form->size(), QSize(120, 40));
    EXPECT_EQ(form->mask(), mask);
    EXPECT_EQ(ra::SkinFolder(), Skin(0));
    EXPECT_EQ(ra::ReadSkinIndex(dir / "config.ini"), 0);
    EXPECT_EQ(form->Button(5)->ImageList()->Count(), 4);
    // ChangeSkin passes over it to the next one that loads.
    form->ChangeSkin();
    EXPECT_EQ(form->skinIndex(), 2);
    EXPECT_EQ(form->size(), QSize(90, 60));
    EXPECT_FALSE(form->Button(5)->isVisibleTo(form.get())) << "a button the skin leaves out is hidden";
}

INSTANTIATE_TEST_SUITE_P(
    Damages, DamagedSkin,
    ::testing::Values(
        Damage{"NoFace", [](const std::string& s) { std::filesystem::remove(s + "/face.bmp"); }},
        Damage{"FaceNotABitmap", [](const std::string& s) { desktop_test::WriteText(s + "/face.bmp", "BM junk"); }},
        Damage{"FaceAllMagenta",
               [](const std::string& s) {
                   desktop_test::WriteBitmap(s + "/face.bmp", 30, 30, [](int, int) { return 0xFF00FFu; });
               }},
        Damage{"FaceTallerThanTheOutlineBuffer",
               [](const std::string& s) {
                   desktop_test::WriteBitmap(s + "/face.bmp", 4, 1601, [](int, int) { return 0x123456u; });
               }},
        Damage{"EmptyIni", [](const std::string& s) { desktop_test::WriteText(s + "/skin.ini", ""); }},
        Damage{"IniWithoutButtons", [](const std::string& s) { desktop_test::WriteText(s + "/skin.ini", "[Controls]\nfoo\n"); }},
        Damage{"ButtonBitmapMissing", [](const std::string& s) { std::filesystem::remove(s + "/ctrl7.bmp"); }},
        Damage{"ButtonBitmapTooNarrow",
               [](const std::string& s) {
                   desktop_test::WriteBitmap(s + "/ctrl3.bmp", 3, 10, [](int, int) { return 0u; });
               }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, ASkinIniLinePutsItsButtonThere) {
    desktop_test::MakeSkin(dir.path(), 0, 300, 100, 0, 10);
    desktop_test::WriteText(Skin(0) + "/skin.ini", "[Controls]\n3=120,45\n");
    auto form = Open();
    EXPECT_EQ(form->Button(3)->geometry(), QRect(120, 45, 20, 10));
    // The faces of ctrl3.bmp: normal first.
    EXPECT_EQ(form->Button(3)->ImageList()->Glyph(0).pixel(5, 5) & 0xFFFFFF, 0x100003u);
}

TEST_F(MainWindowTest, AnIndexWithoutASkinStartsWithTheFirst) {
    desktop_test::MakeSkin(dir.path(), 0, 120, 40, 2, 10);
    desktop_test::WriteText(dir / "config.ini", "[INI]\nIndex=7\n");
    EXPECT_EQ(Open()->skinIndex(), 0);
}

// Without any usable skin the window still offers every command.
TEST_F(MainWindowTest, WithoutSkinsThePlainFaceShowsCaptionedButtons) {
    auto form = Open();
    EXPECT_TRUE(form->mask().isEmpty());
    for (int n = 1; n <= 10; ++n) {
        EXPECT_TRUE(form->Button(n)->isVisibleTo(form.get()));
        EXPECT_FALSE(form->Button(n)->Caption().isEmpty());
        EXPECT_TRUE(QRect(QPoint(0, 0), form->size()).contains(form->Button(n)->geometry()));
    }
    // A skin that appears later can still be chosen.
    desktop_test::MakeSkin(dir.path(), 0, 120, 40, 2, 10);
    ASSERT_TRUE(form->ChooseSkin(0));
    EXPECT_EQ(form->size(), QSize(120, 40));
    EXPECT_TRUE(form->Button(1)->Caption().isEmpty());
}

}  // namespace
