// Command dispatch: the words that steer the run, sub calls, jumps, variable
// declarations, and the header assignment every other line falls back to.
#include "SysUtils.h"
#include "uArtikel.h"
#include "uGetStr.h"
#include "uHeader.h"
#include "uHeaderCoding.h"
#include "uTools.h"
#include "uTransla.h"
#include "uVQSkript.h"
#include "uVarList.h"

namespace {

constexpr int MaxSubParameters = 19;

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

// Whether ParseVarRef finds a reference at the front of S: "%", at least one
// name character, "%", blanks and control bytes around it.
bool BeginsWithVarRef(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
  if (i == s.size() || s[i] != '%') return false;
  const size_t start = ++i;
  while (i < s.size() && IsVarNameChar(AsciiUpper(s[i]))) ++i;
  return i > start && i < s.size() && s[i] == '%';
}

struct TFormalParameter {
  std::string Name;
  bool ByRef = false;
  uint8_t Type = VarType::String;
};

}  // namespace

void TVQSkript::InterpreteLine(std::string& line) {
  if (BeginsWithVarRef(line)) {
    // The reference is read off the line itself: the rest is all that is used.
    std::string name;
    ParseVarRef(line, name);
    // One-line If and For ... do commands run again and again too.
    if (!RunPlannedAssignment(CurrentLine - 1, name, line)) AssignVariable(name, line, false);
    return;
  }
  std::string text = Trim(line);
  if (StartsWithKeyword("stop", text)) {
    RunState = RunStates::SingleStep;
    return;
  }
  if (StartsWithKeyword("quit", text)) {
    RunState = RunStates::Ended;
    return;
  }
  if (StartsWithKeyword("Next", text)) {
    NextStep();
    return;
  }
  if (StartsWithKeyword("gosub", text)) {
    Gosub(text);
    return;
  }
  const std::string word = LowerCase(Trim(line));
  if (word == "return") {
    ReturnFromSub();
    return;
  }
  if (word == "break") {
    BreakLoop();
    return;
  }
  if (word == "cont" || word == "continue") {
    ContinueLoop();
    return;
  }
  if (StartsWithKeyword("goto", text)) {
    Goto(text);
    return;
  }
  if (StartsWithKeyword("Var", text)) {
    DeclareVariables(text);
    return;
  }
  if (StartsWithKeyword("Set", text)) {
    SetCommand(text);
    return;
  }
  if (StartsWithKeyword("Append", text)) {
    AppendCommand(text);
    return;
  }
  if (StartsWithKeyword("Insert", text)) {
    InsertCommand(text);
    return;
  }
  if (StartsWithKeyword("Delete", text)) {
    DeleteCommand(text);
    return;
  }
  if (StartsWithKeyword("Do", text)) {
    DoCommand(text);
    return;
  }
  if (StartsWithKeyword("HamsterApp", text)) {
    HamsterAppCommand(text);
    return;
  }
  AssignHeader(Trim(line), false, false);
}

// ---------------------------------------------------------------------------
// gosub

void TVQSkript::Gosub(std::string& text) {
  std::string name;
  if (!TakeLeadingName(text, name))
    ScriptError("Gosub.MissingNameofSub",
                "Hinter \"GoSub\" muß noch der Name der gewünschten Sub-Routine folgen!", text);
  int index = 0;
  std::string params;
  if (!FindSub(name, index, params))
    ScriptErrorFmt("SubXXX.Missing", "Kein \"Sub %s\" im Skript auffindbar!", {name});
  if (ControlStack.SubCount() >= MaxSubDepth)
    ScriptErrorFmt("Gosub.MaxNested",
                   "Die maximale Anzahl (%s) verschachtelter Sub-Aufrufe wurde beim Aufruf von "
                   "Sub \"%s\" überschritten!",
                   {IntToStr(MaxSubDepth), name});

  auto invalidParList = [&]() {
    ScriptErrorFmt("SubXXX.InvalidParList", "Die Parameterliste von Sub \"%s\" enthält Fehler",
                   {name});
  };
  std::vector<TFormalParameter> formal;
  params = Trim(params);
  while (!params.empty()) {
    if (static_cast<int>(formal.size()) == MaxSubParameters) invalidParList();
    TFormalParameter p;
    p.ByRef = StartsWithKeyword("Var", params);
    if (ParseVarRef(params, p.Name) == 0) invalidParList();
    if (StartsWithKeyword(":", params) && !TVarList::ParseType(params, p.Type))
      p.Type = VarType::String;
    if (!params.empty() && !StartsWithKeyword(",", params)) invalidParList();
    formal.push_back(std::move(p));
  }

  std::string args = Trim(text);
  {
    std::string group = args;
    std::string inner;
    if (SplitParenArgs(group, inner, true) && group.empty()) args = inner;
  }
  std::vector<std::string> names, values;
  std::vector<uint8_t> types;
  std::vector<bool> byRef;
  size_t k = 0;
  while (!args.empty() && k < formal.size()) {
    const TFormalParameter& p = formal[k];
    std::string value;
    if (p.ByRef) {
      switch (ParseVarRef(args, value)) {
        case 0:
          ScriptErrorFmt("FalseXParVarnameIsNeeded",
                         "Als %s. Parameter wird ein Variablenname erwartet",
                         {IntToStr(static_cast<int64_t>(k + 1))}, args);
        case 2:
          Variables->Declare(value, p.Type);
          break;
        default:
          break;
      }
      if (!args.empty() && !StartsWithKeyword(",", args))
        ScriptError("InvalidParList", "Ungültige Parameterliste", args);
    } else {
      EvalTypedExpression(args, p.Type, value);
      if (!args.empty() && !StartsWithKeyword(",", args))
        ScriptErrorFmt("SubXXX.InvalidParListAtRun",
                       "Ungültige Parameterliste beim Aufruf von Sub \"%s\"", {name}, args);
    }
    names.push_back(p.Name);
    values.push_back(std::move(value));
    types.push_back(p.Type);
    byRef.push_back(p.ByRef);
    ++k;
  }
  // An argument beyond the parameter list is as wrong as a missing one.
  if (k != formal.size() || !args.empty())
    ScriptErrorFmt("SubXXX.FalseCountofParsAtRun",
                   "Anzahl der Parameter für Sub \"%s\" stimmt nicht!", {name});

  Variables->EnterSub(name, names, byRef, values, types);
  ControlStack.Push({"Sub " + name, CurrentLine, 0, IfDepth, 1});
  CurrentLine = index + 1;
}

// ---------------------------------------------------------------------------
// goto

// Block ifs opened minus ifs closed by the lines FirstLine .. LastLine.
int TVQSkript::BlockIfBalance(int firstLine, int lastLine) const {
  int balance = 0;
  for (int line = std::max(firstLine, 1); line <= lastLine && line <= Count(); ++line) {
    const TZeile& z = GetLine(line - 1);
    if (z.Kind() != LineKind::Command) continue;
    std::string s = Trim(z.Source());
    if (StartsWithKeyword("if", s)) {
      if (!FindCommandLineWord(s, "then", true) || Trim(s).empty()) ++balance;
    } else if (LowerCase(Copy(s, 1, 5)) == "endif") {
      --balance;
    }
  }
  return balance;
}

void TVQSkript::Goto(std::string& text) {
  std::string label;
  if (!TakeLeadingName(text, label))
    ScriptError("Goto.MissingNameOfLabel",
                "Hinter \"GoTo\" muß noch der Name des gewünschten Labels (ohne \":\" davor) "
                "folgen!",
                text);
  int index = 0;
  if (!FindLabel(label, index))
    ScriptErrorFmt("LabelXXX.Missing", "Kein Label \":%s\" im Skript auffindbar!", {label});
  const int target = index + 1;
  CheckGoto(CurrentLine, target);
  // A jump out of if blocks closes them; one into a block leaves the depth alone.
  const int depth = target > CurrentLine ? IfDepth + BlockIfBalance(CurrentLine + 1, target - 1)
                                         : IfDepth - BlockIfBalance(target + 1, CurrentLine - 1);
  RestoreIfDepth(depth);
  CurrentLine = target;
}

// ---------------------------------------------------------------------------
// Var

void TVQSkript::DeclareVariables(std::string& text) {
  bool local = true;
  if (!StartsWithKeyword("local", text) && StartsWithKeyword("global", text)) local = false;
  while (!text.empty()) {
    std::vector<std::string> names;
    for (;;) {
      std::string name;
      if (ParseVarRef(text, name) == 0)
        ScriptErrorFmt("VarNameXXX.Invalid", "\"%s\" ist kein korrekter Variablenname", {text},
                       text);
      names.push_back(std::move(name));
      if (!StartsWithKeyword(",", text)) break;
    }
    if (!StartsWithKeyword(":", text))
      ScriptError("Var.AfterVarname.Missing:Type",
                  "Nach dem/der Variablennamen(liste) muß ein Doppelpunkt und ein Variablentyp "
                  "folgen",
                  text);
    uint8_t type = 0;
    if (!TVarList::ParseType(text, type))
      ScriptError("Var.InvalidType",
                  "Kein zulässiger Variablentyp, nur Integer, String, Float und Boolean sind "
                  "zulässig",
                  text);
    std::string value;
    if (StartsWithKeyword("=", text)) EvalTypedExpression(text, type, value);
    for (const std::string& name : names) {
      TVarObj* v = local ? Variables->DeclareLocal(name, type) : Variables->Declare(name, type);
      v->SetString(value);
    }
    StartsWithKeyword(",", text);
    StartsWithKeyword(";", text);
  }
}

// ---------------------------------------------------------------------------
// Header lines

void TVQSkript::AssignHeader(const std::string& text, bool raw, bool append) {
  std::string name, value;
  if (!SplitHeaderLine(text, name, value)) {
    const std::string shown = text.size() > 43 ? text.substr(0, 40) + "..." : text;
    ScriptErrorFmt("NoCommandNoHeaderSet",
                   "Die Zeile \"%s\" enthält weder einen bekannten Befehl (Set, Append, If, ...), "
                   "noch eine gültige Header-Zuweisung a la \"X-Header: Inhalt\", bitte "
                   "auskommentieren (mit \";\") oder korrigieren.",
                   {shown});
  }
  int bad = 0;
  if (!IsValidHeaderName(name, bad))
    ScriptErrorFmt("Headername.InvalidChar",
                   "Unzulässiges Zeichen \"%s\" in Headerbezeichnung! (Falls für lokale Zwecke "
                   "(Hamster) nötig, muß der Header \"%s\" in 'lheader.txt' aufgeführt werden.)",
                   {Copy(name, bad, 1), name});
  if (!raw) value = ExpandWildcards(value);

  // Lines without a field of their own become continuation lines: a line is
  // a field only under a name a field can have, so that every line written
  // is a field or a continuation. Lines of blanks would end the header for
  // some readers and go like empty ones.
  auto isField = [](const std::string& line) {
    std::string fieldName, fieldValue;
    int badAt = 0;
    return line.find(": ") != std::string::npos && SplitHeaderLine(line, fieldName, fieldValue) &&
           !fieldName.empty() && IsValidHeaderName(fieldName, badAt);
  };
  std::vector<std::string> lines = SplitLines(value);
  for (size_t i = lines.size(); i-- > 1;) {
    if (lines[i].find_first_not_of(" \t") == std::string::npos)
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
    else if (lines[i][0] != '\t' && lines[i][0] != ' ' && !isField(lines[i]))
      lines[i] = " " + lines[i];
  }
  // Each line is encoded on its own, under the name of the field it belongs
  // to: encoded as one text, the line breaks would end up inside an encoded
  // word and the fields after it would be swallowed. A continuation line's
  // leading blanks stay outside the encoding: inside an encoded word they
  // would leave a line that is neither field nor continuation.
  std::string prefix = name + ": ";
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string& line = lines[i];
    if (i > 0 && line[0] != ' ' && line[0] != '\t') {
      line = EncodeHeader(*HeaderCharsets, line);
      prefix = line.substr(0, line.find(": ") + 2);
    } else {
      const size_t lead = i > 0 ? line.find_first_not_of(" \t") : 0;
      line = line.substr(0, lead) +
             EncodeHeader(*HeaderCharsets, prefix + line.substr(lead)).substr(prefix.size());
    }
  }
  value = JoinLines(lines, "\r\n");
  while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();

  THeader& header = Article->Header;
  if (append) {
    const std::string fieldLine = name + ": " + value;
    const int at = header.IndexOfField(name);
    if (at >= 0)
      header.Insert(at + 1, fieldLine);
    else
      header.Insert(header.Count(), fieldLine);
  } else if (header.SetField(name, value)) {
    header.Changed = true;
  }
}
