#include "DPGP.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "CfgEdits.h"
#include "DlgTools.h"
#include "FormTexts.h"
#include "uEinstellungen.h"

TDlgPGP::TDlgPGP(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DlgPGP"));
  setWindowTitle(QUtf8("Einstellungen für PGP"));

  txtExe = MakePathEdit(this, "txtExe", TPathKind::FileName);
  txtPars = MakeEdit(this, "txtPars");
  txtH1 = MakeEdit(this, "txtH1");
  txtH2 = MakeEdit(this, "txtH2");
  QLabel* note =
      MakeLabel(this, "Label3", "(Hinweis: %1 steht für die Quell- und %2 für die Zieldatei)");
  QFont italic = note->font();
  italic.setItalic(true);
  note->setFont(italic);
  QLabel* heading = MakeLabel(this, "Label4",
                              "Liste der zu signierenden Header (bitte Komma als Trenner nutzen):");
  QFont bold = heading->font();
  bold.setBold(true);
  heading->setFont(bold);

  auto* grid = new QGridLayout;
  grid->addWidget(MakeLabel(this, "Label1", "PGP-Exe (incl. Pfad):"), 0, 0);
  grid->addWidget(txtExe, 0, 1);
  grid->addWidget(MakeLabel(this, "Label2", "Parameter:"), 1, 0);
  grid->addWidget(txtPars, 1, 1);
  grid->addWidget(note, 2, 1);
  grid->setRowMinimumHeight(3, 8);
  grid->addWidget(heading, 4, 0, 1, 2);
  grid->addWidget(MakeLabel(this, "Label5", "Immer signieren:"), 5, 0);
  grid->addWidget(txtH1, 5, 1);
  grid->addWidget(MakeLabel(this, "Label6", "Nur, wenn vorhanden:"), 6, 0);
  grid->addWidget(txtH2, 6, 1);
  grid->setColumnStretch(1, 1);

  LayOutGridDialog(this, grid, nullptr, butOk, butAbort);
  connect(butOk, &QPushButton::clicked, this, &QDialog::accept);
  resize(sizeHint().expandedTo(QSize(520, 0)));
}

void TDlgPGP::Execute(QWidget* owner) {
  TDlgPGP dialog(owner);
  dialog.Load();
  if (dialog.exec() == QDialog::Accepted) dialog.Store();
}

void TDlgPGP::Load() {
  LoadSpecials();
  ShowInternalText(PathEditField(txtExe), Specials.PGPExe);
  ShowInternalText(txtPars, Specials.PGPSigPars);
  ShowInternalText(txtH1, Specials.SigHeaders1);
  ShowInternalText(txtH2, Specials.SigHeaders2);
}

void TDlgPGP::Store() {
  Specials.PGPExe = TakeInternalText(PathEditField(txtExe));
  Specials.PGPSigPars = TakeInternalText(txtPars);
  Specials.SigHeaders1 = TakeInternalText(txtH1);
  Specials.SigHeaders2 = TakeInternalText(txtH2);
  WriteExtraSettings();
}
