#include "DCfgFN.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "DlgTools.h"
#include "FormTexts.h"
#include "SysUtils.h"
#include "uEinstellungen.h"
#include "uTransla.h"

namespace {

// Below this a wrap width makes no sense: the standard width is taken.
constexpr int32_t kMinWrapWidth = 50;
constexpr int32_t kStandardWrapWidth = 72;

QLabel* Heading(QWidget* parent, const char* name, const char* caption) {
  QLabel* label = MakeLabel(parent, name, caption);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

}  // namespace

TDlgCfgFN::TDlgCfgFN(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DlgFootnotes"));
  setWindowTitle(QUtf8("Einstellungen für Fußnoten"));

  QLabel* recognition = Heading(this, "Label1", "Erkennung:");
  txtAnfang = MakeEdit(this, "txtAnfang");
  txtEnde = MakeEdit(this, "txtEnde");
  txtCRLF = MakeEdit(this, "txtCRLF");
  QLabel* display = Heading(this, "Label4", "Anzeige:");
  txtBreite = MakeEdit(this, "txtBreite");
  txtBreite->setFixedWidth(
      QFontMetrics(txtBreite->font()).horizontalAdvance(QStringLiteral("00000")) + 12);
  cbPosition = new QComboBox(this);
  cbPosition->setObjectName(QStringLiteral("cbPosition"));
  txtTitel = MakeEdit(this, "txtTitel");
  chkUnterstr = new QCheckBox(QUtf8("unterstreichen mit:"), this);
  chkUnterstr->setObjectName(QStringLiteral("chkUnterstr"));
  txtUnterstr = MakeEdit(this, "txtUnterstr", 1);
  txtUnterstr->setFixedWidth(
      QFontMetrics(txtUnterstr->font()).horizontalAdvance(QStringLiteral("MM")) + 12);
  chkTitelLeerzeile = new QCheckBox(QUtf8("danach Leerzeile"), this);
  chkTitelLeerzeile->setObjectName(QStringLiteral("chkTitelLeerzeile"));
  Label5 = MakeLabel(this, "Label5",
                     "Hinweis: Zur praktischen Nutzung muß die Funktionalität noch mittels "
                     "\"Sonderfunktionen\" gezielt aktiviert werden!",
                     true);
  // The title's options keep their place while the title is empty.
  for (QWidget* w : std::initializer_list<QWidget*>{chkUnterstr, txtUnterstr, chkTitelLeerzeile}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
  }

  auto* grid = new QGridLayout;
  grid->addWidget(recognition, 0, 0, 1, 4);
  grid->addWidget(MakeLabel(this, "Label2", "Einleitung ="), 1, 0);
  grid->addWidget(txtAnfang, 1, 1);
  grid->addWidget(MakeLabel(this, "Label3", "Ende ="), 1, 2, Qt::AlignRight);
  grid->addWidget(txtEnde, 1, 3);
  grid->addWidget(
      MakeLabel(this, "Label6", "Platzhalter für Zeilenwechsel innerhalb der Fußnoten:"), 2, 0, 1,
      3);
  grid->addWidget(txtCRLF, 2, 3);
  grid->setRowMinimumHeight(3, 8);
  grid->addWidget(display, 4, 0, 1, 4);
  auto* wrap = new QHBoxLayout;
  wrap->addWidget(MakeLabel(this, "Label7", "Automatischer Umbruch   -   Zeilenbreite:"));
  wrap->addWidget(txtBreite);
  wrap->addStretch(1);
  grid->addLayout(wrap, 5, 0, 1, 4);
  grid->addWidget(MakeLabel(this, "Label8", "Position:"), 6, 0);
  grid->addWidget(cbPosition, 6, 1, 1, 3);
  grid->addWidget(MakeLabel(this, "Label9", "Fußnotenüberschrift:"), 7, 0);
  grid->addWidget(txtTitel, 7, 1, 1, 3);
  auto* titleOptions = new QHBoxLayout;
  titleOptions->addWidget(chkUnterstr);
  titleOptions->addWidget(txtUnterstr);
  titleOptions->addSpacing(12);
  titleOptions->addWidget(chkTitelLeerzeile);
  titleOptions->addStretch(1);
  grid->addLayout(titleOptions, 8, 1, 1, 3);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);

  LayOutGridDialog(this, grid, Label5, butOk, butAbort);

  connect(txtTitel, &QLineEdit::textChanged, this, [this] { txtTitelChange(); });
  connect(chkUnterstr, &QCheckBox::toggled, this, [this] { txtTitelChange(); });
  connect(chkTitelLeerzeile, &QCheckBox::toggled, this, [this] { txtTitelChange(); });
  connect(butOk, &QPushButton::clicked, this, [this] { butOkClick(); });
  FormCreate();
  resize(sizeHint().expandedTo(QSize(470, 0)));
}

TDlgCfgFN::~TDlgCfgFN() { FormDestroy(); }

void TDlgCfgFN::FormCreate() {
  TranslateForm(this, "DlgFootnotes", TranslationLines);
  for (const std::string& item : SplitLines(LookupTranslation(
           TranslationLines, "PositionItems", "oberhalb der \"Lines\"^munterhalb der \"Lines\"")))
    cbPosition->addItem(QStr(item));
}

void TDlgCfgFN::FormDestroy() { TranslationLines.clear(); }

void TDlgCfgFN::Execute(QWidget* owner) {
  TDlgCfgFN dialog(owner);
  dialog.Load();
  if (dialog.exec() == QDialog::Accepted) dialog.Store();
}

void TDlgCfgFN::Load() {
  LoadFootnotes();
  ShowInternalText(txtAnfang, Footnotes.BeginMark);
  ShowInternalText(txtEnde, Footnotes.EndMark);
  ShowInternalText(txtCRLF, Footnotes.LineBreakMark);
  cbPosition->setCurrentIndex(Footnotes.Position < cbPosition->count() ? Footnotes.Position : -1);
  ShowInternalText(txtTitel, Footnotes.Title);
  ShowInternalText(txtBreite, IntToStr(Footnotes.WrapWidth));
  chkUnterstr->setChecked(Footnotes.Underline);
  ShowInternalText(txtUnterstr, std::string(1, Footnotes.UnderlineChar));
  chkTitelLeerzeile->setChecked(Footnotes.TitleEmptyLine);
  txtTitelChange();
}

void TDlgCfgFN::Store() {
  int32_t width = StrToInt("0" + TakeInternalText(txtBreite));
  Footnotes.BeginMark = TakeInternalText(txtAnfang);
  Footnotes.EndMark = TakeInternalText(txtEnde);
  Footnotes.LineBreakMark = TakeInternalText(txtCRLF);
  Footnotes.Title = TakeInternalText(txtTitel);
  Footnotes.WrapWidth = width < kMinWrapWidth ? kStandardWrapWidth : width;
  Footnotes.Underline = chkUnterstr->isChecked();
  Footnotes.UnderlineChar = (TakeInternalText(txtUnterstr) + "=")[0];
  Footnotes.TitleEmptyLine = chkTitelLeerzeile->isChecked();
  // Without an entry the stored position stays.
  if (cbPosition->currentIndex() >= 0) Footnotes.Position = uint8_t(cbPosition->currentIndex());
  WriteFootNoteSettings();
}

void TDlgCfgFN::butOkClick() { accept(); }

void TDlgCfgFN::txtTitelChange() {
  const bool title = !Trim(TakeInternalText(txtTitel)).empty();
  chkUnterstr->setVisible(title);
  txtUnterstr->setVisible(title);
  chkTitelLeerzeile->setVisible(title);
  txtUnterstr->setEnabled(chkUnterstr->isChecked());
}
