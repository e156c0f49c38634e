#include "RXCtrls.h"

#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>

#include "VCLUtils.h"

// ---------------------------------------------------------------------------
// Shared state pictures

int TGlyphList::AllocateIndex() {
  auto free = std::find(used_.begin(), used_.end(), false);
  const auto index = static_cast<size_t>(free - used_.begin());
  if (free == used_.end()) {
    used_.push_back(false);
    images_.emplace_back();
  }
  used_[index] = true;
  return static_cast<int>(index);
}

int TGlyphList::AddMasked(const QImage& image, QColor maskColor) {
  QImage masked = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb mask = maskColor.rgb();
  for (int y = 0; y < masked.height(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
    for (int x = 0; x < masked.width(); ++x)
      if ((line[x] | 0xFF000000u) == mask) line[x] = 0;
  }
  const int index = AllocateIndex();
  images_[static_cast<size_t>(index)] = std::move(masked);
  ++count_;
  return index;
}

void TGlyphList::Delete(int index) {
  if (index < 0 || static_cast<size_t>(index) >= used_.size() || !used_[static_cast<size_t>(index)])
    return;
  used_[static_cast<size_t>(index)] = false;
  images_[static_cast<size_t>(index)] = QImage();
  --count_;
}

TGlyphList* TGlyphCache::GetList(int width, int height) {
  for (auto it = lists_.rbegin(); it != lists_.rend(); ++it)
    if ((*it)->Width() == width && (*it)->Height() == height) return it->get();
  lists_.push_back(std::make_unique<TGlyphList>(width, height));
  return lists_.back().get();
}

void TGlyphCache::ReturnList(TGlyphList* list) {
  if (!list || list->Count() != 0) return;
  std::erase_if(lists_, [list](const auto& l) { return l.get() == list; });
}

namespace {

std::unique_ptr<TGlyphCache> gGlyphCache;
int gGlyphCount = 0;

QColor ButtonFace() { return QApplication::palette().color(QPalette::Button); }

}  // namespace

TGlyphCache* GlyphCache() { return gGlyphCache.get(); }

TRxButtonGlyph::TRxButtonGlyph() {
  if (!gGlyphCache) gGlyphCache = std::make_unique<TGlyphCache>();
  ++gGlyphCount;
}

TRxButtonGlyph::~TRxButtonGlyph() {
  Invalidate();
  if (--gGlyphCount == 0 && gGlyphCache->Empty()) gGlyphCache.reset();
}

void TRxButtonGlyph::Invalidate() {
  if (!list_) return;
  for (int& index : indexes_) {
    list_->Delete(index);
    index = -1;
  }
  gGlyphCache->ReturnList(list_);
  list_ = nullptr;
}

void TRxButtonGlyph::SetGlyph(const QImage& glyph) {
  Invalidate();
  original_ = glyph;
  if (glyph.width() > 0 && glyph.height() > 0) {
    TransparentColor = glyph.pixelColor(0, glyph.height() - 1);
    TransparentColor.setAlpha(255);
    if (glyph.width() % glyph.height() == 0) {
      const int n = glyph.width() / glyph.height();
      numGlyphs_ = n > 5 ? 1 : n;
    }
  }
  if (OnChange) OnChange();
}

void TRxButtonGlyph::SetNumGlyphs(int value) {
  value = std::clamp(value, 1, 5);
  if (value == numGlyphs_) return;
  Invalidate();
  numGlyphs_ = value;
  if (OnChange) OnChange();
}

int TRxButtonGlyph::CreateButtonGlyph(TRxButtonState state) {
  if (state == rbsDown && numGlyphs_ < 3) state = rbsUp;
  int& index = indexes_[state];
  if (index != -1) return index;
  if (original_.isNull() || original_.width() < numGlyphs_) return -1;
  const int w = original_.width() / numGlyphs_, h = original_.height();
  if (!list_) list_ = gGlyphCache->GetList(w, h);
  auto column = [&](int c) {
    return original_.copy(c * w, 0, w, h).convertToFormat(QImage::Format_ARGB32);
  };
  const QColor face = ButtonFace();
  switch (state) {
    case rbsUp:
    case rbsDown:
    case rbsExclusive:
      index = list_->AddMasked(column(state < numGlyphs_ ? state : 0), TransparentColor);
      break;
    case rbsDisabled:
      if (numGlyphs_ < 2)
        index = list_->AddMasked(MakeDisabledGlyph(column(0), TransparentColor), face);
      else
        index = list_->AddMasked(column(1), TransparentColor);
      break;
    case rbsInactive:
      if (numGlyphs_ < 5) {
        QImage grey = column(0);
        const QRgb keep1 = TransparentColor.rgb(), keep2 = face.rgb();
        for (int y = 0; y < h; ++y) {
          QRgb* line = reinterpret_cast<QRgb*>(grey.scanLine(y));
          for (int x = 0; x < w; ++x) {
            const QRgb px = line[x] | 0xFF000000u;
            if (qAlpha(line[x]) == 0 || px == keep1 || px == keep2) continue;
            const int g = (77 * qRed(px) + 150 * qGreen(px) + 29 * qBlue(px)) / 256;
            line[x] = qRgba(g, g, g, qAlpha(line[x]));
          }
        }
        index = list_->AddMasked(grey, TransparentColor);
      } else {
        index = list_->AddMasked(column(4), TransparentColor);
      }
      break;
  }
  return index;
}

// ---------------------------------------------------------------------------
// The button

TRxSpeedButton::TRxSpeedButton(QWidget* parent)
    : QWidget(parent), glyph_(std::make_unique<TRxButtonGlyph>()) {
  resize(25, 25);
  setFocusPolicy(Qt::NoFocus);
  glyph_->OnChange = [this] { update(); };
}

TRxSpeedButton::~TRxSpeedButton() = default;

void TRxSpeedButton::SetNumGlyphs(int value) { glyph_->SetNumGlyphs(value); }

void TRxSpeedButton::SetDown(bool value) {
  if (groupIndex_ == 0) value = false;
  if (value == down_ || (down_ && !allowAllUp_)) return;
  down_ = value;
  state_ = value ? rbsExclusive : rbsUp;
  update();
  if (value) UpdateExclusive();
}

void TRxSpeedButton::SetGroupIndex(int value) {
  if (value == groupIndex_) return;
  groupIndex_ = value;
  UpdateExclusive();
}

void TRxSpeedButton::UpdateExclusive() {
  if (groupIndex_ == 0 || !parentWidget()) return;
  for (auto* other : parentWidget()->findChildren<TRxSpeedButton*>(Qt::FindDirectChildrenOnly))
    if (other != this) other->ButtonPressed(this);
}

void TRxSpeedButton::ButtonPressed(TRxSpeedButton* sender) {
  if (sender->groupIndex_ != groupIndex_) return;
  if (sender->down_ && down_) {
    down_ = false;
    state_ = rbsUp;
    update();
  }
  allowAllUp_ = sender->allowAllUp_;
}

void TRxSpeedButton::SetFlat(bool value) {
  flat_ = value;
  update();
}

void TRxSpeedButton::SetGrayedInactive(bool value) {
  grayedInactive_ = value;
  update();
}

void TRxSpeedButton::SetTransparent(bool value) {
  transparent_ = value;
  update();
}

void TRxSpeedButton::SetStyle(TButtonStyle value) {
  style_ = value;
  update();
}

void TRxSpeedButton::SetMarkDropDown(bool value) {
  markDropDown_ = value;
  update();
}

void TRxSpeedButton::SetDropDownMenu(QMenu* menu) {
  dropDownMenu_ = menu;
  update();
}

void TRxSpeedButton::SetLayout(TButtonLayout value) {
  layout_ = value;
  update();
}

void TRxSpeedButton::SetMargin(int value) {
  margin_ = std::max(value, -1);
  update();
}

void TRxSpeedButton::SetSpacing(int value) {
  spacing_ = value;
  update();
}

void TRxSpeedButton::SetCaption(const QString& caption) {
  if (shortcutId_) releaseShortcut(shortcutId_);
  shortcutId_ = 0;
  caption_ = caption;
  const QKeySequence accelerator = QKeySequence::mnemonic(caption);
  if (!accelerator.isEmpty()) shortcutId_ = grabShortcut(accelerator);
  update();
}

void TRxSpeedButton::Click() {
  if (ModalResult != 0)
    if (auto* dialog = qobject_cast<QDialog*>(window())) dialog->done(ModalResult);
  if (OnClick) OnClick(this);
}

bool TRxSpeedButton::event(QEvent* event) {
  if (event->type() == QEvent::Shortcut) {
    if (isEnabled()) Click();
    return true;
  }
  return QWidget::event(event);
}

void TRxSpeedButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    if (!isEnabled()) {
      state_ = rbsDisabled;
      dragging_ = false;
      if (repeatTimer_) repeatTimer_->stop();
    } else if (state_ == rbsDisabled) {
      state_ = down_ && groupIndex_ != 0 ? rbsExclusive : rbsUp;
    }
    update();
  }
  QWidget::changeEvent(event);
}

namespace {

// One line of a raised or sunken frame; R shrinks by it.
void Frame3D(QPainter& p, QRect& r, QColor topLeft, QColor bottomRight) {
  p.setPen(topLeft);
  p.drawLine(r.left(), r.bottom(), r.left(), r.top());
  p.drawLine(r.left(), r.top(), r.right(), r.top());
  p.setPen(bottomRight);
  p.drawLine(r.right(), r.top(), r.right(), r.bottom());
  p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
  r.adjust(1, 1, -1, -1);
}

}  // namespace

void TRxSpeedButton::DrawFrame(QPainter& p, QRect& r, bool down) const {
  const QPalette& pal = palette();
  const QColor face = pal.color(QPalette::Button), light = pal.color(QPalette::Light),
               shadow = pal.color(QPalette::Dark), frame = pal.color(QPalette::Shadow);
  // Every supported desktop has the newer look.
  const bool newStyle = style_ != bsWin31;
  if (!down) {
    if (newStyle && !flat_) {
      Frame3D(p, r, light, frame);
      Frame3D(p, r, face, shadow);
    } else if (newStyle) {
      Frame3D(p, r, light, shadow);
    } else if (!flat_) {
      Frame3D(p, r, frame, frame);
      Frame3D(p, r, light, shadow);
    } else {
      Frame3D(p, r, light, frame);
    }
  } else {
    if (newStyle && !flat_) {
      Frame3D(p, r, frame, light);
      Frame3D(p, r, shadow, face);
    } else if (newStyle) {
      Frame3D(p, r, shadow, light);
    } else if (!flat_) {
      Frame3D(p, r, frame, frame);
      p.setPen(shadow);
      p.drawLine(r.left(), r.bottom(), r.left(), r.top());
      p.drawLine(r.left(), r.top(), r.right(), r.top());
      r.adjust(1, 1, 0, 0);
    } else {
      Frame3D(p, r, frame, light);
    }
  }
}

void TRxSpeedButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!isEnabled()) {
    state_ = rbsDisabled;
    dragging_ = false;
  }
  const TRxButtonState paintState = flat_ && !mouseInControl_ ? rbsInactive : state_;
  const QColor face = palette().color(QPalette::Button);
  QRect r = rect();
  // A transparent button lets Qt show what lies behind it.
  if (!transparent_) p.fillRect(r, face);
  const bool down = state_ == rbsDown || state_ == rbsExclusive;
  if (paintState != rbsInactive || state_ == rbsExclusive)
    DrawFrame(p, r, down);
  else
    r.adjust(2, 2, -2, -2);
  if (state_ == rbsExclusive && !transparent_ && (!flat_ || paintState == rbsInactive))
    p.fillRect(r, QBrush(palette().color(QPalette::Light), Qt::Dense4Pattern));
  if (down) r.translate(1, 1);
  PaintGlyph(p, r, paintState);
  if (markDropDown_ && dropDownMenu_) DrawDropDownMark(p, r);
}

void TRxSpeedButton::PaintGlyph(QPainter& p, const QRect& face, TRxButtonState state) {
  const int index =
      glyph_->CreateButtonGlyph(state == rbsInactive && !grayedInactive_ ? rbsUp : state);
  const QImage* image = index >= 0 ? &glyph_->List()->Image(index) : nullptr;
  const QSize g = image ? image->size() : QSize(0, 0);
  const int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
  const QSize t = caption_.isEmpty() ? QSize(0, 0) : fontMetrics().size(flags, caption_);
  const bool both = !g.isEmpty() && !t.isEmpty();
  QPoint glyphAt, textAt;
  if (layout_ == blGlyphLeft || layout_ == blGlyphRight) {
    const int total = g.width() + t.width() + (both ? spacing_ : 0);
    const int start = face.left() + (margin_ < 0 ? (face.width() - total) / 2 : margin_);
    const bool glyphFirst = layout_ == blGlyphLeft;
    glyphAt = {glyphFirst ? start : start + total - g.width(),
               face.top() + (face.height() - g.height()) / 2};
    textAt = {glyphFirst ? start + total - t.width() : start,
              face.top() + (face.height() - t.height()) / 2};
  } else {
    const int total = g.height() + t.height() + (both ? spacing_ : 0);
    const int start = face.top() + (margin_ < 0 ? (face.height() - total) / 2 : margin_);
    const bool glyphFirst = layout_ == blGlyphTop;
    glyphAt = {face.left() + (face.width() - g.width()) / 2,
               glyphFirst ? start : start + total - g.height()};
    textAt = {face.left() + (face.width() - t.width()) / 2,
              glyphFirst ? start + total - t.height() : start};
  }
  if (image) p.drawImage(glyphAt, *image);
  if (t.isEmpty()) return;
  const QRect textRect(textAt, t);
  if (state == rbsDisabled) {
    p.setPen(palette().color(QPalette::Light));
    p.drawText(textRect.translated(1, 1), flags, caption_);
    p.setPen(palette().color(QPalette::Dark));
  } else {
    p.setPen(palette().color(QPalette::ButtonText));
  }
  p.drawText(textRect, flags, caption_);
}

void TRxSpeedButton::DrawDropDownMark(QPainter& p, const QRect& face) const {
  const int x = face.right() - 9, y = face.top() + (face.height() - 4) / 2;
  auto triangle = [&](int dx, QColor color) {
    for (int row = 0; row < 4; ++row) p.fillRect(x + dx + row, y + dx + row, 7 - 2 * row, 1, color);
  };
  if (state_ == rbsDisabled) {
    triangle(1, palette().color(QPalette::Light));
    triangle(0, palette().color(QPalette::Dark));
  } else {
    triangle(0, palette().color(QPalette::ButtonText));
  }
}

void TRxSpeedButton::mousePressEvent(QMouseEvent* event) {
  QWidget::mousePressEvent(event);
  if (event->button() != Qt::LeftButton || !isEnabled() || menuTracking_) return;
  mouseInControl_ = true;
  if (!down_) {
    state_ = rbsDown;
    repaint();
  }
  dragging_ = true;
  if (dropDownMenu_) {
    menuTracking_ = true;
    dropDownMenu_->exec(mapToGlobal(QPoint(0, height())));
    menuTracking_ = false;
    dragging_ = false;
    state_ = down_ ? rbsExclusive : rbsUp;
    mouseInControl_ = underMouse();
    update();
    return;
  }
  if (AllowTimer) {
    if (!repeatTimer_) {
      repeatTimer_ = new QTimer(this);
      connect(repeatTimer_, &QTimer::timeout, this, &TRxSpeedButton::TimerTick);
    }
    repeatTimer_->start(500);
  }
}

void TRxSpeedButton::mouseMoveEvent(QMouseEvent* event) {
  QWidget::mouseMoveEvent(event);
  if (!dragging_) return;
  const bool inside = rect().contains(event->position().toPoint());
  const TRxButtonState wanted = down_ ? rbsExclusive : inside ? rbsDown : rbsUp;
  if (wanted != state_) {
    state_ = wanted;
    update();
  }
}

void TRxSpeedButton::mouseReleaseEvent(QMouseEvent* event) {
  QWidget::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !dragging_) return;
  if (repeatTimer_) repeatTimer_->stop();
  dragging_ = false;
  const bool inside = rect().contains(event->position().toPoint());
  if (groupIndex_ == 0) {
    state_ = rbsUp;
    mouseInControl_ = false;
  } else {
    if (inside) SetDown(!down_);
    state_ = down_ ? rbsExclusive : rbsUp;
  }
  update();
  if (inside) Click();
}

void TRxSpeedButton::TimerTick() {
  repeatTimer_->setInterval(RepeatInterval);
  if (state_ != rbsDown || !dragging_) return;
  try {
    Click();
  } catch (...) {
    repeatTimer_->stop();
    throw;
  }
}

void TRxSpeedButton::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  if (flat_ && !mouseInControl_ && isEnabled() && !dragging_) {
    mouseInControl_ = true;
    update();
  }
  if (OnMouseEnter) OnMouseEnter(this);
}

void TRxSpeedButton::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (flat_ && mouseInControl_ && isEnabled() && !dragging_) {
    mouseInControl_ = false;
    update();
  }
  if (OnMouseLeave) OnMouseLeave(this);
}
