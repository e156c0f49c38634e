// The one way the engine asks the user something. The engine never calls a
// toolkit: each program installs its prompter at start (the configuration
// program a Qt one, the runner one that hands over to the configuration program
// or a helper). Without one, the headless prompter answers.
#pragma once

#include <string>
#include <vector>

// Message-box styles and answers, with the values of the Windows message box so
// that stored or scripted numbers keep their meaning.
namespace mb {
enum : unsigned {
  Ok = 0x0,
  OkCancel = 0x1,
  AbortRetryIgnore = 0x2,
  YesNoCancel = 0x3,
  YesNo = 0x4,
  RetryCancel = 0x5,
  ButtonsMask = 0xF,
  IconStop = 0x10,
  IconQuestion = 0x20,
  IconExclamation = 0x30,
  IconInformation = 0x40,
  IconMask = 0xF0,
  DefButton2 = 0x100,
  DefButton3 = 0x200,
  DefButtonMask = 0xF00,
  TaskModal = 0x2000,
};
}  // namespace mb

namespace id {
enum : int { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };
}  // namespace id

// The user's choices in the script's error and debug display; the script engine
// keeps them as its run state.
namespace ErrorChoice {
enum : int { Retry = 1, NextLine = 2, Continue = 3, End = 4 };
}  // namespace ErrorChoice

// What the script's error and debug display shows.
struct TErrorDisplay {
  std::string fileName;    // file holding the current line; empty when there is none
  std::string scriptName;  // message file being corrected; empty in the CopyIf run
  int lineNo = 0;          // line within fileName, 1-based; 0: no current line
  std::string lineText;
  std::string errorMsg;    // empty: a single-step stop
  int caretPos = 0;        // 0-based offset into the text of fileName
  int continueLine = 0;    // line of the expanded script at which the run goes on
  std::vector<std::string> scriptLines;  // the whole expanded script
  std::vector<std::string> infoLines;    // position, stacks, variables, collected lines
  std::vector<std::string> fileLines;    // fileName as stored on disk
  std::vector<std::string> textLines;    // the message being corrected
};

class TPrompter {
public:
  virtual ~TPrompter() = default;
  // Shows Text under Caption with the buttons and icon of Flags (mb::...) and
  // returns the button pressed (id::...).
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
  // Asks for a line of text; Value holds the preset and receives the answer.
  // Returns false when the user cancelled (Value keeps the preset).
  virtual bool InputBox(const std::string& title, const std::string& prompt, std::string& value) = 0;
  // Shows the script's error or debug stop and returns the user's choice
  // (ErrorChoice::...); Display.continueLine may be moved. The base writes the
  // error to stderr and answers End.
  virtual int ShowErrorOrDebug(TErrorDisplay& display);
};

// The headless answer to an error or debug display: the error on stderr, End.
int ShowErrorOnStderr(const TErrorDisplay& display);

// Says Text on stderr (as UTF-8), whichever prompter is installed: for
// failures that must be told but do not end the run.
void SayOnStderr(const std::string& text);

// Writes the box to stderr (as UTF-8) and answers with the default button,
// naming the button taken when there was a choice; an input box returns its
// preset.
class THeadlessPrompter : public TPrompter {
public:
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  bool InputBox(const std::string& title, const std::string& prompt, std::string& value) override;
};

// The button a box of these flags answers with when nobody presses one.
int DefaultButton(unsigned flags);
// Whether a box of these flags has the button.
bool IsButtonOf(unsigned flags, int button);
// The button's caption in the current language.
std::string ButtonName(int button);

// The helper program beside the runner that shows a message box on the
// desktop: arguments caption, text (UTF-8) and flags (decimal). It answers
// with the line kMsgBoxAnswer and the button's number on stdout and exit code
// 0; any other end (kMsgBoxNoDisplay when Qt can reach no display, Qt's own
// exit when the display goes, a signal) is no answer.
inline constexpr const char* kMsgBoxHelper = "tidelarn-msgbox";
inline constexpr const char* kMsgBoxAnswer = "answer=";
inline constexpr int kMsgBoxNoDisplay = 100;

// The installed prompter (the headless one until a program installs another).
TPrompter& Prompter();
// Installs a prompter (not owned); nullptr restores the headless one.
void SetPrompter(TPrompter* prompter);
