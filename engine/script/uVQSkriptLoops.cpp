// Loop words, the return from a sub and the goto check. Each loop keeps a
// group of entries on the control stack, its head on top; leaving a loop or a
// sub by any road gives back the if depth it was entered at, so that an if
// left open inside it does not count against the nesting limit.
#include <cmath>

#include "SysUtils.h"
#include "uGetStr.h"
#include "uTransla.h"
#include "uVQSkript.h"
#include "uVarList.h"

namespace {

const char* const ForHead = "For-Schleife";
const char* const RepeatHead = "Repeat-Schleife";
const char* const WhileHead = "While-Schleife";
const char* const EndlessHead = "Endless-Loop-Schleife";

double ThroughText(double x) {
  if (!std::isfinite(x)) return x;
  try {
    return StrToNumber(NumberToStr(x));
  } catch (const std::exception&) {
    return x;
  }
}

// Loop numbers are kept as their text, and computed with what the text says.
double AsStored(double x) {
  // Whole numbers of up to 15 digits come back from their text unchanged.
  if (x != 0 && std::fabs(x) < 1e15 && x == std::trunc(x)) return x;
  return ThroughText(x);
}

}  // namespace

int TVQSkript::FindLoopEnd(int headLine, uint8_t headKind, uint8_t endKind,
                           std::string_view beforeSubId, std::string_view beforeSubText,
                           std::string_view inSubId, std::string_view inSubText,
                           std::string_view missingId, std::string_view missingText) {
  int depth = 1;
  for (int line = headLine + 1; line <= Count(); ++line) {
    const uint8_t kind = GetLine(line - 1).Kind();
    if (kind == headKind) {
      ++depth;
    } else if (kind == endKind) {
      if (--depth == 0) return line;
    } else if (kind == LineKind::Sub) {
      ScriptError(beforeSubId, beforeSubText);
    } else if (kind == LineKind::EndSub) {
      ScriptError(inSubId, inSubText);
    }
  }
  ScriptError(missingId, missingText);
}

// Removes Count entries from the top; the if depth goes back to that of the
// last entry removed.
void TVQSkript::RemoveEntries(int count) {
  for (int i = 0; i < count; ++i) {
    if (ControlStack.Empty())
      ShowScriptInfo(FromUtf8("Interner Fehler: Stack kann nach \"break\" nicht korrekt "
                              "aufgeräumt werden, da zuwenig Argumente auf Stack!"),
                     {});
    const int depth = ControlStack[0].IfDepth;
    ControlStack.Pop();
    RestoreIfDepth(depth);
  }
}

// ---------------------------------------------------------------------------
// For ... Next

void TVQSkript::ForStart(int32_t lineNo, const std::string& varName, double start,
                         double endValue, double step) {
  const double current = AsStored(start - step);
  ControlStack.Push({NumberToStr(step), 0, step, IfDepth, 0});
  ControlStack.Push({NumberToStr(endValue), 0, endValue, IfDepth, 0});
  ControlStack.Push({NumberToStr(current), 0, current, IfDepth, 0});
  ControlStack.Push({varName, 0, 0, IfDepth, 0});
  ControlStack.Push({ForHead, lineNo, 0, IfDepth, 5});
  TVarObj* v = Variables->Find(varName);
  if (v == nullptr) v = Variables->Declare(varName, VarType::String);
  v->SetFloat(start);
}

void TVQSkript::NextStep() {
  if (!ControlStack.TopIs("For", 5))
    ScriptError("Next.MissingFor", "\"Next\" ohne passendes \"For\"!");
  const int32_t headLine = ControlStack[0].Line;
  const int headIfDepth = ControlStack[0].IfDepth;
  TControlEntry& current = ControlStack[2];
  const double endValue = ControlStack[3].Value;
  const double step = ControlStack[4].Value;
  const double next = AsStored(current.Value + step);
  // A value that no longer changes would never reach the end.
  const bool again = next != current.Value &&
                     ((step > 0 && next <= endValue) || (step < 0 && next >= endValue));
  if (again) {
    TVarObj* v = Variables->Find(ControlStack[1].Text);
    if (v == nullptr) v = Variables->Declare(ControlStack[1].Text, VarType::String);
    v->SetFloat(next);
    current.Value = next;
    current.Text = v->Text;  // the same text, formatted once
    CurrentLine = headLine;
    RestoreIfDepth(headIfDepth);
    return;
  }
  ControlStack.Pop(5);
  RestoreIfDepth(headIfDepth);
  CurrentLine = FindLoopEnd(
      headLine, LineKind::For, LineKind::Next, "For.MissingNextbeforeNextSub",
      "Zugehöriges \"Next\" muß sich vor einem Prozeduranfang (Sub ...) befinden!",
      "For.MissingNextInSameSub", "Zugehöriges \"Next\" zum \"For\" fehlt in der aktuellen Prozedur!",
      "For.MissingNext", "Zugehöriges \"Next\" fehlt!");
}

// ---------------------------------------------------------------------------
// Repeat ... Until

void TVQSkript::RepeatStart(int32_t lineNo) {
  ControlStack.Push({{}, 0, 0, IfDepth, 0});
  ControlStack.Push({RepeatHead, lineNo, 0, IfDepth, 2});
}

void TVQSkript::UntilStep() {
  if (ControlStack.Empty())
    ScriptError("Until.MissingRepeat", "\"Until\" ohne vorheriges \"Repeat\"!");
  if (!ControlStack.TopIs("Repeat", 2))
    ScriptError("Until.MissingRepeat", "\"Until\" ohne passendes \"Repeat\"!");
  const TControlEntry head = ControlStack[0];
  TControlEntry& until = ControlStack[1];
  if (until.Line == 0) {
    until.Line = FindLoopEnd(
        head.Line, LineKind::Repeat, LineKind::Until, "Repeat.MissingUntilbeforeNextSub",
        "Zugehöriges \"Until\" muß sich vor einem Prozeduranfang (Sub ...) befinden!",
        "Repeat.MissingUntilInSameSub",
        "Zugehöriges \"Until\" zum \"Repeat\" fehlt in der aktuellen Prozedur!",
        "Repeat.MissingUntil", "Zugehöriges \"Until\" fehlt!");
    std::string condition = Trim(GetLine(until.Line - 1).Source());
    StartsWithKeyword("Until", condition);
    until.Text = condition;
  }
  const int32_t untilLine = until.Line;
  std::string condition = until.Text;
  if (!EvalCondition(condition)) {
    CurrentLine = head.Line;
    RestoreIfDepth(head.IfDepth);
    return;
  }
  CurrentLine = untilLine;
  ControlStack.Pop(2);
  RestoreIfDepth(head.IfDepth);
}

// ---------------------------------------------------------------------------
// While ... Wend

void TVQSkript::WhileStart(int32_t lineNo, const std::string& condition) {
  ControlStack.Push({condition, 0, 0, IfDepth, 0});
  ControlStack.Push({WhileHead, lineNo, 0, IfDepth, 2});
}

void TVQSkript::WendStep() {
  if (ControlStack.Empty())
    ScriptError("Wend.MissingWhile", "\"Wend\" ohne vorheriges \"While\"!");
  if (!ControlStack.TopIs("While", 2))
    ScriptError("Wend.MissingWhile", "\"Wend\" ohne passendes \"While\"!");
  const TControlEntry head = ControlStack[0];
  std::string condition = ControlStack[1].Text;
  if (EvalCondition(condition)) {
    CurrentLine = head.Line;
    RestoreIfDepth(head.IfDepth);
    return;
  }
  ControlStack.Pop(2);
  RestoreIfDepth(head.IfDepth);
  CurrentLine = FindLoopEnd(
      head.Line, LineKind::While, LineKind::Wend, "While.MissingWendForNextSub",
      "Zugehöriges \"Wend\" muß sich vor einem Prozeduranfang (Sub ...) befinden!",
      "While.MissingWendInSameSub", "Zugehöriges \"Wend\" zum \"While\" fehlt in der aktuellen Prozedur!",
      "While.MissingWend", "Zugehöriges \"Wend\" fehlt!");
}

// ---------------------------------------------------------------------------
// Endless ... Loop

void TVQSkript::EndlessStart(int32_t lineNo) {
  ControlStack.Push({EndlessHead, lineNo, 0, IfDepth, 1});
}

void TVQSkript::LoopStep() {
  if (!ControlStack.TopIs("Endless", 1))
    ScriptError("Loop.MissingEndless", "\"Loop\" ohne passendes \"Endless\"!");
  CurrentLine = ControlStack[0].Line;
  RestoreIfDepth(ControlStack[0].IfDepth);
}

// ---------------------------------------------------------------------------
// break, continue, return

void TVQSkript::BreakLoop() {
  int depth = 0;
  for (int line = CurrentLine + 1; line <= Count(); ++line) {
    const uint8_t kind = GetLine(line - 1).Kind();
    switch (kind) {
      case LineKind::Sub:
      case LineKind::For:
      case LineKind::While:
      case LineKind::Repeat:
      case LineKind::Endless:
      case LineKind::Select:
        ++depth;
        continue;
      case LineKind::EndSub:
      case LineKind::Next:
      case LineKind::Wend:
      case LineKind::Until:
      case LineKind::Loop:
      case LineKind::EndSelect:
        break;
      default:
        continue;
    }
    if (depth > 0) {
      --depth;
      continue;
    }
    int entries = 0;
    switch (kind) {
      case LineKind::Next:
        entries = 5;
        break;
      case LineKind::Wend:
      case LineKind::Until:
        entries = 2;
        break;
      case LineKind::Loop:
        entries = 1;
        break;
      case LineKind::EndSub:
        ScriptError("Break.MissingLoopBeforeEndsub",
                    "Break ohne passende Schleife, Prozeduren beendet man mit \"Return\"!");
      default:
        ScriptError("Break.MissingLoopBeforeEndselect",
                    "Break ohne passende Schleife, Select/Case-Statements sind mit break nicht "
                    "beendbar!");
    }
    CurrentLine = line;
    RemoveEntries(entries);
    return;
  }
  ScriptError("Break.MissingLoop", "Break ohne passende Schleife!");
}

void TVQSkript::ContinueLoop() {
  if (ControlStack.Empty())
    ScriptError("Continue.MissingLoop", "Continue ohne passende Schleife");
  if (ControlStack.TopIs("For", 5))
    NextStep();
  else if (ControlStack.TopIs("While", 2))
    WendStep();
  else if (ControlStack.TopIs("Repeat", 2))
    UntilStep();
  else if (ControlStack.TopIs("Endless", 1))
    LoopStep();
  else
    ScriptErrorFmt("Continue.InvalidUse",
                   "Auf das Konstrukt \"%s\" kann \"Continue\" nicht angewendet werden!",
                   {ControlStack[0].Text});
}

void TVQSkript::ReturnFromSub() {
  if (ControlStack.Empty())
    ScriptError("ReturenEndSub.MissingGosub", "\"Return\"/\"EndSub\" ohne vorheriges \"GoSub\"!");
  if (!ControlStack.TopIs("Sub", 1))
    ScriptErrorFmt("EndSub.OpenLoop",
                   "Sub kann erst verlassen werden, wenn zumindest \"%s\" beendet worden ist!",
                   {ControlStack[0].Text});
  const TControlEntry head = ControlStack[0];
  CurrentLine = head.Line;
  ControlStack.Pop();
  RestoreIfDepth(head.IfDepth);
  Variables->LeaveSub();
}

// ---------------------------------------------------------------------------
// goto

void TVQSkript::CheckGoto(int32_t fromLine, int32_t toLine) {
  const bool forward = toLine > fromLine;
  const int first = forward ? fromLine + 1 : toLine + 1;
  const int last = forward ? toLine - 1 : fromLine - 1;
  // Subs are counted in the direction of the jump: passing the end of the sub
  // the jump starts in leaves it, even when another sub is entered after it.
  int subs = 0;
  bool leavesSub = false;
  int loops = 0;
  for (int line = std::max(first, 1); line <= last && line <= Count(); ++line) {
    const uint8_t kind = GetLine(line - 1).Kind();
    if (kind == LineKind::Sub || kind == LineKind::EndSub) {
      subs += (kind == LineKind::Sub) == forward ? 1 : -1;
      // Walking backwards the lines come in reverse order, so the running
      // balance is checked once all are counted (below).
      if (forward && subs < 0) leavesSub = true;
    }
    switch (kind) {
      case LineKind::For: loops += 5; break;
      case LineKind::Next: loops -= 5; break;
      case LineKind::While:
      case LineKind::Repeat: loops += 2; break;
      case LineKind::Wend:
      case LineKind::Until: loops -= 2; break;
      case LineKind::Endless: ++loops; break;
      case LineKind::Loop: --loops; break;
      default: break;
    }
  }
  if (!forward) {
    int running = 0;
    for (int line = std::min(last, Count()); line >= std::max(first, 1); --line) {
      const uint8_t kind = GetLine(line - 1).Kind();
      if (kind == LineKind::EndSub) ++running;
      if (kind == LineKind::Sub && --running < 0) leavesSub = true;
    }
  }
  if (forward) loops = -loops;
  if (subs != 0 || leavesSub)
    ScriptError("Goto.JumpOutOfSubNotAllowed",
                "Goto würde aktuelle Prozedur verlassen - solche Sprünge sind unzulässig!");
  if (loops < 0)
    ScriptError("Goto.JumpIntoLoopNotAllowed",
                "Goto würde in das Innere einer Schleife springen - solche Sprünge sind "
                "unzulässig!");
  ControlStack.Pop(loops);
}
