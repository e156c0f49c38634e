// The script's error and debug dialog: the error message, the file of the
// current line (editable, with save and reload), the run's information lines,
// the whole expanded script and the message being corrected. It returns how
// the script engine goes on (ErrorChoice::...). Its texts are fixed German
// texts; the dialog is not translated.
#pragma once

#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

#include "Prompter.h"

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTabWidget;

class TDlgErrorOrDebug : public QDialog {
  Q_OBJECT

public:
  explicit TDlgErrorOrDebug(QWidget* parent = nullptr);
  ~TDlgErrorOrDebug() override;

  // Fills the dialog for one stop; the lists are copied when given.
  void Prepare(const std::string& fileName, const std::string& scriptName, int lineNo,
               const std::string& errorMsg, const std::vector<std::string>* scriptLines,
               const std::vector<std::string>* infoLines, const std::vector<std::string>* fileLines,
               const std::vector<std::string>* textLines, int caretPos);

  // Components. A button that the stop does not offer is removed (null).
  QLabel* UebFehler = nullptr;
  QPushButton* butRetry = nullptr;
  QPushButton* butEnde = nullptr;
  QFrame* frFehler = nullptr;
  QLabel* labFehler = nullptr;
  QTabWidget* nb = nullptr;
  QWidget* tsHeader = nullptr;
  QPlainTextEdit* mSkript = nullptr;
  QWidget* tsText = nullptr;
  QPlainTextEdit* mText = nullptr;
  QWidget* Panel2 = nullptr;
  QPushButton* butSave = nullptr;
  QPushButton* butReLoad = nullptr;
  QPushButton* butNaechsteZeile = nullptr;
  QPushButton* butWeiter = nullptr;
  QPushButton* butSkip = nullptr;
  QWidget* TabSheet1 = nullptr;
  QPlainTextEdit* mGesamt = nullptr;
  QPlainTextEdit* mVars = nullptr;
  QSplitter* RxSplitter1 = nullptr;

  // The file shown in mSkript: what save and reload work on.
  std::string FileName;
  // The choice (ErrorChoice::...); End unless a button says otherwise.
  uint8_t Result = ErrorChoice::End;

  // Event handlers.
  void mSkriptChange();
  void butSaveClick();
  void butReLoadClick();
  void butRetryClick() { Choose(ErrorChoice::Retry); }
  void butNaechsteZeileClick() { Choose(ErrorChoice::NextLine); }
  void butWeiterClick() { Choose(ErrorChoice::Continue); }
  void butSkipClick() { Choose(ErrorChoice::Continue); }
  void butEndeClick() { Choose(ErrorChoice::End); }
  void FormActivate();
  void FormResize();

  // The page that was active when the last dialog closed (for the process's life).
  static int RememberedPage;

protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void CreateErrorFrame();
  void CreateFilePage();
  void CreateTextPages();
  void ConnectHandlers();
  void Choose(uint8_t result);
  void RemoveButton(QPushButton*& button);
  void SetSaveButtons(bool enabled);
  // The caret offset of the stop (line ends counted as two characters) as a
  // position in mSkript.
  int EditorPosition(int caretPos) const;
  void PlaceCaret();

  std::vector<std::string> fileLines_;
  int lineNo_ = 0;
  int caretPos_ = 0;
  bool nbGrown_ = false;  // the page control took the place of the empty message
  bool activated_ = false;
};

// Shows the dialog modally for one stop and gives the choice in State.
void ShowErrorOrDebug(const std::string& FileName, const std::string& ScriptName, int LineNo,
                      const std::string& ErrorMsg, const std::vector<std::string>* ScriptLines,
                      const std::vector<std::string>* InfoLines,
                      const std::vector<std::string>* FileLines,
                      const std::vector<std::string>* TextLines, int CaretPos, uint8_t& State);
