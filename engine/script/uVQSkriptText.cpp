// The text commands Set, Append, Insert and Delete: the Intro, the signature,
// the Lines to append, header lines, body lines, the Last Action, options and
// string variables.
#include <cmath>
#include <limits>

#include "SysUtils.h"
#include "uArtikel.h"
#include "uGetNum.h"
#include "uGetStr.h"
#include "uHeader.h"
#include "uHeaderCoding.h"
#include "uMIMEInfo.h"
#include "uTools.h"
#include "uTransla.h"
#include "uVQSkript.h"
#include "uVarList.h"

namespace {

// A line number from a script value: truncated toward zero; a value no list
// can reach stays out of range instead of overflowing.
int LineNumber(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return std::numeric_limits<int>::max();
  if (x <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(std::trunc(x));
}

// The lines as one text, without a final line break.
std::string JoinedText(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

// A plain header name standing alone: taken as it is written, not as a
// string expression (the header Path is not the function Path).
bool IsPlainFieldName(const std::string& s) {
  if (s.empty()) return false;
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= ' ' || u >= 127 || c == '"' || c == '\'' || c == '%' || c == '(' || c == ')' ||
        c == '[' || c == ']' || c == '+')
      return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Set

void TVQSkript::SetCommand(std::string& text) {
  const bool raw = StartsWithKeyword("raw", text);
  if (StartsWithKeyword("Introduction", text) || StartsWithKeyword("Intro", text)) {
    std::vector<std::string> lines;
    ParseStringArgument(lines, text, true, raw);
    if (TChangedStringlist* intro = GetIntro()) intro->Assign(lines);
    return;
  }
  if (StartsWithKeyword("Sig", text) || StartsWithKeyword("Signature", text)) {
    SetSignature(text, raw, false);
    return;
  }
  if (StartsWithKeyword("Lines", text) || StartsWithKeyword("Line", text)) {
    ParseStringArgument(LinesToAppend, text, true, raw);
    return;
  }
  if (StartsWithKeyword("Macro", text)) {
    std::string name;
    const bool named = InterpreteString(text, name);
    if (!named || hooks::Length(name) < 6) {
      const std::string message =
          "Hinter \"Set Macro\" muß noch der Name des Macros folgen, dieser Name muß mindestens "
          "6 Zeichen umfassen";
      // Without a name it is unclear whether a block follows.
      if (!named) ScriptError("SetMacro.MissingName", message, text);
      ArgumentError(text, raw, "SetMacro.MissingName", message);
    }
    std::vector<std::string> lines;
    ParseStringArgument(lines, text, true, raw);
    ExpandMacro(name, lines);
    return;
  }
  if (StartsWithKeyword("Header", text) || StartsWithKeyword("H", text)) {
    if (!text.empty()) {
      AssignHeader(text, raw, false);
      return;
    }
    const int32_t commandLine = CurrentLine;
    std::vector<std::string> lines;
    ParseStringArgument(lines, text, true, raw);
    const int32_t endLine = CurrentLine;
    try {
      AssignHeader(JoinedText(lines), true, false);
    } catch (const EAbort&) {
      // A retry repeats the command, not the block's "end" line.
      if (RunState == RunStates::Retry && CurrentLine == endLine) CurrentLine = commandLine;
      throw;
    }
    return;
  }
  if (StartsWithKeyword("Headercontent", text)) {
    SetHeaderContent(text, raw);
    return;
  }
  if (StartsWithKeyword("Bodyline", text)) {
    SetBodyline(text, raw);
    return;
  }
  if (StartsWithKeyword("Option", text) || StartsWithKeyword("Opt", text)) {
    if (!SetOption(text))
      ScriptError("SetOption.InvalidUse",
                  "Fehlerhafter \"Set Option\"-Befehl, korrekt wäre: Set Option INIWert = Wert",
                  text);
    return;
  }
  if (StartsWithKeyword("last", text)) {
    SetLastAction(text);
    return;
  }
  std::string rest = text;
  std::string name;
  if (ParseVarRef(rest, name) != 0) {
    AssignVariable(name, rest, raw);
    return;
  }
  ScriptErrorFmt("SetXXX.Invalid",
                 "Unbekannter Set-Befehl \"%s\" (z.Z. nur Variablenname, \"H[eader]\", "
                 "\"Intro[duction]\" und \"Option\" erlaubt)",
                 {text}, text);
}

void TVQSkript::SetSignature(std::string& text, bool raw, bool append) {
  int n = 0;
  if (StartsWithKeyword("#", text)) {
    double x = 0;
    if (!InterpreteNumeric(text, x))
      ScriptError("SetSig#.MissingNumber",
                  "Hinter \"Set Sig #\" muß die Nummer der gewünschten Signatur folgen!", text);
    n = LineNumber(x);
  }
  std::vector<std::string> lines;
  ParseStringArgument(lines, text, true, raw);
  PickSignature(lines, n);
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return;
  TSig& sig = part->Sig();
  if (append) {
    for (const std::string& line : lines) sig.Add(line);
  } else {
    sig.SetInternalText(JoinLines(lines));
  }
}

void TVQSkript::SetHeaderContent(std::string& text, bool raw) {
  THeader& header = Article->Header;
  double x = 0;
  const bool numbered = InterpreteNumeric(text, x);
  const int n = LineNumber(x);
  if (!numbered || n < 1 || n > header.Count()) {
    const char* message = "Hinter \"Set HeaderContent\" muß noch die Zeilennummer folgen";
    if (!numbered) ScriptError("SetHeaderContent.MissingLineNumber", message, text);
    ArgumentError(text, raw, "SetHeaderContent.MissingLineNumber", message);
  }
  std::vector<std::string> lines;
  ParseStringArgument(lines, text, true, raw);
  std::string value = lines.empty() ? std::string() : lines.front();
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty()) continue;
    if (line[0] != '\t' && line[0] != ' ') value += ' ';
    value += line;
  }
  // The header may have lost lines while the argument was read.
  if (n > header.Count()) return;
  std::string fieldLine = header.FieldNameAt(n - 1) + ": " + value;
  if (!raw) fieldLine = EncodeHeader(*HeaderCharsets, fieldLine);
  header.Put(n - 1, fieldLine);
}

void TVQSkript::SetBodyline(std::string& text, bool raw) {
  TMIMEPart* part = CurrentPart();
  double x = 0;
  const bool numbered = InterpreteNumeric(text, x);
  if (!numbered)
    ScriptError("SetBodyline.MissingLineNumber",
                "Hinter \"Set Bodyline\" muß noch die Zeilennummer folgen", text);
  const int n = LineNumber(x);
  // The argument is read even for a line that does not exist, so that a text
  // block after the command is not run as commands; the line is then left
  // alone, as Delete Bodyline leaves it.
  std::vector<std::string> lines;
  ParseStringArgument(lines, text, true, raw);
  if (part == nullptr) return;
  TBody& body = part->Body();
  if (n >= 1 && n <= body.Count()) body.SetInternalLine(n - 1, JoinedText(lines));
}

void TVQSkript::SetLastAction(std::string& text) {
  if (!StartsWithKeyword("action", text) || !StartsWithKeyword("=", text))
    ScriptErrorFmt("SetLastXXX.Invalid",
                   "Unbekannter Set-Last-Befehl \"%s\" (z.Z. nur \"Set Last Action = ...\" erlaubt)",
                   {text}, text);
  std::string value = text;
  auto is = [&value](std::string_view first, std::string_view second) {
    std::string s = value;
    return StartsWithKeyword(first, s) && (second.empty() || StartsWithKeyword(second, s)) &&
           s.empty();
  };
  if (is("Save", "Changes"))
    Article->LastAction = 0;
  else if (is("Cancel", "Changes"))
    Article->LastAction = 1;
  else if (is("Delete", ""))
    Article->LastAction = 2;
  else if (is("Sig", "Headers"))
    Article->LastAction = 3;
  else
    ScriptErrorFmt("SetLastAction.Invalid",
                   "Unbekannter Set-Last-Action-Befehl \"%s\" (z.Z. nur \"Save Changes\", "
                   "\"Cancel Changes\", \"Delete\", \"Sig Body\" und \"Sig Headers\" erlaubt)",
                   {text}, text);
}

// ---------------------------------------------------------------------------
// Append

void TVQSkript::AppendCommand(std::string& text) {
  const bool raw = StartsWithKeyword("raw", text);
  if (StartsWithKeyword("Introduction", text) || StartsWithKeyword("Intro", text)) {
    std::vector<std::string> lines;
    ParseStringArgument(lines, text, true, raw);
    if (TChangedStringlist* intro = GetIntro()) intro->AddStrings(lines);
    return;
  }
  if (StartsWithKeyword("Header", text) || StartsWithKeyword("H", text)) {
    AssignHeader(text, raw, true);
    return;
  }
  if (StartsWithKeyword("Lines", text) || StartsWithKeyword("Line", text)) {
    ParseStringArgument(LinesToAppend, text, false, raw);
    return;
  }
  if (StartsWithKeyword("Signature", text) || StartsWithKeyword("Sig", text)) {
    SetSignature(text, raw, true);
    return;
  }
  std::string rest = text;
  std::string name;
  if (const uint8_t found = ParseVarRef(rest, name); found != 0) {
    AppendToVariable(name, found, rest, raw);
    return;
  }
  ScriptErrorFmt("AppendXXX.Invalid",
                 "Unbekannter Append-Befehl \"%s\" (z.Z. nur \"Intro[duction]\", \"Line[s]\", "
                 "\"Sig[nature]\", \"H[eader]\" und Variablenname erlaubt)",
                 {text}, text);
}

void TVQSkript::AppendToVariable(const std::string& name, uint8_t found, std::string& text,
                                 bool raw) {
  if (found != 1)
    ArgumentError(text, raw, "VarXXX.Invalid.NoAppend",
                  "Die Variable %s ist noch nicht definiert, Anhängen ist daher unmöglich",
                  {"%" + name + "%"});
  if (Variables->Find(name)->VarType != VarType::String)
    ArgumentError(text, raw, "VarXXX.NotString.NoAppend",
                  "Die Variable %s ist keine Stringvariable, Anhängen ist daher unmöglich",
                  {"%" + name + "%"});
  std::vector<std::string> lines;
  ParseStringArgument(lines, text, true, raw);
  // The argument may have run a sub that took the variable away.
  if (TVarObj* v = Variables->Find(name)) v->SetString(v->AsString() + "\r\n" + JoinedText(lines));
}

// ---------------------------------------------------------------------------
// Insert

void TVQSkript::InsertCommand(std::string& text) {
  if (!StartsWithKeyword("BodyLine", text))
    ScriptErrorFmt("InsertXXX.Invalid",
                   "Unbekannter Insert-Befehl \"%s\" (z.Z. nur \"Bodyline\" erlaubt)", {text},
                   text);
  double x = 0;
  std::string value;
  if (!InterpreteNumeric(text, x) || !StartsWithKeyword("=", text) ||
      !InterpreteString(text, value))
    ScriptError("InsertBodyLine.InvalidUse",
                "Falsche Syntax, korrekt wäre: \"Insert BodyLine Zeile = Inhalt\"", text);
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return;
  TBody& body = part->Body();
  const int index = std::max(LineNumber(x), 1) - 1;
  if (index >= body.Count())
    body.Add(value);
  else
    body.Insert(index, value);
}

// ---------------------------------------------------------------------------
// Delete

void TVQSkript::DeleteCommand(std::string& text) {
  TMIMEPart* part = CurrentPart();
  if (StartsWithKeyword("Header", text)) {
    std::string name = Trim(text);
    if (!IsPlainFieldName(name)) {
      std::string expression = text;
      std::string value;
      if (InterpreteString(expression, value)) name = Trim(value);
    }
    // No name, no field: nothing to delete.
    if (name.empty()) return;
    while (Article->Header.SetField(name, "")) {
    }
    return;
  }
  if (StartsWithKeyword("Intro", text) || StartsWithKeyword("Introduction", text)) {
    if (part != nullptr) part->DeleteNamedList("Intro");
    return;
  }
  if (StartsWithKeyword("Bodylines", text)) {
    DeleteBodyLines(text);
    return;
  }
  if (StartsWithKeyword("Bodyline", text)) {
    DeleteBodyLine(text);
    return;
  }
  if (StartsWithKeyword("between", text)) {
    DeleteBetweenCommand(text);
    return;
  }
  if (StartsWithKeyword("empty", text)) {
    if (!StartsWithKeyword("Lines", text) || !StartsWithKeyword("at", text) ||
        !StartsWithKeyword("end", text) || !text.empty())
      ScriptError("DeleteEmpyt.InvalidUse",
                  "Nach \"Delete empty\" ist bislang nur \"Lines at end\" zulässig", text);
    DeleteEmptyLinesAtEnd();
    return;
  }
  if (StartsWithKeyword("Blanks", text)) {
    if (!StartsWithKeyword("at", text) || !StartsWithKeyword("end", text) ||
        !StartsWithKeyword("of", text) || !StartsWithKeyword("lines", text) || !text.empty())
      ScriptError("DeleteBlanks.InvalidUse",
                  "Nach \"Delete Blanks\" ist bislang nur \"at end of lines\" zulässig", text);
    DeleteBlanksAtEndOfLines();
    return;
  }
  if (StartsWithKeyword("part", text)) {
    DeletePart(text);
    return;
  }
  if (StartsWithKeyword("sig", text) || StartsWithKeyword("signature", text)) {
    if (part == nullptr) return;
    // An empty signature behind its delimiter line goes with the delimiter.
    const bool had = part->HasSignature();
    TSig& sig = part->Sig();
    sig.Clear();
    if (had) sig.Changed = true;
    return;
  }
  if (StartsWithKeyword("BodyHeader", text)) {
    DeleteHeaderEntry(Trim(text));
    return;
  }
  if (StartsWithKeyword("Line", text) || StartsWithKeyword("Lines", text)) {
    LinesToAppend.clear();
    return;
  }
  ScriptErrorFmt("DeleteXXX.Invalid", "Unbekannte Delete-Anweisung \"%s\"", {text}, text);
}

void TVQSkript::DeleteBodyLines(std::string& text) {
  StartsWithKeyword("from", text);
  double a = 0, b = 0;
  if (!InterpreteNumeric(text, a) || !StartsWithKeyword("to", text) ||
      !InterpreteNumeric(text, b) || !text.empty())
    ScriptError("DeleteBodyLinesFromTo.InvalidUse",
                "Falsche Syntax, korrekt ist: \"Delete BodyLines from <Zeile> to <Zeile>\"", text);
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return;
  TBody& body = part->Body();
  const int from = std::max(LineNumber(a), 1);
  const int to = std::min(LineNumber(b), body.Count());
  for (int i = to; i >= from; --i) body.Delete(i - 1);
}

void TVQSkript::DeleteBodyLine(std::string& text) {
  double x = 0;
  if (!InterpreteNumeric(text, x) || !text.empty())
    ScriptError("DeleteBodyline.InvalidUse",
                "Falsche Syntax, korrekt ist: \"Delete BodyLine <Zeile>\"", text);
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return;
  TBody& body = part->Body();
  const int n = std::max(LineNumber(x), 1);
  if (n <= body.Count()) body.Delete(n - 1);
}

void TVQSkript::DeleteBetweenCommand(std::string& text) {
  auto invalid = [&]() {
    ScriptError("DeleteBetween.InvalidUse",
                "Falsche Syntax, korrekt ist: \"Delete between ( first | last ) <regexp>, "
                "<regexp>, Trenner mitlöschen? [, Ersatztext]\". Bei \"first\" muß zumindest der "
                "zweite regexp-Ausdruck gefüllt sein, bei \"last\" zumindest der erste "
                "regexp-Ausdruck.",
                text);
  };
  bool first = true;
  if (!StartsWithKeyword("first", text)) {
    if (!StartsWithKeyword("last", text)) invalid();
    first = false;
  }
  std::string startRegex, endRegex, replacement;
  if (!InterpreteString(text, startRegex) || !StartsWithKeyword(",", text) ||
      !InterpreteString(text, endRegex) || !StartsWithKeyword(",", text))
    invalid();
  // An empty condition would read as true.
  text = Trim(text);
  if (text.empty()) invalid();
  const bool deleteDelimiters = EvalCondition(text);
  text = Trim(text);
  bool useReplacement = false;
  if (StartsWithKeyword(",", text)) {
    if (!InterpreteString(text, replacement)) invalid();
    useReplacement = true;
  }
  if (!Trim(text).empty() || (first && endRegex.empty()) || (!first && startRegex.empty()))
    invalid();
  DeleteBetween(first, startRegex, endRegex, deleteDelimiters, useReplacement, replacement);
}

void TVQSkript::DeletePart(std::string& text) {
  std::string reason;
  if (!StartsWithKeyword("because", text) || !InterpreteString(text, reason))
    ScriptError("DeletePart.InvalidUse",
                "Falsche Syntax, korrekt ist: \"Delete Part because <Begründung>\"", text);
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return;
  part->Body().SetInternalText(FromUtf8("Gelöscht: ") + reason);
  if (part->GetMIMEInfo().Encoding == meBase64) part->SetTransferEncoding(me8Bit);
}
