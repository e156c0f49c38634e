#include "DErrorOrDebug.h"

#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>
#include <unordered_map>

#include "DlgTools.h"
#include "FormTexts.h"
#include "ProgramDir.h"
#include "SafeFile.h"
#include "SysUtils.h"
#include "uCharsets.h"
#include "uTools.h"
#include "uTransla.h"

int TDlgErrorOrDebug::RememberedPage = 0;

namespace {

// Design sizes of the form, in pixels.
constexpr int kClientWidth = 592;
constexpr int kClientHeight = 433;
constexpr int kMargin = 8;        // left of UebFehler, frFehler and labFehler
constexpr int kFrameHeight = 41;  // frFehler at least
constexpr int kBottomSpace = 45;  // below the page control
constexpr int kButtonGap = 7;
constexpr int kMinButtonWidth = 75;

QPlainTextEdit* MakeMemo(QWidget* parent, const char* name, bool fixedPitch, bool readOnly) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(QString::fromLatin1(name));
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setReadOnly(readOnly);
  if (fixedPitch) memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  return memo;
}

QWidget* MakePage(QTabWidget* tabs, const char* name, const char* caption) {
  auto* page = new QWidget;
  page->setObjectName(QString::fromLatin1(name));
  tabs->addTab(page, QUtf8(caption));
  return page;
}

// The lines as the memo's text: no line end after the last, so that the
// memo holds exactly one block per line.
QString MemoText(const std::vector<std::string>& lines) {
  QStringList shown;
  shown.reserve(qsizetype(lines.size()));
  for (const std::string& line : lines) shown.append(QStr(line));
  return shown.join(QLatin1Char('\n'));
}

void Fill(QPlainTextEdit* memo, const std::vector<std::string>* lines) {
  if (lines) memo->setPlainText(MemoText(*lines));
}

int ButtonWidth(const QPushButton* button) {
  return std::max(kMinButtonWidth, button->sizeHint().width());
}

std::string LoadScriptFile(const std::string& fileName) {
  std::string data;
  if (int err = ReadTrustedFile(NativePath(fileName), data))
    throw EInOutError(TranslateFmt("ErrorOrDebug.CannotLoad",
                                   "Die Datei \"%s\" kann nicht gelesen werden: %s",
                                   {fileName, ErrorReason(err)}));
  return data;
}

// A script saved by the dialog keeps the line ends the file had: LF for a
// file written on this system, CR LF otherwise.
std::string LineEndOf(const std::string& text) {
  size_t lf = text.find('\n');
  if (lf == std::string::npos) return "\r\n";
  return lf == 0 || text[lf - 1] != '\r' ? "\n" : "\r\n";
}

// Myers' diff in linear space, on the lines as numbers (equal lines, equal
// numbers): the searches from both ends of a part meet on a shortest edit
// script where each has made about half of its changes, and the parts before
// and after that point are compared alike. Time grows with the lines times
// the changes, memory with the lines only.
class LineDiff {
public:
  LineDiff(const std::vector<int>& a, const std::vector<int>& b)
      : a_(a), b_(b), match_(a.size(), -1), forward_(a.size() + b.size() + 3),
        backward_(forward_.size()) {
    Compare(0, ptrdiff_t(a.size()), 0, ptrdiff_t(b.size()));
  }
  // For each of the lines A, its line of B or -1.
  const std::vector<int>& Match() const { return match_; }

private:
  // Matches a[x0, x1) against b[y0, y1).
  void Compare(ptrdiff_t x0, ptrdiff_t x1, ptrdiff_t y0, ptrdiff_t y1) {
    while (x0 < x1 && y0 < y1 && A(x0) == B(y0)) match_[size_t(x0++)] = int(y0++);
    while (x0 < x1 && y0 < y1 && A(x1 - 1) == B(y1 - 1)) match_[size_t(--x1)] = int(--y1);
    if (x0 == x1 || y0 == y1) return;
    const auto [x, y] = Middle(x0, x1, y0, y1);
    Compare(x0, x, y0, y);
    Compare(x, x1, y, y1);
  }

  // A point of a shortest edit script of the part with about half of its
  // changes on either side: where the searches from both ends first meet.
  // Each keeps, per diagonal k = x - y, the furthest x it reached with one
  // change per step; a value past the part's edge may stay, but cannot meet
  // the other search before a shorter script would have.
  std::pair<ptrdiff_t, ptrdiff_t> Middle(ptrdiff_t x0, ptrdiff_t x1, ptrdiff_t y0, ptrdiff_t y1) {
    const ptrdiff_t kMin = x0 - y1, kMax = x1 - y0;
    const ptrdiff_t fMid = x0 - y0, bMid = x1 - y1;
    const bool odd = (fMid - bMid) % 2 != 0;
    // Indexed by diagonal, with room for a guard beyond kMin and kMax.
    ptrdiff_t* f = forward_.data() + b_.size() + 1;
    ptrdiff_t* b = backward_.data() + b_.size() + 1;
    ptrdiff_t fMin = fMid, fMax = fMid, bMin = bMid, bMax = bMid;
    f[fMid] = x0;
    b[bMid] = x1;
    // The diagonals one change more reaches: one more on each side inside the
    // part, with a guard beside them that is never taken; one fewer at its edge.
    auto widen = [&](ptrdiff_t* v, ptrdiff_t& lo, ptrdiff_t& hi, ptrdiff_t guard) {
      if (lo > kMin)
        v[--lo - 1] = guard;
      else
        ++lo;
      if (hi < kMax)
        v[++hi + 1] = guard;
      else
        --hi;
    };
    for (;;) {
      // One change more from the start.
      widen(f, fMin, fMax, -1);
      for (ptrdiff_t k = fMax; k >= fMin; k -= 2) {
        ptrdiff_t x = f[k - 1] >= f[k + 1] ? f[k - 1] + 1 : f[k + 1];
        ptrdiff_t y = x - k;
        while (x < x1 && y < y1 && A(x) == B(y)) ++x, ++y;
        f[k] = x;
        if (odd && bMin <= k && k <= bMax && b[k] <= x) return {x, y};
      }
      // And one more from the end.
      widen(b, bMin, bMax, PTRDIFF_MAX);
      for (ptrdiff_t k = bMax; k >= bMin; k -= 2) {
        ptrdiff_t x = b[k - 1] < b[k + 1] ? b[k - 1] : b[k + 1] - 1;
        ptrdiff_t y = x - k;
        while (x > x0 && y > y0 && A(x - 1) == B(y - 1)) --x, --y;
        b[k] = x;
        if (!odd && fMin <= k && k <= fMax && x <= f[k]) return {x, y};
      }
    }
  }

  int A(ptrdiff_t i) const { return a_[size_t(i)]; }
  int B(ptrdiff_t i) const { return b_[size_t(i)]; }

  const std::vector<int>& a_;
  const std::vector<int>& b_;
  std::vector<int> match_;
  std::vector<ptrdiff_t> forward_, backward_;
};

// For each of the lines A, the index of the line of B it was left as (-1 for
// a line changed or added): the longest common run of lines, so that lines
// inserted or deleted before a line do not count as changing it.
std::vector<int> MatchLines(const std::vector<std::string>& a,
                            const std::vector<std::string>& b) {
  // A line that only one side holds cannot be matched and is left out of the
  // comparison: a script changed throughout costs no search.
  std::unordered_map<std::string_view, int> number;
  for (const std::string& line : b) number.emplace(line, int(number.size()));
  std::vector<bool> inA(number.size());
  std::vector<int> posA, posB, numA, numB;
  for (size_t i = 0; i < a.size(); ++i) {
    if (auto it = number.find(a[i]); it != number.end()) {
      posA.push_back(int(i));
      numA.push_back(it->second);
      inA[size_t(it->second)] = true;
    }
  }
  for (size_t j = 0; j < b.size(); ++j) {
    if (int n = number.at(b[j]); inA[size_t(n)]) posB.push_back(int(j)), numB.push_back(n);
  }
  const LineDiff diff(numA, numB);
  std::vector<int> match(a.size(), -1);
  for (size_t i = 0; i < posA.size(); ++i)
    if (int j = diff.Match()[i]; j >= 0) match[size_t(posA[i])] = posB[size_t(j)];
  return match;
}

// The memo's lines (internal charset) as the bytes of the file as it stands,
// Before, in its encoding, which is found once. A line left as it was keeps
// its bytes, also where lines were inserted or deleted around it: the file may
// hold characters the internal charset or the display lack, shown as "?". A line
// moved or copied keeps them too where its text stands for one spelling only.
std::string EditorFileText(const std::vector<std::string>& lines, const std::string& before,
                           const std::string& eol) {
  const TEditorEncoding encoding = EditorTextEncoding(before);
  const std::string mark = encoding.byteOrderMark ? "\xEF\xBB\xBF" : "";
  std::vector<std::string> raw = SplitLines(std::string_view(before).substr(mark.size()));
  // The lines as the memo shows them: what the display cannot show comes
  // back from it as "?".
  std::vector<std::string> shown = SplitLines(EditorTextToInternal(before));
  if (raw.size() != shown.size()) raw.clear(), shown.clear();
  for (std::string& line : shown) line = InternalStr(QStr(line));
  const std::vector<int> match = MatchLines(lines, shown);

  std::map<std::string_view, const std::string*> spelling;  // null: more than one
  for (size_t i = 0; i < raw.size(); ++i) {
    auto [it, added] = spelling.emplace(shown[i], &raw[i]);
    if (!added && it->second && *it->second != raw[i]) it->second = nullptr;
  }
  std::string out = mark;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (match[i] >= 0) {
      out += raw[size_t(match[i])];
    } else if (auto it = spelling.find(lines[i]); it != spelling.end() && it->second) {
      out += *it->second;
    } else {
      out += InternalToEditorText(lines[i], encoding);
    }
    out += eol;
  }
  return out;
}

}  // namespace

TDlgErrorOrDebug::TDlgErrorOrDebug(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DlgErrorOrDebug"));
  setWindowTitle(QUtf8("Fehler beim Durchlaufen der \"Header.def\"!"));
  setSizeGripEnabled(true);
  setMinimumSize(420, 260);

  UebFehler = new QLabel(QUtf8("Fehlermeldung:"), this);
  UebFehler->setObjectName(QStringLiteral("UebFehler"));
  butRetry = MakeButton(this, "butRetry", "&Zeile noch einmal versuchen");
  butRetry->setEnabled(false);
  butEnde = MakeButton(this, "butEnde", "&Ende!");

  CreateErrorFrame();

  nb = new QTabWidget(this);
  nb->setObjectName(QStringLiteral("nb"));
  tsHeader = MakePage(nb, "tsHeader", "");
  tsText = MakePage(nb, "tsText", "Aktuelles Posting/Aktuelle Mail");
  TabSheet1 = MakePage(nb, "TabSheet1", "Gesamtskript");

  CreateFilePage();
  CreateTextPages();

  butNaechsteZeile = MakeButton(this, "butNaechsteZeile", "Nächste Zeile ausf.");
  butWeiter = MakeButton(this, "butWeiter", "Weiter");
  butSkip = MakeButton(this, "butSkip", "Zeile überspringen");

  ConnectHandlers();
  resize(kClientWidth, kClientHeight);
}

// The message of the stop, in a sunken frame.
void TDlgErrorOrDebug::CreateErrorFrame() {
  frFehler = new QFrame(this);
  frFehler->setObjectName(QStringLiteral("frFehler"));
  frFehler->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  labFehler = new QLabel(frFehler);
  labFehler->setObjectName(QStringLiteral("labFehler"));
  labFehler->setWordWrap(true);
  labFehler->setTextFormat(Qt::PlainText);
  labFehler->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  labFehler->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QFont bold = labFehler->font();
  bold.setBold(true);
  labFehler->setFont(bold);
  SetHint(labFehler,
          QUtf8("Die Erläuterung der korrekten Syntax finden\nsie in der Datei \"header.txt\""));
}

// The file page: the script above the information lines, the splitter
// between them, save and reload at the bottom.
void TDlgErrorOrDebug::CreateFilePage() {
  RxSplitter1 = new QSplitter(Qt::Vertical, tsHeader);
  RxSplitter1->setObjectName(QStringLiteral("RxSplitter1"));
  RxSplitter1->setChildrenCollapsible(false);
  mSkript = MakeMemo(RxSplitter1, "mSkript", true, false);
  mVars = MakeMemo(RxSplitter1, "mVars", false, true);
  RxSplitter1->addWidget(mSkript);
  RxSplitter1->addWidget(mVars);
  RxSplitter1->setStretchFactor(0, 3);
  RxSplitter1->setStretchFactor(1, 2);
  Panel2 = new QWidget(tsHeader);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  butSave = MakeButton(Panel2, "butSave", "&Speichern");
  butReLoad = MakeButton(Panel2, "butReLoad", "&Neu laden");
  auto* panelRow = new QHBoxLayout(Panel2);
  panelRow->setContentsMargins(0, 4, 10, 0);
  panelRow->setSpacing(5);
  panelRow->addStretch(1);
  panelRow->addWidget(butSave);
  panelRow->addWidget(butReLoad);
  auto* headerColumn = new QVBoxLayout(tsHeader);
  headerColumn->setContentsMargins(4, 4, 4, 4);
  headerColumn->setSpacing(0);
  headerColumn->addWidget(RxSplitter1, 1);
  headerColumn->addWidget(Panel2);
}

// The pages of the message and of the whole script.
void TDlgErrorOrDebug::CreateTextPages() {
  mText = MakeMemo(tsText, "mText", false, true);
  auto* textColumn = new QVBoxLayout(tsText);
  textColumn->setContentsMargins(4, 4, 4, 4);
  textColumn->addWidget(mText);

  mGesamt = MakeMemo(TabSheet1, "mGesamt", true, false);
  QPalette silver = mGesamt->palette();
  silver.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
  mGesamt->setPalette(silver);
  auto* wholeColumn = new QVBoxLayout(TabSheet1);
  wholeColumn->setContentsMargins(4, 4, 4, 4);
  wholeColumn->addWidget(mGesamt);
}

void TDlgErrorOrDebug::ConnectHandlers() {
  connect(butSave, &QPushButton::clicked, this, [this] { Guarded([this] { butSaveClick(); }); });
  connect(butReLoad, &QPushButton::clicked, this,
          [this] { Guarded([this] { butReLoadClick(); }); });
  connect(butRetry, &QPushButton::clicked, this, [this] { butRetryClick(); });
  connect(butNaechsteZeile, &QPushButton::clicked, this, [this] { butNaechsteZeileClick(); });
  connect(butWeiter, &QPushButton::clicked, this, [this] { butWeiterClick(); });
  connect(butSkip, &QPushButton::clicked, this, [this] { butSkipClick(); });
  connect(butEnde, &QPushButton::clicked, this, [this] { butEndeClick(); });
}

TDlgErrorOrDebug::~TDlgErrorOrDebug() { RememberedPage = nb->currentIndex(); }

void TDlgErrorOrDebug::Prepare(const std::string& fileName, const std::string& scriptName,
                               int lineNo, const std::string& errorMsg,
                               const std::vector<std::string>* scriptLines,
                               const std::vector<std::string>* infoLines,
                               const std::vector<std::string>* fileLines,
                               const std::vector<std::string>* textLines, int caretPos) {
  Fill(mGesamt, scriptLines);
  Fill(mVars, infoLines);
  Fill(mSkript, fileLines);
  if (fileLines) fileLines_ = *fileLines;
  lineNo_ = lineNo;
  caretPos_ = caretPos;
  Fill(mText, textLines);
  nb->setTabText(nb->indexOf(tsText), QUtf8("Datei: \"") + QStr(scriptName) + QLatin1Char('"'));
  FileName = fileName;
  nb->setTabText(nb->indexOf(tsHeader), QStr(fileName));
  labFehler->setText(QStr(errorMsg));

  if (!errorMsg.empty()) {
    RemoveButton(butWeiter);
    RemoveButton(butNaechsteZeile);
  } else {
    setWindowTitle(QUtf8("Debuggen..."));
    RemoveButton(butRetry);
    RemoveButton(butSkip);
  }
  Result = ErrorChoice::End;
  SetSaveButtons(false);

  if (labFehler->text().isEmpty()) {
    nbGrown_ = true;
    frFehler->hide();
    UebFehler->hide();
  }
  if (lineNo == 0) {
    setWindowTitle(QUtf8("Fehlermeldung"));
    nb->hide();
    if (butRetry) butRetry->hide();
    if (butSkip) butSkip->hide();
  }
  if (lineNo == 0) {
    // Only the message and the buttons: the form is as high as they need.
    FormResize();
    const int needed = labFehler->heightForWidth(labFehler->width()) + 8;
    const int room =
        frFehler->y() + std::max(needed, kFrameHeight) + 12 + butEnde->sizeHint().height() + 9;
    setMinimumHeight(std::min(room, minimumHeight()));
    resize(width(), std::min(room, kClientHeight));
  }
  // Edits count only from now on.
  connect(mSkript, &QPlainTextEdit::textChanged, this, [this] { mSkriptChange(); });
  connect(mGesamt, &QPlainTextEdit::textChanged, this, [this] { mSkriptChange(); });
  FormResize();
}

void TDlgErrorOrDebug::RemoveButton(QPushButton*& button) {
  if (!button) return;
  delete button;
  button = nullptr;
}

void TDlgErrorOrDebug::SetSaveButtons(bool enabled) {
  butSave->setEnabled(enabled);
  butReLoad->setEnabled(enabled);
}

void TDlgErrorOrDebug::Choose(uint8_t result) {
  Result = result;
  accept();
}

void TDlgErrorOrDebug::mSkriptChange() { SetSaveButtons(true); }

void TDlgErrorOrDebug::butSaveClick() {
  QString text = mSkript->toPlainText();
  // The file as it stands tells the line ends and the encoding to keep.
  std::string before;
  if (ReadWholeFile(NativePath(FileName), before) != 0) before.clear();
  const std::string eol = LineEndOf(before);
  std::vector<std::string> lines;
  if (!text.isEmpty()) {
    // Every line ends with a line end; a final one of the memo adds no line.
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    for (const QString& line : text.split(QLatin1Char('\n'))) lines.push_back(InternalStr(line));
  }
  ReplaceFileContent(NativePath(FileName), EditorFileText(lines, before, eol));
  SetSaveButtons(false);
  if (butRetry) butRetry->setEnabled(true);
}

void TDlgErrorOrDebug::butReLoadClick() {
  std::vector<std::string> lines = SplitLines(EditorTextToInternal(LoadScriptFile(FileName)));
  QSignalBlocker quiet(mSkript);
  mSkript->setPlainText(MemoText(lines));
  fileLines_ = std::move(lines);
  SetSaveButtons(false);
}

int TDlgErrorOrDebug::EditorPosition(int caretPos) const {
  const QTextDocument* doc = mSkript->document();
  int remaining = std::max(caretPos, 0);
  for (size_t i = 0; i < fileLines_.size(); ++i) {
    QTextBlock block = doc->findBlockByNumber(int(i));
    if (!block.isValid()) break;
    const std::string& line = fileLines_[i];
    const int length = hooks::Length(line);
    if (remaining <= length) {
      int column = int(QStr(hooks::Copy(line, 1, remaining)).size());
      return block.position() + std::min(column, block.length() - 1);
    }
    remaining -= length;
    // An offset inside the line end stands at the end of the line.
    if (remaining < 2) return block.position() + block.length() - 1;
    remaining -= 2;
  }
  return std::max(doc->characterCount() - 1, 0);
}

void TDlgErrorOrDebug::PlaceCaret() {
  QTextCursor cursor = mSkript->textCursor();
  cursor.setPosition(EditorPosition(caretPos_));
  mSkript->setTextCursor(cursor);
  // The current line about five lines below the top; a small line number
  // leaves the memo at its top.
  mSkript->verticalScrollBar()->setValue(std::max(lineNo_ - 5, 0));
}

void TDlgErrorOrDebug::FormActivate() {
  if (nb->isHidden()) return;
  if (RememberedPage >= 0 && RememberedPage < nb->count()) nb->setCurrentIndex(RememberedPage);
  if (RememberedPage == 0) mSkript->setFocus();
}

void TDlgErrorOrDebug::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (activated_) return;
  activated_ = true;
  FormResize();
  PlaceCaret();
  FormActivate();
}

void TDlgErrorOrDebug::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  FormResize();
}

void TDlgErrorOrDebug::FormResize() {
  const int w = width(), h = height();

  // The button row at the bottom, right to left.
  const int buttonHeight = butEnde->sizeHint().height();
  const int buttonTop = h - buttonHeight - 9;
  int right = w - kMargin;
  for (QPushButton* button : {butEnde, butSkip, butRetry, butNaechsteZeile, butWeiter}) {
    if (!button || button->isHidden()) continue;
    const int bw = ButtonWidth(button);
    button->setGeometry(right - bw, buttonTop, bw, buttonHeight);
    right -= bw + kButtonGap;
  }

  // The message: as high as its text needs, within the room it may take.
  UebFehler->move(kMargin, 6);
  UebFehler->adjustSize();
  const int frameTop = UebFehler->y() + UebFehler->height() + 2;
  const int frameWidth = w - UebFehler->x() - kMargin;
  const int labelWidth = std::max(frameWidth - kMargin - 5, 10);
  const int needed = labFehler->heightForWidth(labelWidth) + 8;
  const int room = nb->isHidden() ? buttonTop - 6 - frameTop : (h - frameTop) / 3;
  const int frameHeight = std::max(kFrameHeight, std::min(needed, room));
  frFehler->setGeometry(kMargin, frameTop, frameWidth, frameHeight);
  labFehler->setGeometry(kMargin, 4, labelWidth, frameHeight - 8);

  const int nbTop = nbGrown_ ? frameTop : frameTop + frameHeight + 6;
  const int nbHeight = std::max(h - nbTop - kBottomSpace, 40);
  nb->setGeometry(kMargin, nbTop, w - 2 * kMargin, nbHeight);
  const int varsHeight = nbHeight * 2 / 5;
  RxSplitter1->setSizes({std::max(nbHeight - varsHeight, 1), varsHeight});
}

void ShowErrorOrDebug(const std::string& FileName, const std::string& ScriptName, int LineNo,
                      const std::string& ErrorMsg, const std::vector<std::string>* ScriptLines,
                      const std::vector<std::string>* InfoLines,
                      const std::vector<std::string>* FileLines,
                      const std::vector<std::string>* TextLines, int CaretPos, uint8_t& State) {
  TDlgErrorOrDebug dialog;
  dialog.Prepare(FileName, ScriptName, LineNo, ErrorMsg, ScriptLines, InfoLines, FileLines,
                 TextLines, CaretPos);
  dialog.exec();
  State = dialog.Result;
}
