// The splitter bar: which control it resizes, dragging, limits, cancelling.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QLayout>
#include <QVBoxLayout>

#include <memory>

#include "RXSplit.h"
#include "WidgetTestSupport.h"

namespace {

// A 300 x 200 window: a client-aligned area above a bottom-aligned one of
// 50 pixels, the splitter between them.
class SplitterTest : public ::testing::Test {
protected:
  void SetUp() override {
    EnsureTestApplication();
    form = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(form.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    top = new QWidget;
    bottom = new QWidget;
    splitter = new TRxSplitter;
    SetControlAlign(top, TAlign::alClient);
    SetControlAlign(bottom, TAlign::alBottom);
    bottom->setFixedHeight(50);
    layout->addWidget(top, 1);
    layout->addWidget(splitter);
    layout->addWidget(bottom);
    splitter->SetAlign(TAlign::alBottom);
    form->resize(300, 200);
    form->show();
    Relayout();
  }
  void Relayout() { form->layout()->activate(); }
  // Drags from the bar's middle row by Dy pixels.
  void Drag(int dy) {
    MousePress(splitter, {5, 1});
    MouseMove(splitter, {5, 1 + dy});
    MouseRelease(splitter, {5, 1 + dy});
    Relayout();
  }

  std::unique_ptr<QWidget> form;
  QWidget* top = nullptr;
  QWidget* bottom = nullptr;
  TRxSplitter* splitter = nullptr;
};

TEST_F(SplitterTest, BottomControlGrowsWhenDraggedUp) {
  splitter->SetControlFirst(bottom);
  EXPECT_EQ(splitter->cursor().shape(), Qt::SplitVCursor);
  EXPECT_EQ(splitter->height(), 3);
  int changed = 0;
  splitter->OnPosChanged = [&](TRxSplitter*) { ++changed; };
  Drag(-30);
  EXPECT_EQ(bottom->height(), 80);
  EXPECT_EQ(splitter->y(), 200 - 80 - 3);
  EXPECT_EQ(changed, 1);
  Drag(+40);
  EXPECT_EQ(bottom->height(), 40);
}

TEST_F(SplitterTest, ClientAndBottomPairResizesTheSecond) {
  splitter->SetControlFirst(top);
  splitter->SetControlSecond(bottom);
  Drag(-25);
  EXPECT_EQ(bottom->height(), 75);
}

TEST_F(SplitterTest, AlignUnlikeTheControlsGivesNoDrag) {
  splitter->SetControlFirst(bottom);
  splitter->SetAlign(TAlign::alTop);
  EXPECT_FALSE(splitter->testAttribute(Qt::WA_SetCursor));
  MousePress(splitter, {5, 1});
  EXPECT_FALSE(splitter->Dragging());
  MouseRelease(splitter, {5, 1});
  EXPECT_EQ(bottom->height(), 50);
}

TEST_F(SplitterTest, LineStopsAtTheLimit) {
  splitter->SetControlFirst(bottom);
  MousePress(splitter, {5, 1});
  EXPECT_TRUE(splitter->Dragging());
  MouseMove(splitter, {5, -1000});
  EXPECT_EQ(splitter->LinePos().y(), 20);
  EXPECT_TRUE(splitter->RefusalShown());
  EXPECT_EQ(splitter->cursor().shape(), Qt::ForbiddenCursor);
  MouseMove(splitter, {5, -10});
  EXPECT_FALSE(splitter->RefusalShown());
  EXPECT_EQ(splitter->cursor().shape(), Qt::SplitVCursor);
  MouseRelease(splitter, {5, -1000});
  Relayout();
  // The bar's middle ends 20 pixels below the top.
  EXPECT_EQ(splitter->y() + 1, 20);
}

TEST_F(SplitterTest, EscapeCancelsTheDrag) {
  splitter->SetControlFirst(bottom);
  int changed = 0;
  splitter->OnPosChanged = [&](TRxSplitter*) { ++changed; };
  MousePress(splitter, {5, 1});
  MouseMove(splitter, {5, -29});
  KeyPress(top, Qt::Key_Escape);
  EXPECT_FALSE(splitter->Dragging());
  MouseMove(splitter, {5, -60});
  MouseRelease(splitter, {5, -60});
  Relayout();
  EXPECT_EQ(bottom->height(), 50);
  EXPECT_EQ(changed, 0);
}

TEST_F(SplitterTest, RefusedPositionFallsBackToTheLastLine) {
  splitter->SetControlFirst(bottom);
  splitter->OnPosChanging = [](TRxSplitter*, int, int y, bool& allow) { allow = y >= -9; };
  MousePress(splitter, {5, 1});
  MouseMove(splitter, {5, -9});
  const QPoint line = splitter->LinePos();
  MouseMove(splitter, {5, -29});
  EXPECT_TRUE(splitter->RefusalShown());
  EXPECT_EQ(splitter->LinePos(), line);
  MouseRelease(splitter, {5, -29});
  Relayout();
  EXPECT_EQ(bottom->height(), 60);
}

TEST_F(SplitterTest, FreedControlIsForgotten) {
  splitter->SetControlFirst(bottom);
  delete bottom;
  EXPECT_EQ(splitter->ControlFirst(), nullptr);
  EXPECT_FALSE(splitter->testAttribute(Qt::WA_SetCursor));
  MousePress(splitter, {5, 1});
  EXPECT_FALSE(splitter->Dragging());
}

TEST(Splitter, RightControlGrowsWhenDraggedLeft) {
  EnsureTestApplication();
  QWidget form;
  auto* layout = new QHBoxLayout(&form);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* left = new QWidget;
  auto* right = new QWidget;
  auto* splitter = new TRxSplitter;
  SetControlAlign(left, TAlign::alClient);
  SetControlAlign(right, TAlign::alRight);
  right->setFixedWidth(60);
  layout->addWidget(left, 1);
  layout->addWidget(splitter);
  layout->addWidget(right);
  form.resize(300, 200);
  form.show();
  layout->activate();
  // Found by its place: the control just right of the bar.
  splitter->SetAlign(TAlign::alRight);
  EXPECT_EQ(splitter->ControlFirst(), right);
  EXPECT_EQ(splitter->width(), 3);
  EXPECT_EQ(splitter->cursor().shape(), Qt::SplitHCursor);
  MousePress(splitter, {1, 50});
  MouseMove(splitter, {-24, 50});
  MouseRelease(splitter, {-24, 50});
  layout->activate();
  EXPECT_EQ(right->width(), 85);
}

}  // namespace
