// The window of the configuration program: the list of correction profiles,
// the settings pages of the selected profile, the general buttons, the
// language choice, OK and Abbruch.
#pragma once

#include <QWidget>

#include <string>
#include <string_view>
#include <vector>

#include "ProfileList.h"
#include "uTransla.h"

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class TTabRows;

class TFrmMain : public QWidget {
  Q_OBJECT

public:
  explicit TFrmMain(QWidget* parent = nullptr);
  ~TFrmMain() override;

  // Program directory + "Tidelarn.ini".
  std::string ProfileFileName;
  // One entry per section of the profile file.
  TProfileList Profiles;
  // The form's own message lines of the current language.
  std::vector<std::string> TranslationLines;
  // List index of the profile the controls hold: index i > 0 is entry i - 1
  // of Profiles; 0 or less: none.
  int ShownIndex = 0;

  void FillProfileList();
  void ShowProfile(int index);
  void StoreProfile(int index);
  // Frees the profiles and remembers the selected item and page in Specials.ini.
  void ReleaseProfiles();

  // Event handlers.
  void FormCreate();
  void FormClose();
  void lClick();
  void butNeuClick(QObject* sender);
  void butDelClick();
  void butOkClick();
  void butAbortClick();
  void cbLangClick();
  void chkAutoFunctionsClick();
  void cbDefaultEncodingChange();
  void butHeaderDefEditClick();
  void butSigFileEditClick();
  void Button1Click();
  void Button2Click();

protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void CreateControls();
  void CreateProfileColumn(QHBoxLayout* panel);
  // The settings pages from their tables, and the controls reached by hand.
  void CreatePages();
  void CreateGeneralButtons();
  void ConnectHandlers();
  // A form text of the current language ("^m" as a line break).
  std::string FormText(std::string_view id, std::string_view germanDefault) const;
  QString FormQText(std::string_view id, std::string_view germanDefault) const;
  void FillCharsetCombo(QComboBox* combo);
  void FillLineCombo(QComboBox* combo, std::string_view id, std::string_view germanDefault);
  // Runs a handler; an exception shows its message and ends only the handler.
  template <class F>
  void Guarded(F&& handler);
  // Selects list item Index without running lClick.
  void SelectListItem(int index);
  void LoadProfiles();
  void OpenInEditor(const std::string& path);
  std::string FileFolder() const;
  // The text field of a plain or path edit, by name.
  QLineEdit* BoundEdit(const char* name) const;

  bool released_ = false;
  bool closeHandlerRemoved_ = false;
  std::vector<std::string> languages_;

  // Controls that the code reaches by hand; every other control is found by
  // its name through the binding tables.
  QComboBox* cbLang = nullptr;
  QListWidget* l = nullptr;
  QPushButton* butNeu = nullptr;
  QPushButton* butKopie = nullptr;
  QPushButton* butDel = nullptr;
  QPushButton* butOk = nullptr;
  QPushButton* butAbort = nullptr;
  QStackedWidget* area_ = nullptr;
  QWidget* empty_ = nullptr;
  QWidget* pages_ = nullptr;  // the tab rows above the page control
  TTabRows* tabRows_ = nullptr;
  QTabWidget* pg = nullptr;
  QWidget* frAllgemein = nullptr;
  QComboBox* cbDefAction = nullptr;
  QComboBox* cbCSHeader = nullptr;
  QComboBox* cbCSBody = nullptr;
  QComboBox* cbDefaultEncoding = nullptr;
  QComboBox* cbSaveAttReaction = nullptr;
  QComboBox* cbSetDate = nullptr;
  QComboBox* cbDateFormat = nullptr;
  QCheckBox* chkAutoFunctions = nullptr;
  QCheckBox* chkMinBodyCharset = nullptr;
  QCheckBox* chkConvert8Bit = nullptr;
  QCheckBox* chkConvertQP = nullptr;
  QCheckBox* chkConvertBase64 = nullptr;
  QLineEdit* txtFilePath = nullptr;
  QLineEdit* txtHeaderDef = nullptr;
  QLineEdit* txtSigFile = nullptr;
  QLineEdit* txtKillMID = nullptr;
  QPlainTextEdit* memKillHeaderlines = nullptr;
};

// The program's settings window; a language switch replaces it.
extern TFrmMain* FrmMain;
