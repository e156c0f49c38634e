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
#include <QTabBar>
#include <QVBoxLayout>

#include "DlgTools.h"
#include "FormTexts.h"
#include "SysUtils.h"
#include "uTools.h"
#include "uTransla.h"

namespace {

// The frame pieces an empty edit stands for; the bottom right corner is the
// acute accent alone.
const char kTopLeft[] = " ,";
const char kTopRight[] = ".";
const char kBottomLeft[] = " `";
const char kBottomRightUtf8[] = "´";
const char kLeft[] = "| ";
const char kRight[] = " |";
const char kLine[] = "-";

std::string Piece(const QLineEdit* edit, std::string_view standard) {
  std::string text = TakeInternalText(edit);
  return text.empty() ? std::string(standard) : text;
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
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

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

  GroupBox1 = new QGroupBox(QUtf8(" Erkennung: "), page);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  optText = new QRadioButton(QUtf8("für zitierten Text"), GroupBox1);
  optText->setObjectName(QStringLiteral("optText"));
  optDatei = new QRadioButton(QUtf8("für Datei"), GroupBox1);
  optDatei->setObjectName(QStringLiteral("optDatei"));
  labAnf = MakeLabel(GroupBox1, "labAnf", "Anfangszeile:");
  txtAnf = MakeEdit(GroupBox1, "txtAnf");
  labTr = MakeLabel(GroupBox1, "labTr", "Trenner Titel/Text:");
  txtTr = MakeEdit(GroupBox1, "txtTr");
  labEnd = MakeLabel(GroupBox1, "labEnd", "Endzeile:");
  txtEnd = MakeEdit(GroupBox1, "txtEnd");
  for (QWidget* w : std::initializer_list<QWidget*>{labTr, txtTr, labEnd, txtEnd})
    KeepSpaceWhenHidden(w);
  for (QLineEdit* edit : {txtAnf, txtTr, txtEnd})
    edit->setMinimumWidth(QFontMetrics(edit->font()).horizontalAdvance(QLatin1Char('x')) * 14);
  auto* recognition = new QGridLayout(GroupBox1);
  recognition->addWidget(optText, 0, 0, 1, 2);
  recognition->addWidget(optDatei, 1, 0, 1, 2);
  recognition->addWidget(labAnf, 2, 0);
  recognition->addWidget(txtAnf, 2, 1);
  recognition->addWidget(labTr, 3, 0);
  recognition->addWidget(txtTr, 3, 1);
  recognition->addWidget(labEnd, 4, 0);
  recognition->addWidget(txtEnd, 4, 1);
  recognition->setRowStretch(5, 1);
  recognition->setColumnStretch(1, 1);

  gbOptik = new QGroupBox(QUtf8("Optik: "), page);
  gbOptik->setObjectName(QStringLiteral("gbOptik"));
  Label6 = MakeLabel(gbOptik, "Label6", "Grundtyp:");
  cbTyp = new QComboBox(gbOptik);
  cbTyp->setObjectName(QStringLiteral("cbTyp"));
  cbTyp->addItems({QUtf8("Einfache Klammer"), QUtf8("Offener Kasten"), QUtf8("Geschl. Kasten")});
  auto piece = [&](const char* name) {
    QLineEdit* edit = MakeEdit(gbOptik, name);
    edit->setFont(fixed);
    edit->setFixedWidth(QFontMetrics(fixed).horizontalAdvance(QLatin1Char('M')) * 5 + 12);
    KeepSpaceWhenHidden(edit);
    return edit;
  };
  txtObLEck = piece("txtObLEck");
  txtOben = piece("txtOben");
  txtObREck = piece("txtObREck");
  txtLRand = piece("txtLRand");
  txtRRand = piece("txtRRand");
  txtUntLEck = piece("txtUntLEck");
  txtUnten = piece("txtUnten");
  txtUntREck = piece("txtUntREck");
  Label5 = MakeLabel(gbOptik, "Label5", "Titelumrandung (@=Titel):");
  txtTit = MakeEdit(gbOptik, "txtTit");
  txtTit->setFont(fixed);
  labBreiteO = MakeLabel(gbOptik, "labBreiteO", "Zeilenbreite oben:");
  txtBreiteO = MakeEdit(gbOptik, "txtBreiteO", 2);
  labBreiteU = MakeLabel(gbOptik, "labBreiteU", "unten:");
  txtBreiteU = MakeEdit(gbOptik, "txtBreiteU", 2);
  for (QLineEdit* edit : {txtBreiteO, txtBreiteU})
    edit->setFixedWidth(QFontMetrics(edit->font()).horizontalAdvance(QStringLiteral("000")) + 12);
  for (QWidget* w : std::initializer_list<QWidget*>{labBreiteO, txtBreiteO, labBreiteU, txtBreiteU})
    KeepSpaceWhenHidden(w);
  Button1 = MakeButton(gbOptik, "Button1", "Std.");
  Button2 = MakeButton(gbOptik, "Button2", "Fett");

  auto* frame = new QGridLayout;
  frame->setHorizontalSpacing(4);
  frame->addWidget(txtObLEck, 0, 0);
  frame->addWidget(txtOben, 0, 1);
  frame->addWidget(txtObREck, 0, 2);
  frame->addWidget(txtLRand, 1, 0);
  frame->addWidget(txtRRand, 1, 2);
  frame->addWidget(txtUntLEck, 2, 0);
  frame->addWidget(txtUnten, 2, 1);
  frame->addWidget(txtUntREck, 2, 2);
  auto* presets = new QVBoxLayout;
  presets->addWidget(Button1);
  presets->addWidget(Button2);
  presets->addStretch(1);
  auto* frameRow = new QHBoxLayout;
  frameRow->addLayout(frame);
  frameRow->addStretch(1);
  frameRow->addLayout(presets);
  auto* widths = new QHBoxLayout;
  widths->addWidget(labBreiteO);
  widths->addWidget(txtBreiteO);
  widths->addSpacing(8);
  widths->addWidget(labBreiteU);
  widths->addWidget(txtBreiteU);
  widths->addStretch(1);
  auto* look = new QGridLayout(gbOptik);
  look->addWidget(Label6, 0, 0);
  look->addWidget(cbTyp, 0, 1);
  look->addLayout(frameRow, 1, 0, 1, 2);
  look->addWidget(Label5, 2, 0);
  look->addWidget(txtTit, 2, 1);
  look->addLayout(widths, 3, 0, 1, 2);
  look->setColumnStretch(1, 1);

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

  auto preview = [this] { Guarded([this] { Preview(); }); };
  for (QLineEdit* edit : {txtAnf, txtTr, txtEnd, txtObLEck, txtObREck, txtUntLEck, txtUntREck,
                          txtLRand, txtRRand, txtOben, txtUnten, txtTit, txtBreiteO, txtBreiteU})
    connect(edit, &QLineEdit::textChanged, this, preview);
  connect(cbTyp, &QComboBox::currentIndexChanged, this, preview);
  connect(optText, &QRadioButton::toggled, this, preview);
  connect(tc, &QTabBar::currentChanged, this, [this] { Guarded([this] { tcChange(); }); });
  connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
  connect(Button2, &QPushButton::clicked, this, [this] { Guarded([this] { Button2Click(); }); });
  connect(butOk, &QPushButton::clicked, this, [this] { butOkClick(); });
  FormCreate();
}

void TDlgCfgBQ::FitTabs() {
  // Every tab stays in sight.
  const int wanted = tc->sizeHint().width() + 2 * layout()->contentsMargins().left();
  if (width() < wanted) resize(wanted, height());
}

TDlgCfgBQ::~TDlgCfgBQ() { FormDestroy(); }

void TDlgCfgBQ::FormCreate() { TranslateForm(this, "DlgBoxquotes", TranslationLines); }

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
  ShowInternalText(txtAnf, r.StartLine);
  ShowInternalText(txtTr, r.SepLine);
  ShowInternalText(txtEnd, r.EndLine);
  ShowInternalText(txtObLEck, r.TopLeft);
  ShowInternalText(txtObREck, r.TopRight);
  ShowInternalText(txtUntLEck, r.BottomLeft);
  ShowInternalText(txtUntREck, r.BottomRight);
  ShowInternalText(txtLRand, r.Left);
  ShowInternalText(txtRRand, r.Right);
  ShowInternalText(txtOben, r.Top);
  ShowInternalText(txtUnten, r.Bottom);
  ShowInternalText(txtBreiteO, IntToStr(r.WidthTop));
  ShowInternalText(txtBreiteU, IntToStr(r.WidthDown));
  ShowInternalText(txtTit, r.Title);
  Filled = true;
  Preview();
}

void TDlgCfgBQ::Preview() {
  if (!Filled) return;
  TBoxQuote& r = Current();

  r.FromFlag = optDatei->isChecked();
  // Without an entry the stored type stays.
  if (cbTyp->currentIndex() >= 0) r.BoxType = uint8_t(cbTyp->currentIndex());
  r.StartLine = TakeInternalText(txtAnf);
  r.SepLine = TakeInternalText(txtTr);
  r.EndLine = TakeInternalText(txtEnd);
  r.Title = TakeInternalText(txtTit);
  r.WidthTop = Width(txtBreiteO);
  r.WidthDown = Width(txtBreiteU);
  r.TopLeft = Piece(txtObLEck, kTopLeft);
  r.TopRight = Piece(txtObREck, kTopRight);
  r.BottomLeft = Piece(txtUntLEck, kBottomLeft);
  r.BottomRight = Piece(txtUntREck, FromUtf8(kBottomRightUtf8));
  r.Left = Piece(txtLRand, kLeft);
  r.Right = Piece(txtRRand, kRight);
  r.Top = Piece(txtOben, kLine);
  r.Bottom = Piece(txtUnten, kLine);

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
  r.TopLeft = kTopLeft;
  r.TopRight = kTopRight;
  r.BottomLeft = kBottomLeft;
  r.BottomRight = FromUtf8(kBottomRightUtf8);
  r.Left = kLeft;
  r.Right = kRight;
  r.Top = r.Bottom = kLine;
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
