// A splitter bar between two aligned controls: dragging it resizes the one
// that has a fixed size.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <functional>

class QRubberBand;

// Where a control is docked in its parent. Qt widgets have no such notion of
// their own: the align that the splitter reasons about is stored on each
// control; the parent's layout must place the controls accordingly.
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
void SetControlAlign(QWidget* control, TAlign align);
TAlign ControlAlign(const QWidget* control);

class TRxSplitter : public QWidget {
  Q_OBJECT

public:
  explicit TRxSplitter(QWidget* parent = nullptr);
  ~TRxSplitter() override;

  QWidget* ControlFirst() const { return controlFirst_; }
  QWidget* ControlSecond() const { return controlSecond_; }
  // The splitter itself or a top-level window gives no control.
  void SetControlFirst(QWidget* control);
  void SetControlSecond(QWidget* control);

  TAlign Align() const { return ControlAlign(this); }
  // From none or client to a side makes the bar 3 pixels thick; with no
  // control set, the sibling just outside that side becomes ControlFirst.
  void SetAlign(TAlign align);

  // Minimum distances in pixels of the drag from the parent's edges.
  int TopLeftLimit = 20;
  int BottomRightLimit = 20;

  bool Dragging() const { return dragging_; }
  // Where the drag line was last drawn, in the coordinates of the window.
  QPoint LinePos() const { return linePos_; }
  bool RefusalShown() const { return refusalShown_; }

  // Asked before the line moves and before a drag is applied (X, Y in the
  // splitter's coordinates); clearing Allow keeps the line where it is.
  std::function<void(TRxSplitter* sender, int x, int y, bool& allow)> OnPosChanging;
  std::function<void(TRxSplitter* sender)> OnPosChanged;

  QSize sizeHint() const override { return {185, 3}; }

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  virtual void AskPositionChange(int x, int y, bool& allow);
  virtual void NotifyPositionChanged();

private:
  // 0 none, 1 ControlFirst's height, 2 ControlSecond's height, 3
  // ControlFirst's width, 4 ControlSecond's width.
  int SplitterKind() const;
  void UpdateCursor();
  void WatchControl(QWidget*& slot, QWidget* control);
  QPoint Clamped(QPoint p) const;
  void DrawLine(QPoint splitterPoint);
  void StopSizing(QPoint p, bool apply);

  QWidget* controlFirst_ = nullptr;
  QWidget* controlSecond_ = nullptr;
  bool dragging_ = false;
  int dragKind_ = 0;
  QPoint linePos_;
  bool lineShown_ = false;
  QPoint grabPoint_;
  bool refusalShown_ = false;
  QPoint lowBound_, highBound_;
  QWidget* form_ = nullptr;
  QPointer<QRubberBand> line_;  // owned by the window it is drawn on
  int lineWidth_ = 2;
};
