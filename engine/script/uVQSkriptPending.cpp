// Commands and helpers of the script object that are not available yet. The
// dispatch reaches them already; each reports itself through the script error
// until its own file replaces it here.
#include "SysUtils.h"
#include "uGetStr.h"
#include "uTransla.h"
#include "uVQSkript.h"

void TVQSkript::NotAvailable(std::string_view what) {
  ScriptErrorFmt("Command.NotAvailable", "\"%s\" ist in dieser Version nicht verfügbar",
                 {std::string(what)});
}

// Text commands.
void TVQSkript::SetCommand(std::string&) { NotAvailable("Set"); }
void TVQSkript::AppendCommand(std::string&) { NotAvailable("Append"); }
void TVQSkript::InsertCommand(std::string&) { NotAvailable("Insert"); }
void TVQSkript::DeleteCommand(std::string&) { NotAvailable("Delete"); }

// Do and HamsterApp.
void TVQSkript::DoCommand(std::string&) { NotAvailable("Do"); }
void TVQSkript::HamsterAppCommand(std::string&) { NotAvailable("HamsterApp"); }

// Collected header lines and the 8-bit test.
bool TVQSkript::Has8BitChars() { NotAvailable("Has8BitChars"); }
void TVQSkript::ApplyHHeaders() {}

// String arguments: only the expression on the same line so far.
void TVQSkript::ParseStringArgument(std::vector<std::string>& list, std::string text,
                                    bool replace, bool /*raw*/) {
  text = Trim(text);
  if (text.empty() || StartsWithKeyword("from", text)) NotAvailable("Text block / from");
  if (!StartsWithKeyword(":", text)) StartsWithKeyword("=", text);
  std::string value;
  if (!InterpreteString(text, value))
    ScriptErrorFmt("StringExprXXX.Invalid",
                   "Unzulässiger Stringausdruck: \"%s\" ist keine String-Konstante, keine "
                   "String-Funktion und keine Variable!",
                   {text}, text);
  if (!Trim(text).empty())
    ScriptErrorFmt("AfterStringExpr.Invalid",
                   "Der Text nach dem Stringausdruck kann nicht mehr sinnvoll interpretiert "
                   "werden: \"%s\"",
                   {text}, text);
  if (replace) list.clear();
  for (std::string& line : SplitLines(value + "\r\n")) list.push_back(std::move(line));
}

std::string TVQSkript::ExpandWildcards(const std::string& text) { return text; }

// ===========================================================================
// PROVISIONAL until uVQSkriptConditions.cpp and uVQSkriptInfo.cpp land: delete
// everything below this line then. Conditions know true, false, brackets, not,
// Boolean variables and comparisons with = <> < > <= >=; the display writes the
// error to stderr and ends the run.

#include <iostream>

#include "uGetNum.h"
#include "uVarList.h"

namespace {
bool ReadCompareOp(std::string& s, std::string& op) {
  for (const char* candidate : {"<>", "<=", ">=", "=", "<", ">"})
    if (StartsWithKeyword(candidate, s)) {
      op = candidate;
      return true;
    }
  return false;
}
template <class T>
bool Compare(const T& a, const std::string& op, const T& b) {
  if (op == "=") return a == b;
  if (op == "<>") return a != b;
  if (op == "<") return a < b;
  if (op == ">") return a > b;
  if (op == "<=") return a <= b;
  return a >= b;
}
}  // namespace

bool TVQSkript::EvalCondition(std::string& s) {
  s = Trim(s);
  bool result = true;
  bool first = true;
  while (!s.empty()) {
    std::string combiner;
    if (!first) {
      if (StartsWithKeyword("or", s)) combiner = "or";
      else if (StartsWithKeyword("and", s)) combiner = "and";
      else if (StartsWithKeyword("xor", s)) combiner = "xor";
      else break;
    }
    bool negate = false;
    while (StartsWithKeyword("not", s)) negate = !negate;
    bool value = false;
    std::string name, rest = s, inner;
    if (SplitParenArgs(rest, inner, true)) {
      value = EvalCondition(inner);
      s = rest;
    } else if (StartsWithKeyword("true", s)) {
      value = true;
    } else if (StartsWithKeyword("false", s)) {
      value = false;
    } else if (ParseVarRef(rest, name) == 1 &&
               Variables->Find(name)->VarType == VarType::Boolean) {
      value = Variables->Find(name)->AsBoolean();
      s = rest;
    } else {
      std::string left, right, op;
      std::string copy = s;
      double a = 0, b = 0;
      if (InterpreteString(copy, left) && ReadCompareOp(copy, op) && InterpreteString(copy, right)) {
        value = Compare(left, op, right);
        s = copy;
      } else if (InterpreteNumeric(s, a) && ReadCompareOp(s, op) && InterpreteNumeric(s, b)) {
        value = Compare(a, op, b);
      } else {
        ScriptErrorFmt("BoolExpr.Invalid", "Unbekannter Vergleichsausdruck \"%s\"", {s}, s);
      }
    }
    if (negate) value = !value;
    if (first || combiner.empty()) result = value;
    else if (combiner == "or") result = result || value;
    else if (combiner == "and") result = result && value;
    else result = result != value;
    first = false;
  }
  return result;
}

void TVQSkript::ShowScriptInfo(const std::string& errorMsg, const std::string&) {
  if (!errorMsg.empty()) std::cerr << ToUtf8(errorMsg) << '\n';
  RunState = RunStates::Ended;
  throw EAbort();
}

std::string MarkLineBreaks(std::string_view value) {
  std::vector<std::string> lines = SplitLines(value);
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n       <CRLF>";
    text += lines[i];
  }
  return text;
}
