#include "DCfgOL_RF.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "DlgTools.h"
#include "FormTexts.h"
#include "uEinstellungen.h"
#include "uTransla.h"

TDlgCfgOL_RF::TDlgCfgOL_RF(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DlgOL&Reformat"));
  setWindowTitle(QUtf8("Einstellungen für Oneliner und Reformat"));

  txtAnfangOL = MakeEdit(this, "txtAnfangOL");
  txtEndeOL = MakeEdit(this, "txtEndeOL");
  txtAnfangRF = MakeEdit(this, "txtAnfangRF");
  txtEndeRF = MakeEdit(this, "txtEndeRF");
  Label5 = MakeLabel(this, "Label5",
                     "Hinweis: Zur praktischen Nutzung muß die Funktionalität noch mittels "
                     "\"Sonderfunktionen\" gezielt aktiviert werden!",
                     true);

  auto* grid = new QGridLayout;
  QLabel* oneliner = MakeLabel(this, "Label1", "Oneliner:");
  QLabel* reformat = MakeLabel(this, "Label6", "Re-Format:");
  for (QLabel* heading : {oneliner, reformat}) {
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);
  }
  grid->addWidget(oneliner, 0, 0, 1, 4);
  grid->addWidget(MakeLabel(this, "Label2", "Einleitung ="), 1, 0);
  grid->addWidget(txtAnfangOL, 1, 1);
  grid->addWidget(MakeLabel(this, "Label3", "Ende ="), 1, 2, Qt::AlignRight);
  grid->addWidget(txtEndeOL, 1, 3);
  grid->setRowMinimumHeight(2, 8);
  grid->addWidget(reformat, 3, 0, 1, 4);
  grid->addWidget(MakeLabel(this, "Label7", "Einleitung ="), 4, 0);
  grid->addWidget(txtAnfangRF, 4, 1);
  grid->addWidget(MakeLabel(this, "Label8", "Ende ="), 4, 2, Qt::AlignRight);
  grid->addWidget(txtEndeRF, 4, 3);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);

  LayOutGridDialog(this, grid, Label5, butOk, butAbort);

  connect(butOk, &QPushButton::clicked, this, [this] { butOkClick(); });
  FormCreate();
  resize(sizeHint().expandedTo(QSize(420, 0)));
}

TDlgCfgOL_RF::~TDlgCfgOL_RF() { FormDestroy(); }

void TDlgCfgOL_RF::FormCreate() { TranslateForm(this, "DlgOL&Reformat", TranslationLines); }

void TDlgCfgOL_RF::FormDestroy() { TranslationLines.clear(); }

void TDlgCfgOL_RF::Execute(QWidget* owner) {
  TDlgCfgOL_RF dialog(owner);
  dialog.Load();
  if (dialog.exec() == QDialog::Accepted) dialog.Store();
}

void TDlgCfgOL_RF::Load() {
  LoadSpecials();
  ShowInternalText(txtAnfangOL, Specials.OnelinerBegin);
  ShowInternalText(txtEndeOL, Specials.OnelinerEnd);
  ShowInternalText(txtAnfangRF, Specials.ReformatBegin);
  ShowInternalText(txtEndeRF, Specials.ReformatEnd);
}

void TDlgCfgOL_RF::Store() {
  Specials.OnelinerBegin = TakeInternalText(txtAnfangOL);
  Specials.OnelinerEnd = TakeInternalText(txtEndeOL);
  Specials.ReformatBegin = TakeInternalText(txtAnfangRF);
  Specials.ReformatEnd = TakeInternalText(txtEndeRF);
  WriteExtraSettings();
}

void TDlgCfgOL_RF::butOkClick() {
  // The first empty marker gets the focus; the dialog stays open.
  for (QLineEdit* edit : {txtAnfangOL, txtEndeOL, txtAnfangRF, txtEndeRF})
    if (edit->text().isEmpty()) {
      edit->setFocus();
      return;
    }
  accept();
}
