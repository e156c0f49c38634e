// The dialog of the PGP signing (Specials.ini [PGP]): the program, its
// parameter template and the two lists of header names to sign.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

class TDlgPGP : public QDialog {
  Q_OBJECT

public:
  explicit TDlgPGP(QWidget* parent = nullptr);

  // Creates, loads, shows and, after OK, writes the file.
  static void Execute(QWidget* owner = nullptr);
  void Load();
  void Store();

  QWidget* txtExe = nullptr;  // a file-name edit
  QLineEdit* txtPars = nullptr;
  QLineEdit* txtH1 = nullptr;
  QLineEdit* txtH2 = nullptr;
  QPushButton* butOk = nullptr;
  QPushButton* butAbort = nullptr;
};
