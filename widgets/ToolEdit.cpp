#include "ToolEdit.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyle>
#include <QUrl>

#include "FileUtil.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "RxStrUtils.h"
#include "Translate.h"
#include "VCLUtils.h"

namespace {

QString Ui(std::string_view internal) { return QString::fromStdString(ToUtf8(internal)); }
std::string Internal(const QString& text) { return FromUtf8(text.toStdString()); }

// An open folder; the bottom-left pixel gives the transparent colour.
// clang-format off
const char* const kFEditBmp[] = {
    "15 12 5 1",
    "  c #FF00FF",
    ". c #000000",
    "y c #FFD75A",
    "d c #C8962D",
    "w c #FFF5B4",
    "               ",
    " ....          ",
    ".wwww.         ",
    ".wyyyy......   ",
    ".wyyyyyyyyyy.  ",
    ".wyy...........",
    ".wy.ddddddddd. ",
    ".w.ddddddddd.  ",
    "..ddddddddd.   ",
    ".ddddddddd.    ",
    "..........     ",
    "               ",
};
// clang-format on

// The arrow of a drop-down list.
QImage DropDownGlyph() {
  QImage image(7, 4, QImage::Format_RGB32);
  image.fill(QColor(255, 0, 255));
  for (int row = 0; row < 4; ++row)
    for (int x = row; x < 7 - row; ++x) image.setPixel(x, row, qRgb(0, 0, 0));
  return image;
}

// Three dots of 2 x 2 pixels, centred in a picture 6 pixels narrower than the
// button.
QImage EllipsisGlyph(int buttonWidth) {
  const int w = std::max(1, buttonWidth - 6);
  QImage image(w, 4, QImage::Format_RGB32);
  image.fill(Qt::white);
  const int gap = std::clamp((w - 6) / 2, 1, 3);
  const int start = (w - (6 + 2 * gap)) / 2;
  for (int dot = 0; dot < 3; ++dot)
    for (int x = 0; x < 2; ++x)
      for (int y = 1; y < 3; ++y) {
        const int px = start + dot * (2 + gap) + x;
        if (px >= 0 && px < w) image.setPixel(px, y, qRgb(0, 0, 0));
      }
  return image;
}

// A name with a blank goes in double quotes, so that it reads back whole.
QString Quoted(const QString& name) {
  if (name.contains(QLatin1Char(' ')) && !name.startsWith(QLatin1Char('"')))
    return QLatin1Char('"') + name + QLatin1Char('"');
  return name;
}

// The file an edit's text names: the text itself when such a file exists,
// else its first word.
QString ClipFileName(const QString& text) {
  const std::string bytes = PathBytes(text);
  if (FileExists(bytes)) return text;
  std::string program, params;
  SplitProgramAndParams(bytes, program, params);
  return PathString(program);
}

// Delphi-style filter pairs as Qt name filters. Linux names need no dot, so
// "*.*" means every file.
QStringList NameFilters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    if (description.endsWith(QLatin1Char(')')) && description.contains(QLatin1Char('(')))
      description = description.left(description.lastIndexOf(QLatin1Char('('))).trimmed();
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
      patterns << (p.trimmed() == QLatin1String("*.*") ? QStringLiteral("*") : p.trimmed());
    result << description + QLatin1String(" (") + patterns.join(QLatin1Char(' ')) +
                  QLatin1Char(')');
  }
  return result;
}

}  // namespace

// ---------------------------------------------------------------------------
// The button

TEditButton::TEditButton(TCustomComboEdit* edit, QWidget* parent)
    : TRxSpeedButton(parent), edit_(edit) {
  // Not the text cursor of the edit around it.
  setCursor(Qt::ArrowCursor);
}

void TEditButton::paintEvent(QPaintEvent* event) {
  TRxSpeedButton::paintEvent(event);
  if (state_ == rbsDown) return;
  QPainter p(this);
  p.setPen(palette().color(QPalette::Button));
  p.drawLine(0, 0, 0, height() - 1);
  p.setPen(palette().color(QPalette::Light));
  p.drawLine(1, 1, 1, height() - 2);
}

void TEditButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && !edit_->hasFocus() &&
      edit_->focusPolicy() != Qt::NoFocus && edit_->isEnabled())
    edit_->setFocus(Qt::MouseFocusReason);
  TRxSpeedButton::mousePressEvent(event);
}

// ---------------------------------------------------------------------------
// The combo edit

TCustomComboEdit::TCustomComboEdit(QWidget* parent) : QLineEdit(parent) {
  container_ = new QWidget(this);
  container_->resize(21, 17);
  button_ = new TEditButton(this, container_);
  button_->OnClick = [this](TRxSpeedButton*) { EditButtonClick(); };
  UpdateButtonPosition();
}

int TCustomComboEdit::ButtonWidth() const { return container_->width(); }

void TCustomComboEdit::SetButtonWidth(int width) {
  container_->resize(std::max(width, 0), container_->height());
  UpdateButtonPosition();
}

void TCustomComboEdit::UpdateButtonPosition() {
  const int frame =
      hasFrame() ? style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) : 0;
  const int w = container_->width();
  container_->setGeometry(width() - w - frame, frame, w, std::max(height() - 2 * frame, 0));
  button_->setGeometry(0, 0, w, container_->height());
  // The text never runs under the button.
  setTextMargins(0, 0, w, 0);
}

void TCustomComboEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  UpdateButtonPosition();
}

void TCustomComboEdit::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::StyleChange) UpdateButtonPosition();
}

void TCustomComboEdit::keyPressEvent(QKeyEvent* event) {
  const QKeySequence pressed(
      QKeyCombination(event->modifiers() & ~Qt::KeypadModifier, Qt::Key(event->key())));
  if (pressed == ClickKey && ButtonWidth() > 0) {
    EditButtonClick();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void TCustomComboEdit::SetReadOnly(bool value) {
  readOnly_ = value;
  UpdateReadOnly();
}

void TCustomComboEdit::SetDirectInput(bool value) {
  directInput_ = value;
  UpdateReadOnly();
}

void TCustomComboEdit::UpdateReadOnly() { setReadOnly(readOnly_ || !directInput_); }

void TCustomComboEdit::EditButtonClick() {
  if (readOnly_ && !AlwaysEnable) return;
  ButtonClick();
}

void TCustomComboEdit::ButtonClick() {
  if (OnButtonClick) OnButtonClick(this);
}

void TCustomComboEdit::TakeFocus() {
  if (isEnabled() && isVisible() && focusPolicy() != Qt::NoFocus) setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------
// File and directory edits

TFileDirEdit::TFileDirEdit(QWidget* parent) : TCustomComboEdit(parent) {
  setAcceptDrops(false);
  SetGlyphKind(gkDefault);
}

QImage TFileDirEdit::GetDefaultGlyph() const {
  static const QImage glyph = QImage(kFEditBmp).convertToFormat(QImage::Format_RGB32);
  return glyph;
}

void TFileDirEdit::SetGlyphKind(TGlyphKind kind) {
  glyphKind_ = kind;
  TEditButton* button = Button();
  switch (kind) {
    case gkDefault: {
      button->SetGlyph(GetDefaultGlyph());
      button->SetNumGlyphs(1);
      const QImage& glyph = button->Glyph();
      SetButtonWidth(LargerOf(glyph.width() / button->NumGlyphs() + 6, ButtonWidth()));
      break;
    }
    case gkDropDown:
      SetButtonWidth(style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this));
      button->SetGlyph(DropDownGlyph());
      break;
    case gkEllipsis:
      button->SetGlyph(EllipsisGlyph(ButtonWidth()));
      break;
    case gkCustom:
      break;
  }
}

void TFileDirEdit::SetAcceptFiles(bool value) {
  acceptFiles_ = value;
  setAcceptDrops(value);
}

namespace {

QStringList LocalFiles(const QMimeData* data) {
  QStringList files;
  if (!data || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  return files;
}

}  // namespace

void TFileDirEdit::dragEnterEvent(QDragEnterEvent* event) {
  if (acceptFiles_ && !LocalFiles(event->mimeData()).isEmpty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void TFileDirEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (acceptFiles_ && !LocalFiles(event->mimeData()).isEmpty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void TFileDirEdit::dropEvent(QDropEvent* event) {
  const QStringList files = acceptFiles_ ? LocalFiles(event->mimeData()) : QStringList();
  if (files.isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  ClearFileList();
  // Only the first file: neither edit takes several.
  try {
    ReceptFileDir(files.first());
  } catch (const Exception& e) {
    Prompter().MessageBox(e.Message(), "", mb::Ok | mb::IconStop);  // the program's title
  }
  if (OnDropFiles) OnDropFiles(this);
}

TFilenameEdit::TFilenameEdit(QWidget* parent) : TFileDirEdit(parent) {
  dialog_ = new QFileDialog(this);
  dialog_->setWindowTitle(Ui(Translate("ToolEdit.Browse", "Durchsuchen")));
  SetFilter(Ui(Translate("ToolEdit.AllFiles", "Alle Dateien (*.*)|*.*")));
}

QString TFilenameEdit::DialogTitle() const { return dialog_->windowTitle(); }
void TFilenameEdit::SetDialogTitle(const QString& title) { dialog_->setWindowTitle(title); }

void TFilenameEdit::SetFilter(const QString& filter) {
  filter_ = filter;
  dialog_->setNameFilters(NameFilters(filter));
}

QString TFilenameEdit::FileName() const { return ClipFileName(text()); }

void TFilenameEdit::SetFileName(const QString& value) {
  if (!value.isEmpty() && !ValidFileName(PathBytes(ClipFileName(value))))
    throw EComboEditError(
        TranslateFmt("ToolEdit.InvalidFileName", "Ungültiger Dateiname - %s", {Internal(value)}));
  setText(Quoted(value));
  ClearFileList();
}

QString TFilenameEdit::GetLongName() const {
  return PathString(LongFileName(PathBytes(FileName())));
}

QString TFilenameEdit::GetShortName() const {
  return PathString(ShortFileName(PathBytes(FileName())));
}

void TFilenameEdit::ReceptFileDir(const QString& name) { SetFileName(name); }

void TFilenameEdit::ClearFileList() { dialog_->selectFile(QString()); }

void TFilenameEdit::ButtonClick() {
  TFileDirEdit::ButtonClick();
  QString temp = FileName();
  bool action = true;
  if (OnBeforeDialog) OnBeforeDialog(this, temp, action);
  if (!action) return;

  QString selectName;
  if (ValidFileName(PathBytes(temp))) {
    const std::string path = NativePath(PathBytes(temp));
    const std::string dir = ExtractFilePath(path);
    if (!dir.empty() && DirectoryExists(dir)) InitialDir = PathString(dir);
    const std::string name = ExtractFileName(path);
    if (ValidFileName(name)) selectName = PathString(name);
  }
  const bool save = DialogKind == dkSave || DialogKind == dkSavePicture;
  dialog_->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog_->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog_->setDefaultSuffix(DefaultExt);
  if (!InitialDir.isEmpty()) dialog_->setDirectory(PathString(NativePath(PathBytes(InitialDir))));
  dialog_->selectFile(selectName);

  bool ok = dialog_->exec() == QDialog::Accepted && !dialog_->selectedFiles().isEmpty();
  const QString chosen = ok ? dialog_->selectedFiles().first() : QString();
  if (ok) temp = chosen;
  TakeFocus();
  if (OnAfterDialog) OnAfterDialog(this, temp, ok);
  if (!ok) return;
  setText(Quoted(temp));
  InitialDir = PathString(ExtractFilePath(PathBytes(chosen)));
}

TDirectoryEdit::TDirectoryEdit(QWidget* parent) : TFileDirEdit(parent) {}

namespace {

// Each folder of a ";"-separated list through Convert, joined again.
QString EachDir(const QString& text, std::string (*convert)(std::string_view)) {
  const std::string list = PathBytes(text);
  std::string result;
  for (int pos = 1; pos <= static_cast<int>(list.size());) {
    if (!result.empty()) result += ';';
    result += convert(ExtractSubstr(list, pos, ";"));
  }
  return PathString(result);
}

}  // namespace

QString TDirectoryEdit::GetLongName() const {
  return MultipleDirs ? EachDir(text(), LongFileName) : PathString(LongFileName(PathBytes(text())));
}

QString TDirectoryEdit::GetShortName() const {
  return MultipleDirs ? EachDir(text(), ShortFileName)
                      : PathString(ShortFileName(PathBytes(text())));
}

void TDirectoryEdit::ReceptFileDir(const QString& name) {
  const std::string bytes = PathBytes(name);
  const QString dir = FileExists(bytes) ? PathString(ExtractFilePath(bytes)) : name;
  if (MultipleDirs && !text().isEmpty())
    setText(text() + QLatin1Char(';') + dir);
  else
    setText(dir);
}

void TDirectoryEdit::ButtonClick() {
  TFileDirEdit::ButtonClick();
  QString temp = text();
  bool action = true;
  if (OnBeforeDialog) OnBeforeDialog(this, temp, action);
  if (!action) return;

  if (temp.isEmpty()) temp = InitialDir.isEmpty() ? QStringLiteral("\\") : InitialDir;
  if (!DirectoryExists(PathBytes(temp))) temp = QStringLiteral("\\");
  bool ok;
  if (DialogKind == dkWin32) {
    ok = BrowseDirectory(temp, DialogText, 0, this);
  } else {
    const QString chosen =
        QFileDialog::getExistingDirectory(this, QString(), PathString(NativePath(PathBytes(temp))));
    ok = !chosen.isEmpty();
    if (ok) temp = chosen;
  }
  TakeFocus();
  if (OnAfterDialog) OnAfterDialog(this, temp, ok);
  if (!ok) return;
  deselect();
  setText(MultipleDirs && !text().isEmpty() ? text() + QLatin1Char(';') + temp : temp);
  if (DirectoryExists(PathBytes(temp))) InitialDir = temp;
}
