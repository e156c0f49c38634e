// The dialog of the footnote layout (Footnote.ini).
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TDlgCfgFN : public QDialog {
  Q_OBJECT

public:
  explicit TDlgCfgFN(QWidget* parent = nullptr);
  ~TDlgCfgFN() override;

  // Creates, loads, shows and, after OK, writes the file.
  static void Execute(QWidget* owner = nullptr);
  // The steps of Execute around the modal loop. Store raises the conversion
  // error of a wrap width that is no number, before anything is changed.
  void Load();
  void Store();

  // Event handlers.
  void butOkClick();
  void txtTitelChange();
  void FormCreate();
  void FormDestroy();

  std::vector<std::string> TranslationLines;

  QLineEdit* txtAnfang = nullptr;
  QLineEdit* txtEnde = nullptr;
  QLineEdit* txtCRLF = nullptr;
  QLineEdit* txtBreite = nullptr;
  QLineEdit* txtTitel = nullptr;
  QCheckBox* chkUnterstr = nullptr;
  QLineEdit* txtUnterstr = nullptr;
  QCheckBox* chkTitelLeerzeile = nullptr;
  QComboBox* cbPosition = nullptr;
  QLabel* Label5 = nullptr;
  QPushButton* butOk = nullptr;
  QPushButton* butAbort = nullptr;
};
