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
