// A button without focus that draws a glyph (and an optional caption) in five
// states, flat or raised, alone or in a group of mutually exclusive buttons,
// with a repeat timer and a drop-down menu. The state pictures of all glyphs
// live in shared lists, one per picture size.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QTimer;

enum TRxButtonState : int {
  rbsUp = 0,
  rbsDisabled = 1,
  rbsDown = 2,
  rbsExclusive = 3,
  rbsInactive = 4
};
enum TButtonStyle { bsAutoDetect, bsWin31, bsNew };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// Pictures of one size in numbered slots; a freed slot is used again.
class TGlyphList {
public:
  TGlyphList(int width, int height) : width_(width), height_(height) {}
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Slots in use.
  int Count() const { return count_; }
  int AllocateIndex();
  // Stores Image in a free slot with every pixel of MaskColor made transparent.
  int AddMasked(const QImage& image, QColor maskColor);
  void Delete(int index);
  const QImage& Image(int index) const { return images_[static_cast<size_t>(index)]; }

private:
  int width_, height_;
  std::vector<QImage> images_;
  std::vector<bool> used_;
  int count_ = 0;
};

// The lists of all glyphs, by size.
class TGlyphCache {
public:
  // The list of that size; made when there is none.
  TGlyphList* GetList(int width, int height);
  // Frees List when no slot of it is used any more.
  void ReturnList(TGlyphList* list);
  bool Empty() const { return lists_.empty(); }

private:
  std::vector<std::unique_ptr<TGlyphList>> lists_;
};

// The shared cache while any glyph exists; nullptr otherwise.
TGlyphCache* GlyphCache();

// A button's glyph: the source picture holds NumGlyphs pictures side by side
// (up, disabled, down, exclusive, inactive); the others are made on demand.
class TRxButtonGlyph {
public:
  TRxButtonGlyph();
  ~TRxButtonGlyph();
  TRxButtonGlyph(const TRxButtonGlyph&) = delete;
  TRxButtonGlyph& operator=(const TRxButtonGlyph&) = delete;

  const QImage& Glyph() const { return original_; }
  // A new picture drops the state pictures; its bottom-left pixel gives the
  // transparent colour; a width of 2 to 5 heights gives as many pictures.
  void SetGlyph(const QImage& glyph);
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int value);
  QColor TransparentColor{255, 0, 255};

  // The slot of the picture for State in List(), -1 without a glyph.
  int CreateButtonGlyph(TRxButtonState state);
  TGlyphList* List() const { return list_; }
  // Gives every state picture back to the list.
  void Invalidate();

  std::function<void()> OnChange;

private:
  QImage original_;
  TGlyphList* list_ = nullptr;
  int indexes_[5] = {-1, -1, -1, -1, -1};
  int numGlyphs_ = 1;
};

class TRxSpeedButton : public QWidget {
  Q_OBJECT

public:
  explicit TRxSpeedButton(QWidget* parent = nullptr);
  ~TRxSpeedButton() override;

  const QImage& Glyph() const { return glyph_->Glyph(); }
  void SetGlyph(const QImage& glyph) { glyph_->SetGlyph(glyph); }
  int NumGlyphs() const { return glyph_->NumGlyphs(); }
  void SetNumGlyphs(int value);

  TRxButtonState State() const { return state_; }
  bool Down() const { return down_; }
  // Only a grouped button can be down; a down one comes up only with
  // AllowAllUp; one that goes down releases the others of its group.
  void SetDown(bool value);
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int value);
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool value) { allowAllUp_ = value; }

  bool Flat() const { return flat_; }
  void SetFlat(bool value);
  bool GrayedInactive() const { return grayedInactive_; }
  void SetGrayedInactive(bool value);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  TButtonStyle Style() const { return style_; }
  void SetStyle(TButtonStyle value);
  bool MarkDropDown() const { return markDropDown_; }
  void SetMarkDropDown(bool value);
  QMenu* DropDownMenu() const { return dropDownMenu_; }
  void SetDropDownMenu(QMenu* menu);

  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout value);
  int Margin() const { return margin_; }  // -1: centred
  void SetMargin(int value);
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);
  const QString& Caption() const { return caption_; }
  // "&" marks the accelerator, which clicks the button.
  void SetCaption(const QString& caption);

  bool AllowTimer = false;
  int RepeatInterval = 100;  // ms between repeated clicks after the first pause
  // Ends the dialog the button is in with this result when not 0.
  int ModalResult = 0;

  bool MouseInControl() const { return mouseInControl_; }

  // Parent's dialog result, then OnClick.
  virtual void Click();

  std::function<void(TRxSpeedButton*)> OnClick;
  std::function<void(TRxSpeedButton*)> OnMouseEnter;
  std::function<void(TRxSpeedButton*)> OnMouseLeave;

  QSize sizeHint() const override { return {25, 25}; }

protected:
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  // Draws glyph and caption for State into Face.
  virtual void PaintGlyph(QPainter& painter, const QRect& face, TRxButtonState state);

  TRxButtonState state_ = rbsUp;

private:
  void TimerTick();
  void UpdateExclusive();
  void ButtonPressed(TRxSpeedButton* sender);
  void DrawFrame(QPainter& p, QRect& r, bool down) const;
  void DrawDropDownMark(QPainter& p, const QRect& face) const;

  std::unique_ptr<TRxButtonGlyph> glyph_;
  bool down_ = false;
  int groupIndex_ = 0;
  bool allowAllUp_ = false;
  bool flat_ = false;
  bool grayedInactive_ = true;
  bool transparent_ = false;
  TButtonStyle style_ = bsAutoDetect;
  bool markDropDown_ = true;
  QMenu* dropDownMenu_ = nullptr;
  TButtonLayout layout_ = blGlyphTop;
  int margin_ = -1;
  int spacing_ = 1;
  QString caption_;
  int shortcutId_ = 0;
  QTimer* repeatTimer_ = nullptr;
  bool mouseInControl_ = false;
  bool dragging_ = false;
  bool menuTracking_ = false;
};
