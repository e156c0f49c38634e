// The script object of one correction run: the profile's header script (or
// Copyif.def) applied to one message under one profile. It owns the script's
// variables, the control stack of subs and loops, the state of conditional
// execution and the lists that commands fill for the steps after the script,
// and it binds its own functions and variable hooks into the two expression
// evaluators.
//
// The class is implemented by concern:
//   uVQSkript.cpp           creation, loading with includes, entry points, errors
//   uVQSkriptExec.cpp       one step: continuation, if blocks, loop heads, trace
//   uVQSkriptPlans.cpp      assignments run from kept plans of their expressions
//   uVQSkriptCommands.cpp   command dispatch, gosub, goto, Var, header lines
//   uVQSkriptLoops.cpp      loop words, return and the goto check
//   uVQSkriptConditions.cpp conditions
//   uVQSkriptFunctions.cpp  the script's functions and variable access
//   uVQSkriptArguments.cpp  string arguments of the text commands, wildcards, intro
//   uVQSkriptText.cpp       Set, Append, Insert and Delete
//   uVQSkriptReplace.cpp    Do Replace, Delete between, Set Macro
//   uVQSkriptDo.cpp         the Do commands and HamsterApp; uVQSkriptDo.h: their effects hook
//   uVQSkriptHHeaders.cpp   collected header lines, Set Option, the 8-bit test, saved parts
//   uVQSkriptHeaderFix.cpp  automatic header corrections (over uHeaderFix)
//   uVQSkriptBodyFix.cpp    automatic body corrections (over uBodyFix)
//   uVQSkriptBoxQuotes.cpp  box quotes, footnotes, one-liners, reformat blocks
//   uVQSkriptParts.cpp      HTML to text, body charset, transfer encoding of a part
//   uVQSkriptInfo.cpp       the error and debug display
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "uSkript.h"

class TArtikel;
class TCharsets;
class TCopyIfRun;
class THamsterSession;
class THeader;
class TMIMEPart;
class TVarList;
class TVarObj;
class TVQEinstellungen;
struct FunctionCall;
// ---- Text commands, string arguments, collected lines, replacements -------
class TChangedStringlist;
class TCharsetStringlist;
// ---- End of the text commands ----------------------------------------------

// One entry of the control stack: the head of an open sub or loop, or one of
// the data entries a loop keeps below its head.
struct TControlEntry {
  std::string Text;
  int32_t Line = 0;   // the line number the construct keeps (see the loop words)
  double Value = 0;   // a loop's number, kept beside its text
  int IfDepth = 0;    // the if depth when the construct was entered
  int GroupSize = 0;  // head entries: the entries of the group; data entries: 0
};

// The open subs and loops. Index 0 is the top.
class TControlStack {
public:
  int Count() const { return static_cast<int>(entries_.size()); }
  bool Empty() const { return entries_.empty(); }
  // Callers check Count first.
  TControlEntry& operator[](int index) { return entries_[entries_.size() - 1 - index]; }
  const TControlEntry& operator[](int index) const { return entries_[entries_.size() - 1 - index]; }
  // Whether the top entry heads a group of Size entries whose text begins with Word.
  bool TopIs(std::string_view word, int size) const {
    return !entries_.empty() && entries_.back().GroupSize == size &&
           entries_.back().Text.compare(0, word.size(), word) == 0;
  }
  void Push(TControlEntry entry) {
    subs_ += IsSub(entry);
    entries_.push_back(std::move(entry));
  }
  // Removes up to Count entries from the top.
  void Pop(int count = 1) {
    while (count-- > 0 && !entries_.empty()) {
      subs_ -= IsSub(entries_.back());
      entries_.pop_back();
    }
  }
  void Clear() {
    entries_.clear();
    subs_ = 0;
  }
  // The subs open on the stack.
  int SubCount() const { return subs_; }

private:
  static bool IsSub(const TControlEntry& e) {
    return e.GroupSize == 1 && e.Text.compare(0, 4, "Sub ") == 0;
  }
  std::vector<TControlEntry> entries_;  // the back is the top
  int subs_ = 0;
};

// Run states of a script run.
namespace RunStates {
enum : uint8_t { Running = 0, Retry = 1, SingleStep = 2, Continue = 3, Ended = 4 };
}

struct TStringPlan;
struct TSimpleNumeric;

// Whether script lines run from kept plans where they can (on by default); the
// comparison of both ways turns it off.
void SetLinePlansEnabled(bool on);
bool LinePlansEnabled();

class TVQSkript : public TSkript {
public:
  static constexpr int MaxIfDepth = 30;
  // Open subs at most, the entry point's own included. A sub that calls itself
  // without end would otherwise grow the control stack and the variable
  // frames until the memory is gone.
  static constexpr int MaxSubDepth = 1000;

  TVQSkript(std::string scriptName, TArtikel* article, TVQEinstellungen* settings);
  ~TVQSkript() override;
  TVQSkript(const TVQSkript&) = delete;
  TVQSkript& operator=(const TVQSkript&) = delete;

  // ---- Data --------------------------------------------------------------

  TVQEinstellungen* Settings;  // not owned; reloaded when Set Option changed it
  std::unique_ptr<TVarList> Variables;
  // Header lines the automatic corrections take from the top of text bodies;
  // written into the message header after the script.
  std::unique_ptr<THeader> HList;
  TControlStack ControlStack;
  // Profile keys (lower case) changed by Set Option, and their values.
  std::vector<std::string> ChangedOptions;
  std::vector<std::string> ChangedOptionValues;
  // The message file's name without directory; empty in the CopyIf run.
  std::string ScriptName;
  TArtikel* Article;  // not owned
  uint8_t RunState = RunStates::Running;
  int IfDepth = 0;                                // open block ifs, 0..30
  std::array<uint8_t, MaxIfDepth + 1> IfState{};  // per depth: lines are executed
  std::array<uint8_t, MaxIfDepth + 1> IfTaken{};  // per depth: no further branch may be taken
  std::unique_ptr<TCharsets> BodyCharsets;
  std::unique_ptr<TCharsets> HeaderCharsets;
  // Lines of Set Lines / Append Lines, appended to the body after the script.
  std::vector<std::string> LinesToAppend;
  std::vector<std::string> FootnoteLines;
  // Set while the error display reloads the script, so that an error of that
  // reload does not open the display again.
  bool ReloadingScript = false;
  // A trace file that could not be written switches the trace off for the run.
  bool TraceFailed = false;

  // What the run that made the object lends it (not owned; null: none).
  // The news-server session, for Do Touch and HamsterApp.
  THamsterSession* Hamster = nullptr;
  // The CopyIf run the article belongs to: the script is then Copyif.def, and
  // the target groups and the counters are the run's.
  TCopyIfRun* CopyIf = nullptr;
  // Where the exit code of Sub main goes.
  int32_t* RunExitCode = nullptr;

  // ---- Object and loading -------------------------------------------------

  // Prepares a fresh run: H list, variables and control stack emptied, options
  // of the previous run undone.
  void Reset();
  // Reloads the profile when Set Option changed it; raises when the profile
  // cannot be read.
  void RestoreProfile();
  std::string GetScriptFileName() const;
  std::string GetFilePath() const;
  // A name of the script made absolute with the profile's FilePath.
  std::string ExpandFileName(std::string_view name) const;
  // Reads the script and expands its includes.
  void LoadScript(bool doReset);

  // The entry points of the correction driver.
  bool RunCheckAbort();
  int32_t RunSubMain();
  void RunAfterAll(const std::string& oldFilename, const std::string& newFilename);

  // The line "Sub <Name>" (0-based Index) and the text of its parameter list.
  bool FindSub(std::string_view name, int& index, std::string& params) const;
  // The label line ":<Name>" (0-based Index).
  bool FindLabel(std::string_view name, int& index) const;
  // Whether the run changed the message.
  bool IsChanged() const;

  // ---- Line execution -----------------------------------------------------

  void ExecuteStep();
  // Consumed: the number of continuation lines joined into the line.
  void ExecuteLine(int& consumed);

  // ---- Conditions ---------------------------------------------------------

  // Reads a condition from the front of S; S keeps the unread rest.
  bool EvalCondition(std::string& s);

  // ---- Functions and variables -------------------------------------------

  void RegisterStringFunctions();
  void UnregisterScriptStringFunctions();
  void RegisterNumericFunctions();
  void UnregisterScriptNumericFunctions();
  void EvalStringFunction(FunctionCall& call, std::string& result);
  double EvalNumericFunction(FunctionCall& call);
  // 0 no reference at the front of S, 1 a known variable, 2 an unknown name.
  uint8_t ParseVarRef(std::string& s, std::string& name);
  bool TakeStringVar(std::string& s, std::string& name);
  void GetStringVar(const std::string& name, std::string& value);
  double GetNumericVar(const std::string& name);
  void AssignVariable(const std::string& name, std::string& rest, bool raw);
  void EvalTypedExpression(std::string& expr, uint8_t varType, std::string& text);
  int FindNextMatchingBodyLine(int start, const std::string& regex);
  int CountMatchingBodyLines(const std::string& regex);

  // ---- Error and debug display -------------------------------------------

  // Shows the error (or, with an empty message, the debug stop), stores the
  // user's choice in RunState, reloads the script and raises EAbort.
  [[noreturn]] void ShowScriptInfo(const std::string& errorMsg, const std::string& errorToken);

  // ---- Commands -----------------------------------------------------------

  // Executes one command line; the text is consumed while it is read.
  void InterpreteLine(std::string& line);
  // "Name: value" into the message header; Append inserts after the first
  // field of that name instead of replacing it.
  void AssignHeader(const std::string& text, bool raw, bool append);

  // ---- Loop words, return and jumps ---------------------------------------

  void ForStart(int32_t lineNo, const std::string& varName, double start, double endValue,
                double step);
  void NextStep();
  void RepeatStart(int32_t lineNo);
  void UntilStep();
  void WhileStart(int32_t lineNo, const std::string& condition);
  void WendStep();
  void EndlessStart(int32_t lineNo);
  void LoopStep();
  void BreakLoop();
  void ContinueLoop();
  void ReturnFromSub();
  void CheckGoto(int32_t fromLine, int32_t toLine);

  // ---- Text commands, Do, collected lines, string arguments ---------------

  void SetCommand(std::string& text);
  void AppendCommand(std::string& text);
  void InsertCommand(std::string& text);
  void DeleteCommand(std::string& text);
  void DoCommand(std::string& text);
  void HamsterAppCommand(std::string& text);
  // Fills List from an argument: an expression, "from" a file, or a block of
  // the following script lines. Replace: List gets only the new lines.
  void ParseStringArgument(std::vector<std::string>& list, std::string text, bool replace,
                           bool raw);
  std::string ExpandWildcards(const std::string& text);
  bool Has8BitChars();
  void ApplyHHeaders();

  // ---- Automatic corrections of the article -------------------------------
  // Header (uVQSkriptHeaderFix.cpp).
  void AutoFixHeaders();
  void FixSubjectAndReferences();
  void OptimizeMIMEHeader();
  void TakeBodyHeaders();
  void SortHeader(const std::string& list);
  void RecreateRcptTo(bool always);
  void ConvertHeaderTo8Bit();
  void FixOEKillFalseReBug();
  // Body of the current part (uVQSkriptBodyFix.cpp).
  void CheckBody();
  void DeleteEmptyLinesAtEnd();
  void DeleteBlanksAtEndOfLines();
  void RepairOEQuotings();
  void FixOEBeginBug();
  // Body layout (uVQSkriptBoxQuotes.cpp), whole parts (uVQSkriptParts.cpp)
  // and part saving (uVQSkriptHHeaders.cpp).
  void InsertIntro();
  void ConvertFootnotes();
  void ConvertReFormats();
  void ConvertOneLiners();
  void AppendFootnotes();
  void AppendLines();
  void ConvertBoxQuotes(int style);
  void ConvertHtmlToText();
  void SetMinBodyCharset();
  void SavePart(const std::string& folder, const std::string& fileName, uint8_t mode);
  // ---- End of the automatic corrections -----------------------------------

  // ---- Text commands, string arguments, collected lines, replacements -----
  // Set, Append, Insert and Delete are in uVQSkriptText.cpp, the saving of a
  // part and the 8-bit test in uVQSkriptHHeaders.cpp.
  // String arguments and wildcards (uVQSkriptArguments.cpp).
  // Text, expanded only when Expand is set and Text is not empty.
  std::string ExpandWildcardsOpt(const std::string& text, bool expand);
  // The Intro list of the current part, created empty on first use; nullptr
  // only when the message has no part.
  TChangedStringlist* GetIntro();
  bool HasIntro() const;
  // Collected header lines and option overrides (uVQSkriptHHeaders.cpp).
  // Removes the first H list line of the field Name.
  void DeleteHeaderEntry(const std::string& name);
  // "key = value": the profile is reloaded with every option the run set so
  // far; false when Text holds no "=".
  bool SetOption(const std::string& text);
  // Text replacements (uVQSkriptReplace.cpp). Targets and modes of DoReplace.
  enum : uint8_t { rtBody = 0, rtSig = 1, rtLines = 2, rtHeader = 3, rtHeader2 = 4, rtIntro = 5,
                   rtVariable = 6 };
  enum : uint8_t { rmAll = 0, rmFirst = 1, rmLast = 2 };
  // Replaces matches of the case-sensitive expression What by With, taken
  // literally, in the lines FromLine .. ToLine (1-based, -1: no limit) of the
  // target, or in the value of the String variable VarName.
  void DoReplace(const std::string& what, const std::string& with, int32_t fromLine,
                 int32_t toLine, const std::string& varName, uint8_t target, uint8_t mode);
  // Deletes the lines between a line matching StartRegex and one matching
  // EndRegex (without regard to case), in the signature of the current part
  // or else in its body; true when such a region was found.
  bool DeleteBetween(bool first, const std::string& startRegex, const std::string& endRegex,
                     bool deleteDelimiters, bool useReplacement, const std::string& replacement);
  // Every body line equal to Name becomes the lines of Macro.
  void ExpandMacro(const std::string& name, const std::vector<std::string>& macroLines);
  // ---- End of the text commands -------------------------------------------

  // ---- Body layout and whole parts ----------------------------------------
  // Box quotes, footnotes, one-liners, reformat blocks, intro and appended
  // lines (uVQSkriptBoxQuotes.cpp); HTML parts, body charset and transfer
  // encoding (uVQSkriptParts.cpp).

  // Takes the closed footnotes out of Text into FootnoteLines, leaving their
  // numbers "[n]" and the rest of the paragraph wrapped again; true when it
  // took at least one.
  bool ExtractFootnote(std::string& text);
  // A footnote's lines as one text: lines joined by blanks (a hyphen at a line
  // end joins the word), empty lines as paragraph breaks, the line-break
  // marker as CR LF.
  static std::string JoinFootnoteText(const std::string& text);
  // Code: 1 7bit, 2 8bit, 3 quoted-printable, 4 base64.
  void SetPartEncoding(uint8_t code);
  // ---- End of body layout and whole parts ---------------------------------

private:
  // ---- Do and HamsterApp commands (uVQSkriptDo.cpp) ------------------------
  void DoSelect(std::string& s);
  void DoPlay(std::string& s);
  void DoShow(std::string& s);
  void DoWrite(std::string& s);
  void DoOpenOrPrint(std::string& s, bool print);
  void DoCopy(std::string& s);
  void DoExec(std::string& s);
  void DoReplaceCommand(std::string& s);
  void DoConvert(std::string& s);
  void DoOptimize(std::string& s);
  void DoSavePart(std::string& s);
  void DoCounter(std::string& s, bool define);
  void DoTouch(std::string& s);
  // A string expression from the front of S; false when there is none.
  bool TakeString(std::string& s, std::string& value);
  // A failure of the outside world (a file, the news server) as a script error.
  [[noreturn]] void ReportFailure(const std::string& message);
  // ---- End of Do and HamsterApp commands -----------------------------------

  // ---- Text commands: helpers ---------------------------------------------
  // Number of the line that ends the block argument beginning after line
  // CommandLine (the "end" line, or the last line of the script).
  int32_t BlockEnd(int32_t commandLine, bool raw) const;
  // The argument's lines joined by CR LF, as ParseStringArgument reads them.
  std::string StringArgumentText(std::string text, bool raw);
  // Reads the argument, adding "line CR LF" to Collected for each line.
  void ReadStringArgument(std::string text, bool raw, std::string& collected);
  // Reports an error found before the argument Rest was read: should Rest be
  // empty, the argument is a block, and the run never goes on inside it.
  [[noreturn]] void ArgumentError(const std::string& rest, bool raw, std::string_view id,
                                  std::string_view germanDefault,
                                  const std::vector<std::string>& args = {});
  void SetSignature(std::string& text, bool raw, bool append);
  void SetHeaderContent(std::string& text, bool raw);
  void SetBodyline(std::string& text, bool raw);
  void SetLastAction(std::string& text);
  void AppendToVariable(const std::string& name, uint8_t found, std::string& text, bool raw);
  void DeleteBodyLines(std::string& text);
  void DeleteBodyLine(std::string& text);
  void DeleteBetweenCommand(std::string& text);
  void DeletePart(std::string& text);
  bool DeleteBetweenInLines(TCharsetStringlist& lines, bool first, const std::string& startRegex,
                            const std::string& endRegex, bool deleteDelimiters,
                            bool useReplacement, const std::string& replacement);
  // ---- End of the text command helpers ------------------------------------
  // Whether the step hook lets the run go on (always without a hook).
  static bool StepAllowed();
  // Now, in the short date and long time format of the locale.
  static std::string NowText();
  // A report value on one line.
  static std::string OneLine(std::string s);

  // Shared by the entry points.
  void BeginEntryPoint();
  void EndEntryPoint();
  void RunLoop(bool whileStackOpen);
  void LeaveAllSubs();
  // Error with a translated message.
  [[noreturn]] void ScriptError(std::string_view id, std::string_view germanDefault,
                                const std::string& token = {});
  [[noreturn]] void ScriptErrorFmt(std::string_view id, std::string_view germanDefault,
                                   const std::vector<std::string>& args,
                                   const std::string& token = {});

  // Loading.
  void IncludeReportFile(std::string_view section, const std::string& message,
                         const std::string& fileName, const std::string& errorLine, int depth);

  // Execution.
  // An assignment to a String variable from a kept plan of its expression;
  // false when no plan holds (the line is then read as text).
  bool RunPlannedAssignment(int lineIndex, const std::string& name, std::string_view rest);
  struct TLinePlan {
    std::string rest;  // the text the plan was made from
    std::shared_ptr<const TStringPlan> plan;  // for a String target
    std::shared_ptr<const TSimpleNumeric> numeric;  // for an Integer or Float target
    uint8_t targetType = 0;
    int runs = 0;
    // The target and the plan's variables as Find gave them, while the
    // variable list keeps this shape.
    uint64_t shape = ~uint64_t(0);
    TVarObj* target = nullptr;
    std::vector<TVarObj*> vars;
  };
  // Runs of each line, counted up to the second; a line gets its plan then.
  std::vector<uint8_t> lineRuns_;
  std::vector<std::unique_ptr<TLinePlan>> linePlans_;
  int ContinuationCount(int lineNo) const;
  void WriteTrace(const std::string& line);
  void ExecuteFor(std::string& s);
  void SkipSub();
  void RestoreIfDepth(int depth);
  int BlockIfBalance(int firstLine, int lastLine) const;

  // Commands.
  void Gosub(std::string& text);
  void Goto(std::string& text);
  void DeclareVariables(std::string& text);

  // Loop words.
  int FindLoopEnd(int headLine, uint8_t headKind, uint8_t endKind, std::string_view beforeSubId,
                  std::string_view beforeSubText, std::string_view inSubId,
                  std::string_view inSubText, std::string_view missingId,
                  std::string_view missingText);
  void RemoveEntries(int count);

  static void AdvanceView(std::string_view& view, const std::string& rest);

  // Message access for the functions.
  TMIMEPart* CurrentPart() const;
  std::string FullText(std::string& rawText);
};

// The display form of a multi-line value: further lines follow a CR LF, seven
// blanks and the marker "<CRLF>".
std::string MarkLineBreaks(std::string_view value);

// A fuzzing harness bounds a run with this hook: it is asked before every step,
// every include expansion and every pass of a one-line For, and false ends the
// run. Normal runs have none.
using TScriptStepHook = bool (*)();
void SetScriptStepHook(TScriptStepHook hook);

// ---- Text commands, string arguments, collected lines, replacements -------
// Path with each of " # % < > [ \ ] ^ ` { | } written as "%" and two upper-case
// hexadecimal digits, for the reference line of a saved part.
std::string FileUrlEncode(std::string_view path);
// ---- End of the text commands ----------------------------------------------
