// The dialog of the one-liner and reformat markers (Specials.ini [Oneliner],
// [Reformat]). OK needs all four markers.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

class TDlgCfgOL_RF : public QDialog {
  Q_OBJECT

public:
  explicit TDlgCfgOL_RF(QWidget* parent = nullptr);
  ~TDlgCfgOL_RF() override;

  // Creates, loads, shows and, after OK, writes the file.
  static void Execute(QWidget* owner = nullptr);
  void Load();
  void Store();

  // Event handlers.
  void butOkClick();
  void FormCreate();
  void FormDestroy();

  std::vector<std::string> TranslationLines;

  QLineEdit* txtAnfangOL = nullptr;
  QLineEdit* txtEndeOL = nullptr;
  QLineEdit* txtAnfangRF = nullptr;
  QLineEdit* txtEndeRF = nullptr;
  QLabel* Label5 = nullptr;
  QPushButton* butOk = nullptr;
  QPushButton* butAbort = nullptr;
};
