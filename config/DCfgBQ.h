// The dialog of the nine box-quote styles (BoxQuotes.ini). It edits its own
// copy of all nine, so switching tabs keeps every tab's edits until OK writes
// them or Abbruch drops them; a preview draws an example in the edited style.
#pragma once

#include <QDialog>

#include <array>
#include <string>
#include <vector>

#include "uEinstellungen.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabBar;

class TDlgCfgBQ : public QDialog {
  Q_OBJECT

public:
  explicit TDlgCfgBQ(QWidget* parent = nullptr);
  ~TDlgCfgBQ() override;

  // Creates, loads, shows and, after OK, writes the file.
  static void Execute(QWidget* owner = nullptr);
  // The steps of Execute around the modal loop.
  void Load();
  void Store();

  // Copies the current tab's style into the controls.
  void ShowStyle();

  // Event handlers.
  void Preview();
  void butOkClick();
  void tcChange();
  void Button1Click();
  void Button2Click();
  void FormCreate();
  void FormDestroy();

  // The dialog's own copy of the styles.
  std::array<TBoxQuote, BoxQuoteStyles> Styles;
  // False while a style is being copied into the controls: the change
  // handlers then leave the half-filled controls alone.
  bool Filled = false;
  std::vector<std::string> TranslationLines;

  QTabBar* tc = nullptr;
  QLabel* Label1 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QRadioButton* optText = nullptr;
  QRadioButton* optDatei = nullptr;
  QLabel* labAnf = nullptr;
  QLineEdit* txtAnf = nullptr;
  QLabel* labTr = nullptr;
  QLineEdit* txtTr = nullptr;
  QLabel* labEnd = nullptr;
  QLineEdit* txtEnd = nullptr;
  QGroupBox* gbOptik = nullptr;
  QComboBox* cbTyp = nullptr;
  QLabel* Label6 = nullptr;
  QLineEdit* txtObLEck = nullptr;
  QLineEdit* txtObREck = nullptr;
  QLineEdit* txtUntLEck = nullptr;
  QLineEdit* txtUntREck = nullptr;
  QLineEdit* txtLRand = nullptr;
  QLineEdit* txtRRand = nullptr;
  QLineEdit* txtOben = nullptr;
  QLineEdit* txtUnten = nullptr;
  QLineEdit* txtTit = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* labBreiteO = nullptr;
  QLineEdit* txtBreiteO = nullptr;
  QLabel* labBreiteU = nullptr;
  QLineEdit* txtBreiteU = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QGroupBox* gbPreview = nullptr;
  QListWidget* lOrg = nullptr;
  QLabel* Label11 = nullptr;
  QListWidget* lErg = nullptr;
  QPushButton* butOk = nullptr;
  QPushButton* butAbort = nullptr;

private:
  void CreateRecognition(QWidget* page);
  void CreateLook(QWidget* page);
  void CreatePreview(QWidget* page);
  void ConnectHandlers();
  TBoxQuote& Current();
  void FitTabs();
  // Tab N (0-based) shows the style's start line, or "#" and its number.
  void SetTabCaption(int index);
  std::string Text(const char* id, const char* germanDefault) const;
};
