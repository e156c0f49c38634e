#include "DCfgBQ.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>

#include <span>

#include "DlgTools.h"
#include "FormTexts.h"
#include "SysUtils.h"
#include "uTools.h"
#include "uTransla.h"

namespace {

// ---------------------------------------------------------------------------
// The edits of a style, each with its label and the field it edits: a text,
// or a line width (at least 1, an empty edit is 0).

struct TEditRow {
  QLabel* TDlgCfgBQ::*label;
  const char* labelName;
  const char* caption;
  QLineEdit* TDlgCfgBQ::*edit;
  const char* editName;
  std::string TBoxQuote::*text = nullptr;
  int32_t TBoxQuote::*width = nullptr;
};

// How the box is recognized.
const TEditRow kLines[] = {
    {&TDlgCfgBQ::labAnf, "labAnf", "Anfangszeile:", &TDlgCfgBQ::txtAnf, "txtAnf",
     &TBoxQuote::StartLine},
    {&TDlgCfgBQ::labTr, "labTr", "Trenner Titel/Text:", &TDlgCfgBQ::txtTr, "txtTr",
     &TBoxQuote::SepLine},
    {&TDlgCfgBQ::labEnd, "labEnd", "Endzeile:", &TDlgCfgBQ::txtEnd, "txtEnd", &TBoxQuote::EndLine},
};

// The look, under the frame.
const TEditRow kTitle[] = {
    {&TDlgCfgBQ::Label5, "Label5", "Titelumrandung (@=Titel):", &TDlgCfgBQ::txtTit, "txtTit",
     &TBoxQuote::Title},
};
const TEditRow kWidths[] = {
    {&TDlgCfgBQ::labBreiteO, "labBreiteO", "Zeilenbreite oben:", &TDlgCfgBQ::txtBreiteO,
     "txtBreiteO", nullptr, &TBoxQuote::WidthTop},
    {&TDlgCfgBQ::labBreiteU, "labBreiteU", "unten:", &TDlgCfgBQ::txtBreiteU, "txtBreiteU", nullptr,
     &TBoxQuote::WidthDown},
};

const std::span<const TEditRow> kEditTables[] = {kLines, kTitle, kWidths};

// The pieces of the frame in reading order: the edit, its place in the frame,
// the field and what an empty edit stands for (UTF-8; the bottom right corner
// is the acute accent alone).
struct TPieceRow {
  QLineEdit* TDlgCfgBQ::*edit;
  const char* name;
  int row, column;
  std::string TBoxQuote::*field;
  const char* standard;
};
const TPieceRow kPieces[] = {
    {&TDlgCfgBQ::txtObLEck, "txtObLEck", 0, 0, &TBoxQuote::TopLeft, " ,"},
    {&TDlgCfgBQ::txtOben, "txtOben", 0, 1, &TBoxQuote::Top, "-"},
    {&TDlgCfgBQ::txtObREck, "txtObREck", 0, 2, &TBoxQuote::TopRight, "."},
    {&TDlgCfgBQ::txtLRand, "txtLRand", 1, 0, &TBoxQuote::Left, "| "},
    {&TDlgCfgBQ::txtRRand, "txtRRand", 1, 2, &TBoxQuote::Right, " |"},
    {&TDlgCfgBQ::txtUntLEck, "txtUntLEck", 2, 0, &TBoxQuote::BottomLeft, " `"},
    {&TDlgCfgBQ::txtUnten, "txtUnten", 2, 1, &TBoxQuote::Bottom, "-"},
    {&TDlgCfgBQ::txtUntREck, "txtUntREck", 2, 2, &TBoxQuote::BottomRight, "´"},
};

// The label and edit of a row, in Parent.
void MakeEditRow(TDlgCfgBQ* dialog, QWidget* parent, const TEditRow& row, int maxLength = 0) {
  dialog->*row.label = MakeLabel(parent, row.labelName, row.caption);
  dialog->*row.edit = MakeEdit(parent, row.editName, maxLength);
}

std::string Piece(const QLineEdit* edit, const char* standardUtf8) {
  std::string text = TakeInternalText(edit);
  return text.empty() ? FromUtf8(standardUtf8) : text;
}

// A width: the number the edit holds, at least 1 (an empty edit is 0).
int32_t Width(const QLineEdit* edit) {
  int32_t width = StrToInt("0" + TakeInternalText(edit));
  return width < 1 ? 1 : width;
}

void KeepSpaceWhenHidden(QWidget* widget) {
  QSizePolicy policy = widget->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  widget->setSizePolicy(policy);
}

void ShowLines(QListWidget* list, const std::vector<std::string>& lines) {
  list->clear();
  for (const std::string& line : lines) list->addItem(QStr(line));
}

// A text for a tab, where "&" would mark a shortcut.
QString TabText(const std::string& internal) {
  return QStr(internal).replace(QLatin1Char('&'), QLatin1String("&&"));
}

}  // namespace

TDlgCfgBQ::TDlgCfgBQ(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DlgBoxquotes"));
  setWindowTitle(QUtf8("Einstellungen für \"Box-Quotes\""));

  tc = new QTabBar(this);
  tc->setObjectName(QStringLiteral("tc"));
  tc->setExpanding(false);
  for (int n = 1; n <= BoxQuoteStyles; ++n) tc->addTab(QStringLiteral("Def. %1").arg(n));
  auto* page = new QFrame(this);
  page->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);

  Label1 = MakeLabel(page, "Label1",
                     "Hinweis: Box-Quotes müssen gezielt aktiviert werden! (Konfiguration "
                     "\"Sonderfunktionen\")",
                     true);
  CreateRecognition(page);
  CreateLook(page);
  CreatePreview(page);
  for (QWidget* w : std::initializer_list<QWidget*>{gbOptik, gbPreview}) KeepSpaceWhenHidden(w);

  auto* groups = new QHBoxLayout;
  groups->addWidget(GroupBox1, 2);
  groups->addWidget(gbOptik, 3);
  auto* pageColumn = new QVBoxLayout(page);
  pageColumn->addWidget(Label1);
  pageColumn->addLayout(groups);
  pageColumn->addWidget(gbPreview, 1);

  auto* column = new QVBoxLayout(this);
  column->setSpacing(0);
  column->addWidget(tc);
  column->addWidget(page, 1);
  column->addSpacing(8);
  column->addLayout(MakeOkAbortRow(this, butOk, butAbort));

  ConnectHandlers();
  FormCreate();
}

void TDlgCfgBQ::CreateRecognition(QWidget* page) {
  GroupBox1 = new QGroupBox(QUtf8(" Erkennung: "), page);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  optText = new QRadioButton(QUtf8("für zitierten Text"), GroupBox1);
  optText->setObjectName(QStringLiteral("optText"));
  optDatei = new QRadioButton(QUtf8("für Datei"), GroupBox1);
  optDatei->setObjectName(QStringLiteral("optDatei"));
  for (const TEditRow& row : kLines) MakeEditRow(this, GroupBox1, row);
  for (QWidget* w : std::initializer_list<QWidget*>{labTr, txtTr, labEnd, txtEnd})
    KeepSpaceWhenHidden(w);

  auto* recognition = new QGridLayout(GroupBox1);
  recognition->addWidget(optText, 0, 0, 1, 2);
  recognition->addWidget(optDatei, 1, 0, 1, 2);
  int line = 2;
  for (const TEditRow& row : kLines) {
    QLineEdit* edit = this->*row.edit;
    edit->setMinimumWidth(QFontMetrics(edit->font()).horizontalAdvance(QLatin1Char('x')) * 14);
    recognition->addWidget(this->*row.label, line, 0);
    recognition->addWidget(edit, line++, 1);
  }
  recognition->setRowStretch(line, 1);
  recognition->setColumnStretch(1, 1);
}

void TDlgCfgBQ::CreateLook(QWidget* page) {
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  gbOptik = new QGroupBox(QUtf8("Optik: "), page);
  gbOptik->setObjectName(QStringLiteral("gbOptik"));
  Label6 = MakeLabel(gbOptik, "Label6", "Grundtyp:");
  cbTyp = new QComboBox(gbOptik);
  cbTyp->setObjectName(QStringLiteral("cbTyp"));
  auto* frame = new QGridLayout;
  frame->setHorizontalSpacing(4);
  for (const TPieceRow& piece : kPieces) {
    QLineEdit* edit = this->*piece.edit = MakeEdit(gbOptik, piece.name);
    edit->setFont(fixed);
    edit->setFixedWidth(QFontMetrics(fixed).horizontalAdvance(QLatin1Char('M')) * 5 + 12);
    KeepSpaceWhenHidden(edit);
    frame->addWidget(edit, piece.row, piece.column);
  }
  for (const TEditRow& row : kTitle) MakeEditRow(this, gbOptik, row);
  txtTit->setFont(fixed);
  auto* widths = new QHBoxLayout;
  for (const TEditRow& row : kWidths) {
    MakeEditRow(this, gbOptik, row, 2);
    QLineEdit* edit = this->*row.edit;
    edit->setFixedWidth(QFontMetrics(edit->font()).horizontalAdvance(QStringLiteral("000")) + 12);
    KeepSpaceWhenHidden(this->*row.label);
    KeepSpaceWhenHidden(edit);
    if (&row != kWidths) widths->addSpacing(8);
    widths->addWidget(this->*row.label);
    widths->addWidget(edit);
  }
  widths->addStretch(1);
  Button1 = MakeButton(gbOptik, "Button1", "Std.");
  Button2 = MakeButton(gbOptik, "Button2", "Fett");

  auto* presets = new QVBoxLayout;
  presets->addWidget(Button1);
  presets->addWidget(Button2);
  presets->addStretch(1);
  auto* frameRow = new QHBoxLayout;
  frameRow->addLayout(frame);
  frameRow->addStretch(1);
  frameRow->addLayout(presets);
  auto* look = new QGridLayout(gbOptik);
  look->addWidget(Label6, 0, 0);
  look->addWidget(cbTyp, 0, 1);
  look->addLayout(frameRow, 1, 0, 1, 2);
  look->addWidget(Label5, 2, 0);
  look->addWidget(txtTit, 2, 1);
  look->addLayout(widths, 3, 0, 1, 2);
  look->setColumnStretch(1, 1);
}

void TDlgCfgBQ::CreatePreview(QWidget* page) {
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  gbPreview = new QGroupBox(QUtf8("Beispiel:"), page);
  gbPreview->setObjectName(QStringLiteral("gbPreview"));
  lOrg = new QListWidget(gbPreview);
  lOrg->setObjectName(QStringLiteral("lOrg"));
  Label11 = MakeLabel(gbPreview, "Label11", "wird zu:");
  lErg = new QListWidget(gbPreview);
  lErg->setObjectName(QStringLiteral("lErg"));
  for (QListWidget* list : {lOrg, lErg}) {
    list->setFont(fixed);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFocusPolicy(Qt::NoFocus);
    list->setMinimumHeight(QFontMetrics(fixed).lineSpacing() * 9);
  }
  auto* example = new QHBoxLayout(gbPreview);
  example->addWidget(lOrg, 1);
  example->addWidget(Label11);
  example->addWidget(lErg, 1);
}

void TDlgCfgBQ::ConnectHandlers() {
  auto preview = [this] { Guarded([this] { Preview(); }); };
  for (std::span<const TEditRow> rows : kEditTables)
    for (const TEditRow& row : rows)
      connect(this->*row.edit, &QLineEdit::textChanged, this, preview);
  for (const TPieceRow& piece : kPieces)
    connect(this->*piece.edit, &QLineEdit::textChanged, this, preview);
  connect(cbTyp, &QComboBox::currentIndexChanged, this, preview);
  connect(optText, &QRadioButton::toggled, this, preview);
  connect(tc, &QTabBar::currentChanged, this, [this] { Guarded([this] { tcChange(); }); });
  connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
  connect(Button2, &QPushButton::clicked, this, [this] { Guarded([this] { Button2Click(); }); });
  connect(butOk, &QPushButton::clicked, this, [this] { butOkClick(); });
}

void TDlgCfgBQ::FitTabs() {
  // Every tab stays in sight.
  const int wanted = tc->sizeHint().width() + 2 * layout()->contentsMargins().left();
  if (width() < wanted) resize(wanted, height());
}

TDlgCfgBQ::~TDlgCfgBQ() { FormDestroy(); }

void TDlgCfgBQ::FormCreate() {
  TranslateForm(this, "DlgBoxquotes", TranslationLines);
  QSignalBlocker quiet(cbTyp);  // the style is not loaded yet
  for (const std::string& item :
       SplitLines(Text("TypeItems", "Einfache Klammer^mOffener Kasten^mGeschl. Kasten")))
    cbTyp->addItem(QStr(item));
}

void TDlgCfgBQ::FormDestroy() { TranslationLines.clear(); }

std::string TDlgCfgBQ::Text(const char* id, const char* germanDefault) const {
  return LookupTranslation(TranslationLines, id, germanDefault);
}

void TDlgCfgBQ::Execute(QWidget* owner) {
  TDlgCfgBQ dialog(owner);
  dialog.Load();
  if (dialog.exec() == QDialog::Accepted) dialog.Store();
}

void TDlgCfgBQ::Load() {
  LoadBoxQuotes();
  Styles = BoxQuotes;
  for (int i = 0; i < BoxQuoteStyles; ++i) SetTabCaption(i);
  ShowStyle();
  FitTabs();
}

void TDlgCfgBQ::Store() {
  BoxQuotes = Styles;
  WriteBoxQuoteSettings();
}

TBoxQuote& TDlgCfgBQ::Current() {
  int i = tc->currentIndex();
  return Styles[size_t(i >= 0 && i < BoxQuoteStyles ? i : 0)];
}

void TDlgCfgBQ::SetTabCaption(int index) {
  const std::string& start = Styles[size_t(index)].StartLine;
  tc->setTabText(index, start.empty() ? QStringLiteral("#%1").arg(index + 1) : TabText(start));
}

void TDlgCfgBQ::ShowStyle() {
  Filled = false;
  const TBoxQuote& r = Current();
  // A type the list does not offer shows no entry.
  cbTyp->setCurrentIndex(r.BoxType < cbTyp->count() ? r.BoxType : -1);
  optDatei->setChecked(r.FromFlag);
  optText->setChecked(!r.FromFlag);
  for (std::span<const TEditRow> rows : kEditTables)
    for (const TEditRow& row : rows)
      ShowInternalText(this->*row.edit, row.text ? r.*row.text : IntToStr(r.*row.width));
  for (const TPieceRow& piece : kPieces) ShowInternalText(this->*piece.edit, r.*piece.field);
  Filled = true;
  Preview();
}

void TDlgCfgBQ::Preview() {
  if (!Filled) return;
  TBoxQuote& r = Current();

  r.FromFlag = optDatei->isChecked();
  // Without an entry the stored type stays.
  if (cbTyp->currentIndex() >= 0) r.BoxType = uint8_t(cbTyp->currentIndex());
  for (std::span<const TEditRow> rows : kEditTables)
    for (const TEditRow& row : rows) {
      if (row.text)
        r.*row.text = TakeInternalText(this->*row.edit);
      else
        r.*row.width = Width(this->*row.edit);
    }
  for (const TPieceRow& piece : kPieces) r.*piece.field = Piece(this->*piece.edit, piece.standard);

  labAnf->setText(QStr(r.FromFlag ? Text("BeginOfLine", "Zeilenanfang:")
                                  : Text("First Line", "Anfangszeile:")));
  for (QWidget* w : std::initializer_list<QWidget*>{labTr, txtTr, labEnd, txtEnd})
    w->setVisible(!r.FromFlag);
  gbOptik->setVisible(r.Valid);
  gbPreview->setVisible(r.Valid);
  for (QWidget* w : std::initializer_list<QWidget*>{labBreiteO, txtBreiteO, labBreiteU, txtBreiteU})
    w->setVisible(r.BoxType == 0);
  for (QWidget* w : std::initializer_list<QWidget*>{txtObREck, txtUntREck, txtRRand})
    w->setVisible(r.BoxType == 2);

  std::string title;
  std::vector<std::string> text;
  if (r.FromFlag) {
    title = Text("FileExample.Title", "c:\\beispiel.ini");
    text =
        SplitLines(Text("FileExample.Text",
                        "[Setup]^mPfad=C:\\Beispiel^mUsername=Testuser^mLetzterZugriff=20001212"));
    ShowLines(lOrg, {r.StartLine + title});
  } else {
    title = Text("TextExample.Title", "Titel");
    text = SplitLines(
        Text("TextExample.Text", "Und hier folgt dann^mder Text...^m(Titel ist optional!)"));
    std::vector<std::string> original{r.StartLine, title, r.SepLine};
    original.insert(original.end(), text.begin(), text.end());
    original.push_back(r.EndLine);
    ShowLines(lOrg, original);
  }
  text.insert(text.begin(), std::string());
  text.emplace_back();
  DrawBoxQuote(title, r, text);
  ShowLines(lErg, text);

  SetTabCaption(tc->currentIndex());
}

void TDlgCfgBQ::Button1Click() {
  TBoxQuote& r = Current();
  for (const TPieceRow& piece : kPieces) r.*piece.field = FromUtf8(piece.standard);
  ShowStyle();
}

void TDlgCfgBQ::Button2Click() {
  TBoxQuote& r = Current();
  r.TopLeft = " /";
  r.TopRight = "\\";
  r.BottomLeft = " \\";
  r.BottomRight = "/";
  r.Left = "| ";
  r.Right = " |";
  r.Top = r.Bottom = "=";
  ShowStyle();
}

void TDlgCfgBQ::tcChange() { ShowStyle(); }

void TDlgCfgBQ::butOkClick() { accept(); }
