#include "RXSplit.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>

#include <algorithm>

namespace {

const char kAlignProperty[] = "tidelarnAlign";

bool Vertical(TAlign a) { return a == TAlign::alTop || a == TAlign::alBottom; }
bool Horizontal(TAlign a) { return a == TAlign::alLeft || a == TAlign::alRight; }

}  // namespace

void SetControlAlign(QWidget* control, TAlign align) {
  control->setProperty(kAlignProperty, static_cast<int>(align));
}

TAlign ControlAlign(const QWidget* control) {
  return static_cast<TAlign>(control->property(kAlignProperty).toInt());
}

TRxSplitter::TRxSplitter(QWidget* parent) : QWidget(parent) {
  resize(185, 3);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

TRxSplitter::~TRxSplitter() { delete line_; }

void TRxSplitter::WatchControl(QWidget*& slot, QWidget* control) {
  if (control == this || (control && control->isWindow())) control = nullptr;
  if (slot) disconnect(slot, &QObject::destroyed, this, nullptr);
  slot = control;
  // A control that goes away leaves the splitter without it.
  if (slot)
    connect(slot, &QObject::destroyed, this, [this](QObject* gone) {
      if (controlFirst_ == gone) controlFirst_ = nullptr;
      if (controlSecond_ == gone) controlSecond_ = nullptr;
      UpdateCursor();
    });
  UpdateCursor();
}

void TRxSplitter::SetControlFirst(QWidget* control) { WatchControl(controlFirst_, control); }
void TRxSplitter::SetControlSecond(QWidget* control) { WatchControl(controlSecond_, control); }

void TRxSplitter::SetAlign(TAlign align) {
  const TAlign old = Align();
  SetControlAlign(this, align);
  if (old == TAlign::alNone || old == TAlign::alClient) {
    if (Vertical(align)) {
      setFixedHeight(3);
      setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    } else if (Horizontal(align)) {
      setFixedWidth(3);
      setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    }
  }
  if (!controlFirst_ && !controlSecond_ && parentWidget()) {
    // The bar's new place, before looking beside it.
    if (QLayout* layout = parentWidget()->layout()) layout->activate();
    QPoint outside;
    switch (align) {
      case TAlign::alTop:
        outside = {x(), y() - 1};
        break;
      case TAlign::alBottom:
        outside = {x(), y() + height()};
        break;
      case TAlign::alLeft:
        outside = {x() - 1, y()};
        break;
      case TAlign::alRight:
        outside = {x() + width(), y()};
        break;
      default:
        UpdateCursor();
        return;
    }
    for (QWidget* sibling : parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (sibling != this && !sibling->isWindow() && sibling->geometry().contains(outside)) {
        SetControlFirst(sibling);
        break;
      }
  }
  UpdateCursor();
}

int TRxSplitter::SplitterKind() const {
  if (!controlFirst_) return 0;
  const TAlign first = ControlAlign(controlFirst_);
  const TAlign second = controlSecond_ ? ControlAlign(controlSecond_) : TAlign::alNone;
  const bool secondFree = !controlSecond_ || second == TAlign::alClient;
  int kind = 0;
  if (Vertical(first) && secondFree)
    kind = 1;
  else if (first == TAlign::alClient && Vertical(second))
    kind = 2;
  else if (Horizontal(first) && secondFree)
    kind = 3;
  else if (first == TAlign::alClient && Horizontal(second))
    kind = 4;
  // The bar must sit on the side of the control it resizes.
  if ((kind == 1 || kind == 3) && Align() != first) kind = 0;
  if ((kind == 2 || kind == 4) && Align() != second) kind = 0;
  return kind;
}

void TRxSplitter::UpdateCursor() {
  switch (SplitterKind()) {
    case 1:
    case 2:
      setCursor(Qt::SplitVCursor);
      break;
    case 3:
    case 4:
      setCursor(Qt::SplitHCursor);
      break;
    default:
      unsetCursor();
      break;
  }
}

void TRxSplitter::paintEvent(QPaintEvent*) {
  QPainter p(this);
  qDrawShadePanel(&p, rect(), palette(), false, 1, &palette().brush(QPalette::Button));
}

void TRxSplitter::AskPositionChange(int x, int y, bool& allow) {
  if (OnPosChanging) OnPosChanging(this, x, y, allow);
}

void TRxSplitter::NotifyPositionChanged() {
  if (OnPosChanged) OnPosChanged(this);
}

void TRxSplitter::mousePressEvent(QMouseEvent* event) {
  QWidget::mousePressEvent(event);
  QWidget* parent = parentWidget();
  if (event->button() != Qt::LeftButton || dragging_ || !parent) return;
  dragKind_ = SplitterKind();
  if (dragKind_ == 0) return;
  dragging_ = true;
  grabPoint_ = event->position().toPoint();
  // Hints stay off and Escape cancels while the drag lasts, whichever
  // control has the focus.
  qApp->installEventFilter(this);

  lowBound_ = mapFrom(parent, QPoint(TopLeftLimit, TopLeftLimit));
  highBound_ = mapFrom(
      parent, QPoint(parent->width() - BottomRightLimit, parent->height() - BottomRightLimit));
  form_ = window();
  const int thickness = dragKind_ <= 2 ? height() : width();
  lineWidth_ = thickness < 4 ? 2 : thickness - 2;
  line_ = new QRubberBand(QRubberBand::Line, form_);
  lineShown_ = false;
  DrawLine(QPoint(width() / 2, height() / 2));
}

QPoint TRxSplitter::Clamped(QPoint p) const {
  return {std::clamp(p.x(), lowBound_.x(), std::max(lowBound_.x(), highBound_.x())),
          std::clamp(p.y(), lowBound_.y(), std::max(lowBound_.y(), highBound_.y()))};
}

void TRxSplitter::mouseMoveEvent(QMouseEvent* event) {
  QWidget::mouseMoveEvent(event);
  if (!dragging_) return;
  const QPoint p = event->position().toPoint();
  bool allow = true;
  AskPositionChange(p.x(), p.y(), allow);
  if (!allow) {
    refusalShown_ = true;
    setCursor(Qt::ForbiddenCursor);
    return;
  }
  const QPoint c = Clamped(p);
  refusalShown_ = dragKind_ <= 2 ? c.y() != p.y() : c.x() != p.x();
  if (refusalShown_)
    setCursor(Qt::ForbiddenCursor);
  else
    UpdateCursor();
  DrawLine(QPoint(c.x() - grabPoint_.x() + width() / 2, c.y() - grabPoint_.y() + height() / 2));
}

void TRxSplitter::DrawLine(QPoint splitterPoint) {
  QWidget* parent = parentWidget();
  if (!form_ || !line_ || !parent) return;
  QPoint p = mapTo(form_, splitterPoint);
  const QPoint parentOrigin = parent->mapTo(form_, QPoint(0, 0));
  const QPoint origin = mapTo(form_, QPoint(0, 0));
  QRect band;
  if (dragKind_ <= 2) {
    p.setY(std::clamp(p.y(), parentOrigin.y(), parentOrigin.y() + parent->height()));
    if (lineShown_ && p.y() == linePos_.y()) return;
    band = QRect(origin.x(), p.y() - lineWidth_ / 2, width(), lineWidth_);
  } else {
    p.setX(std::clamp(p.x(), parentOrigin.x(), parentOrigin.x() + parent->width()));
    if (lineShown_ && p.x() == linePos_.x()) return;
    band = QRect(p.x() - lineWidth_ / 2, origin.y(), lineWidth_, height());
  }
  linePos_ = p;
  lineShown_ = true;
  line_->setGeometry(band);
  line_->show();
  line_->raise();
}

void TRxSplitter::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && dragging_) StopSizing(event->position().toPoint(), true);
  QWidget::mouseReleaseEvent(event);
}

bool TRxSplitter::eventFilter(QObject* watched, QEvent* event) {
  if (dragging_) {
    if (event->type() == QEvent::ToolTip) return true;
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      StopSizing(QPoint(), false);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TRxSplitter::StopSizing(QPoint p, bool apply) {
  qApp->removeEventFilter(this);
  bool allow = true;
  if (apply) AskPositionChange(p.x(), p.y(), allow);
  const QPoint lastLine = lineShown_ && form_ ? mapFrom(form_, linePos_) : QPoint();
  delete line_;
  line_ = nullptr;
  lineShown_ = false;

  QWidget* parent = parentWidget();
  QWidget* control = dragKind_ == 1 || dragKind_ == 3 ? controlFirst_ : controlSecond_;
  if (apply && parent && control) {
    if (!allow)
      p = QPoint(lastLine.x() + grabPoint_.x() - width() / 2,
                 lastLine.y() + grabPoint_.y() - height() / 2);
    p = Clamped(p);
    QPoint grab = grabPoint_;
    // Dragging toward a control docked right or bottom makes it smaller.
    auto docked = [this](TAlign a) {
      return (controlFirst_ && ControlAlign(controlFirst_) == a) ||
             (controlSecond_ && ControlAlign(controlSecond_) == a);
    };
    if (docked(TAlign::alRight)) {
      p.setX(-p.x());
      grab.setX(-grab.x());
    }
    if (docked(TAlign::alBottom)) {
      p.setY(-p.y());
      grab.setY(-grab.y());
    }
    if (dragKind_ <= 2) {
      int h = std::max(control->height() + p.y() - grab.y(), 1);
      const int room = parent->height() - height();
      if (h >= room) h = std::max(room - 3, 0);
      control->setFixedHeight(h);
    } else {
      int w = std::max(control->width() + p.x() - grab.x(), 1);
      const int room = parent->width() - width();
      if (w >= room) w = std::max(room - 3, 0);
      control->setFixedWidth(w);
    }
  }
  dragging_ = false;
  refusalShown_ = false;
  form_ = nullptr;
  UpdateCursor();
  if (apply) NotifyPositionChanged();
}
