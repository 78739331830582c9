// The skinned button and the shadow label as a user meets them: glyphs that
// follow the mouse, clicks only when released inside, dragging, the derived
// glyphs, and what ends up on screen.
#include <gtest/gtest.h>

#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

#include "DesktopTestSupport.h"
#include "app/controls/TImageList.h"
#include "app/controls/TMyLabel.h"
#include "app/controls/TTransparentButton.h"

namespace ra = reelcast::app;

namespace {

// Glyph i of the strip is filled with Colour(i), on a magenta background frame.
QRgb Colour(int i) { return qRgb(40 * (i + 1), 200 - 30 * i, 60); }

QImage Strip(int glyphs, int w, int h) {
    QImage img(w * glyphs, h, QImage::Format_RGB32);
    img.fill(qRgb(255, 0, 255));
    QPainter p(&img);
    for (int i = 0; i < glyphs; ++i) p.fillRect(i * w + 2, 2, w - 4, h - 4, QColor(Colour(i)));
    return img;
}

class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        desktop_test::EnsureApplication();
        parentWindow = std::make_unique<QWidget>();
        QWidget& parent = *parentWindow;
        parent.resize(200, 200);
        list = new ra::TImageList(&parent, 40, 30);
        button = new ra::TTransparentButton(&parent);
        button->SetImageList(list);
        button->SetBorderWidth(0);
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }

    // Forgets where the pointer was left by an earlier test.
    void PointerAway() {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(button, &leave);
    }

    // The colour at the button's centre as it is painted now.
    QRgb Shown() { return button->grab().toImage().pixel(button->width() / 2, button->height() / 2); }

    std::unique_ptr<QWidget> parentWindow;
    ra::TImageList* list = nullptr;
    ra::TTransparentButton* button = nullptr;
};

TEST_F(ButtonTest, StartsAsTheControlLibraryDefines) {
    ra::TTransparentButton fresh;
    EXPECT_EQ(fresh.size(), QSize(40, 40));
    EXPECT_TRUE(fresh.AutoGray());
    EXPECT_TRUE(fresh.Transparent());
    EXPECT_TRUE(fresh.ShowPressed());
    EXPECT_EQ(fresh.FrameStyle(), ra::fsExplorer);
    EXPECT_EQ(fresh.TextAlign(), ra::ttaCenter);
    EXPECT_EQ(fresh.NumGlyphs(), 1);
    EXPECT_EQ(fresh.Spacing(), 2);
    EXPECT_EQ(fresh.BorderWidth(), 1);
}

TEST_F(ButtonTest, AddGlyphsOf120PixelsWithThreeGlyphsGivesFiveOf40) {
    button->SetNumGlyphs(3);
    button->AddGlyphs(Strip(3, 40, 30), qRgb(255, 0, 255));
    ASSERT_EQ(list->Count(), 5);
    EXPECT_EQ(list->Width(), 40);
    EXPECT_EQ(list->Height(), 30);
    // Magenta is see-through in every glyph cut from the bitmap.
    EXPECT_EQ(qAlpha(list->Glyph(1).pixel(0, 0)), 0);
    EXPECT_EQ(list->Glyph(2).pixel(20, 15), Colour(2) | 0xFF000000u);
    // The fourth is the first in grey, the fifth the embossed disabled one.
    const QRgb c = Colour(0);
    const int g = (11 * qRed(c) + 59 * qGreen(c) + 30 * qBlue(c)) / 100;
    EXPECT_EQ(list->Glyph(3).pixel(20, 15), qRgb(g, g, g));
    EXPECT_EQ(qAlpha(list->Glyph(3).pixel(0, 0)), 0);
    const QImage disabled = list->Glyph(4);
    EXPECT_EQ(disabled.pixel(0, 0), button->palette().color(QPalette::Button).rgb());
    EXPECT_EQ(disabled.pixel(20, 15), button->palette().color(QPalette::Dark).rgb());
}

TEST_F(ButtonTest, AddGlyphsIgnoresAnEmptyBitmap) {
    button->SetNumGlyphs(3);
    button->AddGlyphs(Strip(3, 40, 30), qRgb(255, 0, 255));
    button->AddGlyphs(QImage(), qRgb(255, 0, 255));
    EXPECT_EQ(list->Count(), 5);
}

// The skinned buttons of the program: three glyphs, the button's own start index.
TEST_F(ButtonTest, ThreeGlyphsFollowTheMouse) {
    list->AddMasked(Strip(4, 40, 30), qRgb(255, 0, 255));
    button->SetNumGlyphs(3);
    button->SetImageIndex(1);
    button->resize(40, 30);
    QSignalSpy clicks(button, &ra::TTransparentButton::OnClick);
    PointerAway();
    EXPECT_EQ(button->CurrentGlyph(), 1);
    EXPECT_EQ(Shown(), Colour(1));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(button, &enter);
    EXPECT_EQ(button->CurrentGlyph(), 3);  // hot: ImageIndex + 2
    EXPECT_EQ(Shown(), Colour(3));
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(20, 15));
    EXPECT_EQ(button->CurrentGlyph(), 2);  // held: ImageIndex + 1
    EXPECT_EQ(button->grab().toImage().pixel(21, 16), Colour(2));  // and one pixel lower right
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(20, 15));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(button->CurrentGlyph(), 3);
    PointerAway();
    EXPECT_EQ(button->CurrentGlyph(), 1);
}

TEST_F(ButtonTest, PressingAndDraggingOutShowsNormalAndReleasingOutsideDoesNotClick) {
    list->AddMasked(Strip(3, 40, 30), qRgb(255, 0, 255));
    button->SetNumGlyphs(3);
    button->resize(40, 30);
    QSignalSpy clicks(button, &ra::TTransparentButton::OnClick);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(button->IsPressedInside());
    QTest::mouseMove(button, QPoint(80, 80));
    QMouseEvent move(QEvent::MouseMove, QPointF(80, 80), button->mapToGlobal(QPointF(80, 80)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &move);
    EXPECT_FALSE(button->IsPressedInside());
    EXPECT_EQ(button->CurrentGlyph(), 0);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(80, 80));
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(ButtonTest, FourGlyphsShowTheSecondWhenDisabled) {
    list->AddMasked(Strip(4, 40, 30), qRgb(255, 0, 255));
    button->SetNumGlyphs(4);
    button->setEnabled(false);
    EXPECT_EQ(button->CurrentGlyph(), 1);
    QSignalSpy clicks(button, &ra::TTransparentButton::OnClick);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(ButtonTest, DisablingForgetsAHeldPress) {
    button->SetNumGlyphs(3);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(button->IsPressedInside());
    button->setEnabled(false);
    EXPECT_FALSE(button->IsPressedInside());
    button->setEnabled(true);
    QSignalSpy clicks(button, &ra::TTransparentButton::OnClick);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(ButtonTest, AMovableButtonFollowsTheDrag) {
    button->SetMovable(true);
    button->move(10, 10);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    QMouseEvent move(QEvent::MouseMove, QPointF(25, 12), button->mapToGlobal(QPointF(25, 12)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &move);
    EXPECT_EQ(button->pos(), QPoint(30, 17));
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
}

TEST_F(ButtonTest, APopUpMenuOpensUnderTheButtonAndEndsThePress) {
    QMenu menu;
    menu.addAction("One");
    button->SetPopUpMenu(&menu);
    button->move(20, 20);
    QPoint shownAt;
    QTimer::singleShot(0, &menu, [&] {
        shownAt = menu.pos();
        menu.close();
    });
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(shownAt, button->mapToGlobal(QPoint(0, button->height())));
    EXPECT_FALSE(button->IsPressedInside());
    // Deleting the menu leaves the button without one.
    {
        auto* temporary = new QMenu;
        button->SetPopUpMenu(temporary);
        delete temporary;
    }
    EXPECT_EQ(button->PopUpMenu(), nullptr);
}

TEST_F(ButtonTest, TheCaptionsAcceleratorClicks) {
    button->SetCaption("&Go");
    QSignalSpy clicks(button, &ra::TTransparentButton::OnClick);
    parentWindow->activateWindow();
    QTest::keyClick(parentWindow.get(), Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(clicks.count(), 1);
}

// Captions stay within the button, placed by TextAlign around the glyph.
TEST_F(ButtonTest, CaptionPlacementKeepsTheSpacing) {
    list->AddMasked(Strip(1, 20, 10), qRgb(255, 0, 255));
    button->resize(80, 60);
    button->SetCaption("Text");
    button->SetTextAlign(ra::ttaTop);
    EXPECT_EQ(button->TextRect().bottom() + 1, button->GlyphRect().top() - button->Spacing());
    button->SetTextAlign(ra::ttaBottom);
    EXPECT_EQ(button->GlyphRect().top(), button->Spacing());
    EXPECT_EQ(button->TextRect().top(), button->GlyphRect().bottom() + 1 + button->Spacing());
    button->SetTextAlign(ra::ttaRight);
    EXPECT_EQ(button->GlyphRect().left(), button->Spacing());
    EXPECT_EQ(button->TextRect().right() + 1, button->width() - button->Spacing());
}

// A disabled caption is drawn twice: highlight one pixel lower right, shadow on top.
TEST_F(ButtonTest, ADisabledCaptionIsEmbossed) {
    button->SetImageList(nullptr);
    button->resize(80, 30);
    button->SetCaption("MMMM");
    button->SetFrameStyle(ra::fsNone);
    QFont f = button->font();
    f.setPixelSize(20);
    f.setStyleStrategy(QFont::NoAntialias);
    button->setFont(f);
    button->setEnabled(false);
    const QImage img = button->grab().toImage();
    const QRgb light = button->palette().color(QPalette::Light).rgb();
    const QRgb dark = button->palette().color(QPalette::Dark).rgb();
    int lightCount = 0, darkCount = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            lightCount += img.pixel(x, y) == light;
            darkCount += img.pixel(x, y) == dark;
        }
    EXPECT_GT(lightCount, 5);
    EXPECT_GT(darkCount, 5);
}

TEST(MyLabel, DrawsTheShadowAndTheForeColourTwoPixelsApart) {
    desktop_test::EnsureApplication();
    ra::TMyLabel label;
    label.setText("H");
    QFont f = label.font();
    f.setPixelSize(30);
    f.setStyleStrategy(QFont::NoAntialias);
    label.setFont(f);
    label.SetBKColor(QColor(128, 128, 128));
    label.SetPREColor(QColor(0, 0, 128));
    label.setContentsMargins(0, 0, 2, 2);
    label.SetAutoSize(true);
    EXPECT_EQ(label.width(), label.sizeHint().width() + 1);
    const QImage img = label.grab().toImage();
    // The fore colour's left edge lies two pixels right of the shadow's.
    auto leftmost = [&](QRgb c) {
        for (int x = 0; x < img.width(); ++x)
            for (int y = 0; y < img.height(); ++y)
                if (img.pixel(x, y) == c) return x;
        return -1;
    };
    const int shadow = leftmost(qRgb(128, 128, 128)), fore = leftmost(qRgb(0, 0, 128));
    ASSERT_GE(shadow, 0);
    EXPECT_EQ(fore, shadow + 2);
}

}  // namespace
