// The glyph button: glyph pictures per state, the shared lists, pressing and
// grouping.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPalette>

#include <memory>

#include "RXCtrls.h"
#include "WidgetTestSupport.h"

namespace {

const QColor kMagenta(255, 0, 255);

QImage Picture(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(kMagenta);
  return image;
}

class SpeedButtonTest : public ::testing::Test {
protected:
  void SetUp() override { EnsureTestApplication(); }
  // A button on Form that counts its clicks.
  TRxSpeedButton* Button(int group = 0) {
    auto* b = new TRxSpeedButton(&form);
    b->SetGroupIndex(group);
    b->OnClick = [this](TRxSpeedButton*) { ++clicks; };
    return b;
  }
  void Click(TRxSpeedButton* b) {
    MousePress(b, {5, 5});
    MouseRelease(b, {5, 5});
  }

  TestApplication app;
  QWidget form;
  int clicks = 0;
};

TEST(ButtonGlyph, PictureCountFromTheShape) {
  EnsureTestApplication();
  TRxButtonGlyph glyph;
  glyph.SetGlyph(Picture(32, 16));
  EXPECT_EQ(glyph.NumGlyphs(), 2);
  glyph.SetGlyph(Picture(96, 16));
  EXPECT_EQ(glyph.NumGlyphs(), 1);
  glyph.SetGlyph(Picture(48, 16));
  EXPECT_EQ(glyph.NumGlyphs(), 3);
  glyph.SetGlyph(Picture(20, 16));  // no whole multiple: the count stays
  EXPECT_EQ(glyph.NumGlyphs(), 3);
  QImage dark = Picture(16, 16);
  dark.setPixelColor(0, 15, Qt::black);
  glyph.SetGlyph(dark);
  EXPECT_EQ(glyph.TransparentColor, QColor(Qt::black));
}

TEST(ButtonGlyph, DisabledIsEmbossedAndInactiveIsGrey) {
  EnsureTestApplication();
  const QPalette pal = QApplication::palette();
  const QColor face = pal.color(QPalette::Button);
  QImage picture = Picture(4, 4);
  picture.setPixelColor(1, 1, QColor(255, 0, 0));
  picture.setPixelColor(2, 1, face);
  TRxButtonGlyph glyph;
  glyph.SetGlyph(picture);
  ASSERT_EQ(glyph.NumGlyphs(), 1);

  const int disabledIndex = glyph.CreateButtonGlyph(rbsDisabled);
  const QImage& disabled = glyph.List()->Image(disabledIndex);
  EXPECT_EQ(disabled.pixel(1, 1), pal.color(QPalette::Dark).rgb());
  EXPECT_EQ(disabled.pixel(2, 1), pal.color(QPalette::Dark).rgb());
  EXPECT_EQ(disabled.pixel(3, 2), pal.color(QPalette::Light).rgb());
  EXPECT_EQ(disabled.pixelColor(0, 0).alpha(), 0);

  const int inactiveIndex = glyph.CreateButtonGlyph(rbsInactive);
  const QImage& inactive = glyph.List()->Image(inactiveIndex);
  const int g = 77 * 255 / 256;
  EXPECT_EQ(inactive.pixel(1, 1), qRgb(g, g, g));
  EXPECT_EQ(inactive.pixel(2, 1), face.rgb());
  EXPECT_EQ(inactive.pixelColor(0, 0).alpha(), 0);

  const int upIndex = glyph.CreateButtonGlyph(rbsUp);
  const QImage& up = glyph.List()->Image(upIndex);
  EXPECT_EQ(up.pixel(1, 1), qRgb(255, 0, 0));
  // One picture serves up and down.
  EXPECT_EQ(glyph.CreateButtonGlyph(rbsDown), glyph.CreateButtonGlyph(rbsUp));
}

TEST(ButtonGlyph, EqualSizesShareOneList) {
  EnsureTestApplication();
  {
    TRxButtonGlyph a, b, c;
    a.SetGlyph(Picture(16, 16));
    b.SetGlyph(Picture(32, 16));  // two pictures of 16 x 16
    c.SetGlyph(Picture(12, 12));
    a.CreateButtonGlyph(rbsUp);
    b.CreateButtonGlyph(rbsUp);
    b.CreateButtonGlyph(rbsDisabled);
    c.CreateButtonGlyph(rbsUp);
    ASSERT_NE(a.List(), nullptr);
    EXPECT_EQ(a.List(), b.List());
    EXPECT_NE(a.List(), c.List());
    EXPECT_EQ(a.List()->Count(), 3);
    // A new picture gives the slots back; they are used again.
    b.SetGlyph(Picture(16, 16));
    EXPECT_EQ(a.List()->Count(), 1);
    EXPECT_EQ(b.CreateButtonGlyph(rbsUp), 1);
  }
  EXPECT_EQ(GlyphCache(), nullptr);
}

TEST_F(SpeedButtonTest, PressMoveOutAndReleaseDoesNotClick) {
  TRxSpeedButton* b = Button();
  MousePress(b, {5, 5});
  EXPECT_EQ(b->State(), rbsDown);
  MouseMove(b, {50, 50});
  EXPECT_EQ(b->State(), rbsUp);
  MouseRelease(b, {50, 50});
  EXPECT_EQ(clicks, 0);
  Click(b);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(b->State(), rbsUp);
  EXPECT_FALSE(b->Down());  // never down without a group
  b->SetDown(true);
  EXPECT_FALSE(b->Down());
}

TEST_F(SpeedButtonTest, GroupKeepsOneButtonDown) {
  TRxSpeedButton* a = Button(1);
  TRxSpeedButton* b = Button(1);
  TRxSpeedButton* other = Button(2);
  other->SetDown(true);
  Click(a);
  EXPECT_TRUE(a->Down());
  EXPECT_EQ(a->State(), rbsExclusive);
  Click(b);
  EXPECT_TRUE(b->Down());
  EXPECT_FALSE(a->Down());
  EXPECT_EQ(a->State(), rbsUp);
  EXPECT_TRUE(other->Down());
  // Without AllowAllUp the down button stays down, yet clicks.
  Click(b);
  EXPECT_TRUE(b->Down());
  EXPECT_EQ(clicks, 3);
  // AllowAllUp passes to the group with the next button that goes down.
  a->SetAllowAllUp(true);
  a->SetDown(true);
  EXPECT_TRUE(b->AllowAllUp());
  Click(a);
  EXPECT_FALSE(a->Down());
  EXPECT_FALSE(b->Down());
}

TEST_F(SpeedButtonTest, DisabledButtonComesBackInItsState) {
  TRxSpeedButton* b = Button(1);
  b->SetDown(true);
  b->setEnabled(false);
  EXPECT_EQ(b->State(), rbsDisabled);
  Click(b);
  EXPECT_EQ(clicks, 0);
  b->setEnabled(true);
  EXPECT_EQ(b->State(), rbsExclusive);
}

TEST(SpeedButton, ModalResultEndsItsDialog) {
  EnsureTestApplication();
  QDialog dialog;
  auto* b = new TRxSpeedButton(&dialog);
  b->ModalResult = 7;
  bool clicked = false;
  b->OnClick = [&](TRxSpeedButton*) { clicked = true; };
  dialog.open();
  MousePress(b, {3, 3});
  MouseRelease(b, {3, 3});
  EXPECT_EQ(dialog.result(), 7);
  EXPECT_TRUE(clicked);
  EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
