#include "DDefCharsets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "DlgTools.h"
#include "FormTexts.h"
#include "uCharsets.h"
#include "uEinstellungen.h"
#include "uTransla.h"

namespace {

QComboBox* MakeList(QWidget* parent, const char* name) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(QString::fromLatin1(name));
  combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return combo;
}

// Selects the line equal to Value; a value not in the list selects the first.
void SelectLine(QComboBox* combo, const std::string& value) {
  int i = combo->findText(QStr(value), Qt::MatchExactly);
  combo->setCurrentIndex(i >= 0 ? i : combo->count() > 0 ? 0 : -1);
}

std::string SelectedLine(const QComboBox* combo) {
  return combo->currentIndex() >= 0 ? InternalStr(combo->currentText()) : std::string();
}

}  // namespace

TDlgDefCharsets::TDlgDefCharsets(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DlgDefCharsets"));
  setWindowTitle(QUtf8("Default-Zeichensatz-Einstellungen"));

  cbCSIntern = MakeList(this, "cbCSIntern");
  cbCSHeader = MakeList(this, "cbCSHeader");
  cbCSBody = MakeList(this, "cbCSBody");
  QLabel* note =
      MakeLabel(this, "Label4", "(wird für Signaturen, Zuweisungen in header.def etc. genutzt)");
  QFont small = note->font();
  small.setItalic(true);
  note->setFont(small);

  auto* grid = new QGridLayout;
  grid->addWidget(MakeLabel(this, "Label1", "Interner Zeichensatz:"), 0, 0);
  grid->addWidget(cbCSIntern, 0, 1);
  grid->addWidget(note, 1, 1);
  grid->setRowMinimumHeight(2, 8);
  grid->addWidget(MakeLabel(this, "Label2", "Zulässige Zeichensätze für Header-Kodierung:"), 3, 0);
  grid->addWidget(cbCSHeader, 3, 1);
  grid->addWidget(MakeLabel(this, "Label3", "Zulässige Zeichensätze für Body-Kodierung:"), 4, 0);
  grid->addWidget(cbCSBody, 4, 1);
  grid->setColumnStretch(1, 1);

  LayOutGridDialog(this, grid, nullptr, butOk, butAbort);
  connect(butOk, &QPushButton::clicked, this, &QDialog::accept);
  FormCreate();
}

TDlgDefCharsets::~TDlgDefCharsets() { FormDestroy(); }

void TDlgDefCharsets::FormCreate() { TranslateForm(this, "DlgDefCharsets", TranslationLines); }

void TDlgDefCharsets::FormDestroy() { TranslationLines.clear(); }

void TDlgDefCharsets::Execute(QWidget* owner) {
  TDlgDefCharsets dialog(owner);
  dialog.Load();
  if (dialog.exec() == QDialog::Accepted) dialog.Store();
}

void TDlgDefCharsets::Load() {
  const TCSInfos& charsets = GetCSInfos();
  for (int i = 0; i < charsets.Count(); ++i) {
    const TCSInfo* cs = charsets.Items(i);
    cbCSIntern->addItem(QStr(cs->MimeName + " (" + cs->Description + ")"));
  }
  for (const std::string& set : charsets.Sets) {
    cbCSHeader->addItem(QStr(set));
    cbCSBody->addItem(QStr(set));
  }
  LoadSpecials();
  // An unknown name stands for charset 0.
  cbCSIntern->setCurrentIndex(charsets.Count() > 0 ? charsets.IndexOf(Specials.InternalCharset)
                                                   : -1);
  SelectLine(cbCSHeader, Specials.DefHeader);
  SelectLine(cbCSBody, Specials.DefBody);
}

void TDlgDefCharsets::Store() {
  const TCSInfo* cs = GetCSInfos().Items(cbCSIntern->currentIndex());
  if (cs) Specials.InternalCharset = cs->Name;
  Specials.DefHeader = SelectedLine(cbCSHeader);
  Specials.DefBody = SelectedLine(cbCSBody);
  WriteExtraSettings();
}
