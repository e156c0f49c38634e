// One step of a script run: continuation lines, the trace, conditional
// execution, the loop heads, and how the current line moves on.
#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <unistd.h>

#include "IniFile.h"
#include "ProgramDir.h"
#include "SafeFile.h"
#include "SysUtils.h"
#include "uEinstellungen.h"
#include "uGetNum.h"
#include "uTools.h"
#include "uTransla.h"
#include "uVQSkript.h"
#include "uVarList.h"

namespace {

// Lines beginning with these are neither executed nor traced.
bool IsInert(const std::string& s) {
  return s.empty() || s[0] == '#' || s[0] == ':' || s[0] == ';';
}

}  // namespace

void TVQSkript::ExecuteStep() {
  int consumed = 0;
  try {
    ExecuteLine(consumed);
    if (RunState == RunStates::SingleStep) ShowScriptInfo({}, {});
    if (RunState != RunStates::Retry) CurrentLine += consumed + 1;
  } catch (const EAbort&) {
    switch (RunState) {
      case RunStates::Retry:
        RunState = RunStates::Running;
        break;
      case RunStates::SingleStep:
        CurrentLine += consumed + 1;
        break;
      case RunStates::Continue:
        CurrentLine += consumed + 1;
        RunState = RunStates::Running;
        break;
      default:
        break;
    }
  }
}

// The number of following lines that line LineNo (1-based) joins to itself.
int TVQSkript::ContinuationCount(int lineNo) const {
  if (lineNo < 1 || lineNo > Count()) return 0;
  // Asked after every jump; most lines go on no further, and need no copy.
  std::string_view source = GetLine(lineNo - 1).Source();
  size_t last = source.size();
  while (last > 0 && (unsigned char)source[last - 1] <= ' ') --last;
  if (last == 0 || source[last - 1] != '_') return 0;
  std::string s = Trim(source);
  if (IsInert(s)) return 0;
  int consumed = 0;
  while (!s.empty() && s.back() == '_' && lineNo + consumed + 1 <= Count()) {
    ++consumed;
    s.pop_back();
    s = Trim(s + GetLine(lineNo + consumed - 1).Source());
  }
  return consumed;
}

// Every traced line rewrites the whole trace. It is written beside and renamed
// over the old one, so a reader never sees half a file; it is not synced, as it
// is rewritten for every line and only has to outlive the process.
void TVQSkript::WriteTrace(const std::string& line) {
  const std::string text = "[Interprete Line]\r\nDateTime=" + NowText() +
                           "\r\nFilename=" + OneLine(ScriptName) +
                           "\r\nLine#=" + IntToStr(CurrentLine) + "\r\nLine=" + OneLine(line) +
                           "\r\n";
  const std::string path = SettingsDir() + "VQDebug.txt";
  try {
    TReplaceOptions options;
    options.durable = false;
    TReplacementFile trace(path, options);
    trace.Write(text);
    trace.Commit();
  } catch (const std::exception& e) {
    // One report is enough: the trace stays off for the rest of the run.
    TraceFailed = true;
    WriteReportFile(e.what(), [&](TIniFile& report) {
      report.WriteString("EXCEPTION", "Message", OneLine(e.what()));
      report.WriteString("EXCEPTION", "DateTime", NowText());
      report.WriteString("EXCEPTION", "Reason", "Open File: \"VQDebug.txt\"");
      report.WriteString("EXCEPTION", "Script Filename", OneLine(ScriptName));
      report.WriteString("EXCEPTION", "Line#", IntToStr(CurrentLine));
      report.WriteString("EXCEPTION", "Line", OneLine(line));
    });
  }
}

void TVQSkript::RestoreIfDepth(int depth) {
  if (depth < 0 || depth > IfDepth) return;
  IfDepth = depth;
}

void TVQSkript::ExecuteLine(int& consumed) {
  consumed = 0;
  if (CurrentLine < 1 || CurrentLine > Count()) return;
  const int startLine = CurrentLine;
  {
    // An assignment of a line of its own, run from its kept plan: no copy of
    // the line is needed (without a trace; a joined line is read as text).
    const TZeile& line = GetLine(CurrentLine - 1);
    if (!line.Target().empty() && line.Kind() == LineKind::Command &&
        line.Word() == CommandWord::Plain && IfState[IfDepth] != 0 &&
        !((Settings->doDebugOutput & 1) != 0 && !TraceFailed)) {
      const std::string_view text = TrimmedView(line.Source());
      if (!text.empty() && text.back() != '_' && text.size() >= line.TargetEnd() &&
          RunPlannedAssignment(CurrentLine - 1, line.Target(), text.substr(line.TargetEnd()))) {
        if (CurrentLine != startLine) consumed = ContinuationCount(CurrentLine);
        return;
      }
    }
  }
  std::string s = Trim(GetLine(CurrentLine - 1).Source());
  if (IsInert(s)) return;

  while (!s.empty() && s.back() == '_' && CurrentLine + consumed + 1 <= Count()) {
    ++consumed;
    s.pop_back();
    s = Trim(s + GetLine(CurrentLine + consumed - 1).Source());
  }

  if ((Settings->doDebugOutput & 1) != 0 && !TraceFailed) WriteTrace(s);

  const bool executing = IfState[IfDepth] != 0;
  const TZeile& line = GetLine(CurrentLine - 1);
  const uint8_t word = line.Word();
  switch (line.Kind()) {
    case LineKind::Command: {
      // A line of its own is known to be no if word, and an assignment knows
      // its target; a joined one is read.
      if (consumed == 0 && word == CommandWord::Plain) {
        if (!executing) break;
        if (line.Target().empty()) {
          InterpreteLine(s);
        } else {
          // A copy: a run that reloads the script replaces its lines.
          const std::string name = line.Target();
          s.erase(0, line.TargetEnd());
          AssignVariable(name, s, false);
        }
        break;
      }
      if (StartsWithKeyword("if", s)) {
        bool cond = false;
        bool oneLine = false;
        if (executing) {
          cond = EvalCondition(s);
          oneLine = StartsWithKeyword("then", s) && !s.empty();
        } else {
          oneLine = FindCommandLineWord(s, "then", true) && !Trim(s).empty();
          if (!oneLine) s.clear();
        }
        if (oneLine) {
          if (cond) InterpreteLine(s);
        } else if (!Trim(s).empty()) {
          ScriptErrorFmt("If.InvalidLineCont",
                         "Nach \"If <Bedingung>\" ist nur ein \"then\" zulässig, \"%s\" ist nicht "
                         "sinnvoll interpretierbar!",
                         {s}, s);
        } else if (IfDepth == MaxIfDepth) {
          ScriptErrorFmt("If.MaxNested",
                         "Die maximale Anzahl (%s) an If-Schachtelungen wurde überschritten!",
                         {IntToStr(MaxIfDepth)}, s);
        } else {
          ++IfDepth;
          IfState[IfDepth] = cond;
          IfTaken[IfDepth] = !(executing && !cond);
        }
        break;
      }
      bool elseIf = StartsWithKeyword("elseif", s);
      if (!elseIf) {
        std::string rest = s;
        if (StartsWithKeyword("else", rest) && StartsWithKeyword("if", rest)) {
          elseIf = true;
          s = rest;
        }
      }
      if (elseIf) {
        if (IfDepth == 0) ScriptError("If.NoEndifFound", "Kein passendes \"If\" zum \"EndIf\"", s);
        if (!IfTaken[IfDepth]) {
          IfState[IfDepth] = EvalCondition(s);
          if (IfState[IfDepth]) IfTaken[IfDepth] = 1;
        } else {
          IfState[IfDepth] = 0;
        }
        break;
      }
      if (LowerCase(s) == "else") {
        if (IfDepth == 0) ScriptError("Else.NoIfFound", "Kein passendes \"If\" zum \"EndIf\"", s);
        IfState[IfDepth] = !IfTaken[IfDepth];
        IfTaken[IfDepth] = 1;
        break;
      }
      if (LowerCase(Copy(s, 1, 5)) == "endif") {
        if (IfDepth == 0) ScriptError("Endif.NoIf", "Kein passendes \"If\" zum \"EndIf\"", s);
        --IfDepth;
        break;
      }
      if (executing) InterpreteLine(s);
      break;
    }
    case LineKind::For:
    case LineKind::ForDo:
      if (executing) ExecuteFor(s);
      break;
    case LineKind::Next:
      if (executing) NextStep();
      break;
    case LineKind::Wend:
      if (executing) WendStep();
      break;
    case LineKind::Until:
      if (executing) UntilStep();
      break;
    case LineKind::Loop:
      if (executing) LoopStep();
      break;
    case LineKind::Repeat:
      if (executing) RepeatStart(CurrentLine);
      break;
    case LineKind::Endless:
      if (executing) EndlessStart(CurrentLine);
      break;
    case LineKind::While:
      if (executing) {
        if (!StartsWithKeyword("While", s) || s.empty())
          ScriptError("While.FalseUse", "Falsche \"While\"-Syntax: While <Bedingung>", s);
        WhileStart(CurrentLine, s);
        WendStep();
      }
      break;
    case LineKind::Sub:
      SkipSub();
      break;
    case LineKind::EndSub:
      ReturnFromSub();
      break;
    default:
      break;
  }

  // A jump lands after the target line and the lines joined into it.
  if (CurrentLine != startLine) consumed = ContinuationCount(CurrentLine);
}

// The flow ran into a sub: it goes on after its End Sub.
void TVQSkript::SkipSub() {
  for (int line = CurrentLine + 1; line <= Count(); ++line) {
    if (GetLine(line - 1).Kind() == LineKind::EndSub) {
      CurrentLine = line;
      return;
    }
  }
  std::string name = Trim(GetLine(CurrentLine - 1).Source());
  StartsWithKeyword("Sub", name);
  ScriptErrorFmt("SubXXX.NoEndSub", "Kein \"End sub\" für \"Sub %s\"", {name});
}

void TVQSkript::ExecuteFor(std::string& s) {
  if (!StartsWithKeyword("For", s)) return;
  auto invalid = [&]() {
    ScriptError("For.InvalidUse",
                "Falsche \"For\"-Syntax: For %Variable% = <Anfangswert> to <Endwert> [ Step "
                "<Schrittweite> ] wäre korrekt!",
                s);
  };

  std::string name;
  switch (ParseVarRef(s, name)) {
    case 1: {
      const TVarObj* v = Variables->Find(name);
      if (v->VarType != VarType::String && v->VarType != VarType::Float &&
          v->VarType != VarType::Integer)
        invalid();
      break;
    }
    case 2:
      Variables->Declare(name, VarType::String);
      break;
    default:
      invalid();
  }
  double start = 0;
  double endValue = 0;
  double step = 1;
  if (!StartsWithKeyword("=", s) || !InterpreteNumeric(s, start) || !StartsWithKeyword("to", s) ||
      !InterpreteNumeric(s, endValue))
    invalid();
  if (StartsWithKeyword("Step", s) && !InterpreteNumeric(s, step)) invalid();

  if (StartsWithKeyword("do", s)) {
    const bool runs = start == endValue || Sign(endValue - start) == Sign(step);
    if (!runs) return;
    double value = start;
    for (;;) {
      TVarObj* v = Variables->Find(name);
      if (v == nullptr) return;  // the command left the frame that held it
      v->SetFloat(value);
      std::string command = s;
      InterpreteLine(command);
      if (RunState == RunStates::Ended) return;
      const double next = value + step;
      // A value that no longer changes would never reach the end.
      if (next == value) return;
      value = next;
      if (!((step > 0 && value <= endValue) || (step < 0 && value >= endValue))) return;
      if (!StepAllowed()) {
        RunState = RunStates::Ended;
        return;
      }
    }
  }

  if (std::fabs(step) < 1e-10)
    ScriptError("For.ToLowSteps", "Schrittweite in For-Variable darf nicht gleich 0 sein!");
  if (!s.empty()) invalid();
  ForStart(CurrentLine, name, start, endValue, step);
  NextStep();
}
