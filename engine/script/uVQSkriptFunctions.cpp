// The script's own string and numeric functions, which read the message being
// corrected, and the access to script variables from the evaluators.
#include <cmath>
#include <limits>

#include "IniFile.h"
#include "Prompter.h"
#include "ProgramDir.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uDriver.h"
#include "uEinstellungen.h"
#include "uGetNum.h"
#include "uGetStr.h"
#include "uHeader.h"
#include "uHeaderCoding.h"
#include "uMIMEInfo.h"
#include "uTools.h"
#include "uTransla.h"
#include "uVQSkript.h"
#include "uVarList.h"
#include "uperlre.h"

namespace {

// The runner carries its own version wherever a script can see it.
std::string VersionText() { return ProgramVersion(); }

struct TStrDef {
  const char* Name;
  const char* Params;
  int Flag;
};

// The row number is the function's Index.
constexpr TStrDef StrDefs[] = {
    {"HeaderName", "#", 0},   {"HeaderContent", "#", 0}, {"RawHeaderContent", "#", 0},
    {"Header", "$", 1},       {"Full", "", 0},           {"First", "$", 0},
    {"Last", "$", 0},         {"DecodeISO", "$", 0},     {"8BitTo7Bit", "$", 0},
    {"MakeAddress", "$$", 0}, {"MakeAdress", "$$", 0},   {"Address", "$", 0},
    {"Adress", "$", 0},       {"FirstName", "$", 0},     {"Name", "$", 0},
    {"BoolToStr", "*", 0},    {"Bodyline", "#", 0},      {"Input", "$$$", 0},
    {"ReadIniStr", "$$$$", 0}, {"Version", "", 0},       {"Line", "#$", 0},
    {"PartFileName", "", 0},  {"BodyHeader", "$", 1},    {"Path", "", 0},
    {"Filename", "", 0},
};

struct TNumDef {
  const char* Name;
  const char* Params;
};

constexpr TNumDef NumDefs[] = {
    {"PartCount", ""},   {"MatchedLines", "$"},     {"Bodylines", ""},  {"IntroLines", ""},
    {"SigLines", ""},    {"HeaderLines", ""},       {"NextMatchedLine", "#$"},
    {"CountLines", "$"},
};

enum StrFn {
  fnHeaderName, fnHeaderContent, fnRawHeaderContent, fnHeader, fnFull, fnFirst, fnLast,
  fnDecodeISO, fn8BitTo7Bit, fnMakeAddress, fnMakeAdress, fnAddress, fnAdress, fnFirstName,
  fnName, fnBoolToStr, fnBodyline, fnInput, fnReadIniStr, fnVersion, fnLine, fnPartFileName,
  fnBodyHeader, fnPath, fnFilename
};

enum NumFn {
  fnPartCount, fnMatchedLines, fnBodylines, fnIntroLines, fnSigLines, fnHeaderLines,
  fnNextMatchedLine, fnCountLines
};

// A numeric argument used as a 1-based position: truncated toward zero; a value
// no list can reach stays out of range instead of overflowing.
int Position(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return std::numeric_limits<int>::max();
  if (x <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(std::trunc(x));
}

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

}  // namespace

// Moves View past what a reader took off the front of a copy of it; the reader
// may also have trimmed the end.
void TVQSkript::AdvanceView(std::string_view& view, const std::string& rest) {
  std::string_view trimmed = view;
  while (!trimmed.empty() && static_cast<unsigned char>(trimmed.back()) <= ' ')
    trimmed.remove_suffix(1);
  if (rest.size() <= trimmed.size() &&
      trimmed.compare(trimmed.size() - rest.size(), rest.size(), rest) == 0)
    view.remove_prefix(trimmed.size() - rest.size());
  else
    view.remove_prefix(view.size());
}

// ---------------------------------------------------------------------------
// Registration

void TVQSkript::RegisterStringFunctions() {
  for (size_t i = 0; i < std::size(StrDefs); ++i)
    RegisterStringFunction(
        StrDefs[i].Name, StrDefs[i].Params, StrDefs[i].Flag, static_cast<int>(i),
        [this](FunctionCall& call, std::string& result) { EvalStringFunction(call, result); },
        this);
}

void TVQSkript::UnregisterScriptStringFunctions() { UnregisterStringFunctions(this); }

void TVQSkript::RegisterNumericFunctions() {
  for (size_t i = 0; i < std::size(NumDefs); ++i)
    RegisterNumericFunction(
        NumDefs[i].Name, NumDefs[i].Params, static_cast<int>(i),
        [this](FunctionCall& call) { return EvalNumericFunction(call); }, this);
}

void TVQSkript::UnregisterScriptNumericFunctions() { UnregisterNumericFunctions(this); }

// ---------------------------------------------------------------------------
// Message access

TMIMEPart* TVQSkript::CurrentPart() const { return Article->CurrentPart(); }

// "Full [raw] Header [without a, b]", "Full Body", ...: the words are read from
// the text after the function.
std::string TVQSkript::FullText(std::string& raw) {
  const std::string original = raw;
  const bool rawValues = StartsWithKeyword("raw", raw);
  if (StartsWithKeyword("Header", raw)) {
    THeader& header = Article->Header;
    std::string text = header.GetAllText();
    if (StartsWithKeyword("without", raw)) {
      for (;;) {
        std::string name;
        if (!TakeLeadingName(raw, name)) break;
        const int at = header.IndexOfField(name);
        if (at >= 0) {
          const std::string line = header.FieldNameAt(at) + ": " + header.GetFieldAt(at, rawValues);
          text = StringReplace(text, line + "\r\n", "", false);
        }
        raw = Trim(raw);
        if (!StartsWithKeyword(",", raw)) break;
      }
    }
    return text;
  }
  TMIMEPart* part = CurrentPart();
  if (StartsWithKeyword("Body", raw)) return part ? part->Body().GetInternalText() : std::string();
  if (StartsWithKeyword("Signature", raw) || StartsWithKeyword("Sig", raw))
    return part ? part->Sig().GetInternalText() : std::string();
  if (StartsWithKeyword("Introduction", raw) || StartsWithKeyword("Intro", raw)) {
    const TChangedStringlist* intro = part ? part->GetNamedList("Intro") : nullptr;
    return intro ? intro->GetAllText() : std::string();
  }
  if (StartsWithKeyword("Article", raw) || StartsWithKeyword("Posting", raw) ||
      StartsWithKeyword("Mail", raw))
    return Article->GetText();
  ScriptErrorFmt("Full.Invalid",
                 "Ein Stringbefehl \"Full %s\" ist nicht zulässig, nur \"Full [raw] Body\", "
                 "\"Full [raw] Header\", \"Full [raw] Sig[nature]\" und \"Full "
                 "Posting/Article/Mail\" sind erlaubt",
                 {original}, raw);
}

void TVQSkript::EvalStringFunction(FunctionCall& call, std::string& result) {
  result.clear();
  const THeader& header = Article->Header;
  TMIMEPart* part = CurrentPart();
  switch (call.Index) {
    case fnHeaderName:
    case fnHeaderContent:
    case fnRawHeaderContent: {
      const int n = Position(call.Num[1]);
      if (n < 1 || n > header.Count()) return;
      if (call.Index == fnHeaderName)
        result = header.FieldNameAt(n - 1);
      else
        result = header.GetFieldAt(n - 1, call.Index == fnRawHeaderContent);
      return;
    }
    case fnHeader: {
      // An empty name asks for no field.
      const std::string name = Trim(call.Str[1]);
      if (!name.empty()) result = header.GetField(name, false);
      return;
    }
    case fnFull: {
      std::string raw(call.RawText);
      result = FullText(raw);
      AdvanceView(call.RawText, raw);
      return;
    }
    case fnFirst:
    case fnLast: {
      const std::string& list = call.Str[1];
      if (!list.empty() && list.front() == '<' && list.back() == '>') {
        if (call.Index == fnFirst)
          result = list.substr(0, list.find('>') + 1);
        else
          result = list.substr(list.rfind('<'));
      } else if (call.Index == fnFirst) {
        result = list.substr(0, list.find(','));
      } else {
        const size_t comma = list.rfind(',');
        result = comma == std::string::npos ? list : list.substr(comma + 1);
      }
      return;
    }
    case fnDecodeISO: {
      const std::string decoded = DecodeHeader(*HeaderCharsets, call.Str[1]);
      result.reserve(decoded.size());
      for (size_t i = 0; i < decoded.size(); ++i) {
        if (decoded[i] == '\r' && i + 2 < decoded.size() && decoded[i + 1] == '\n' &&
            IsBlankOrTab(decoded[i + 2])) {
          i += 2;
          continue;
        }
        result += decoded[i];
      }
      return;
    }
    case fn8BitTo7Bit:
      result = TransliterateToAscii(call.Str[1]);
      return;
    case fnMakeAddress:
    case fnMakeAdress:
      result = BuildAddress(call.Str[1], call.Str[2]);
      return;
    case fnAddress:
    case fnAdress:
    case fnFirstName:
    case fnName: {
      std::string name, shortName, address;
      ParseAddress(call.Str[1], name, shortName, address);
      result = call.Index == fnFirstName ? shortName : call.Index == fnName ? name : address;
      return;
    }
    case fnBoolToStr: {
      std::string raw(call.RawText);
      result = EvalCondition(raw) ? "1" : "0";
      AdvanceView(call.RawText, raw);
      return;
    }
    case fnBodyline: {
      if (part == nullptr) return;
      const int n = Position(call.Num[1]);
      if (n >= 1 && n <= part->Body().Count()) result = part->Body().GetInternalLine(n - 1);
      return;
    }
    case fnInput: {
      const std::string title = call.Str[1].empty() ? "Tidelarn V" + VersionText() : call.Str[1];
      const std::string prompt =
          call.Str[2].empty() ? Translate("Input.Message", "Bitte eingeben:") : call.Str[2];
      result = call.Str[3];
      if (!Prompter().InputBox(title, prompt, result)) result = call.Str[3];
      return;
    }
    case fnReadIniStr:
      // A bare name means the settings folder, as for Do Write IniStr; a
      // missing file reads as empty.
      result = ReadIniOrDefault(call.Str[1], call.Str[2], call.Str[3], call.Str[4]);
      return;
    case fnVersion:
      result = VersionText();
      return;
    case fnLine: {
      const std::vector<std::string> lines = SplitLines(call.Str[1]);
      const int n = Position(call.Num[1]);
      if (n >= 1 && n <= static_cast<int>(lines.size())) result = lines[n - 1];
      return;
    }
    case fnPartFileName:
      if (part != nullptr) result = part->GetMIMEInfo().FileName;
      return;
    case fnBodyHeader: {
      const std::string name = Trim(call.Str[1]);
      if (!name.empty()) result = HList->GetField(name, false);
      return;
    }
    case fnPath:
      result = Settings->MessagePath;
      return;
    case fnFilename:
      result = ScriptName;
      return;
    default:
      return;
  }
}

// ---------------------------------------------------------------------------
// Numeric functions

int TVQSkript::FindNextMatchingBodyLine(int start, const std::string& regex) {
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return 0;
  TPerlre& re = SharedPerlre();
  re.UpdateRegex(regex);
  const auto& body = part->Body();
  for (int i = std::max(start, 1); i <= body.Count(); ++i) {
    const std::string line = body.GetInternalLine(i - 1);
    if (!line.empty() && re.MatchSubject(line)) return i;
  }
  return 0;
}

int TVQSkript::CountMatchingBodyLines(const std::string& regex) {
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return 0;
  TPerlre& re = SharedPerlre();
  re.UpdateRegex(regex);
  const auto& body = part->Body();
  int count = 0;
  for (int i = 0; i < body.Count(); ++i) {
    const std::string line = body.GetInternalLine(i);
    if (!line.empty() && re.MatchSubject(line)) ++count;
  }
  return count;
}

double TVQSkript::EvalNumericFunction(FunctionCall& call) {
  TMIMEPart* part = CurrentPart();
  switch (call.Index) {
    case fnPartCount:
      return Article->Parts.Count();
    case fnMatchedLines:
      return CountMatchingBodyLines(call.Str[1]);
    case fnBodylines:
      return part ? part->Body().Count() : 0;
    case fnIntroLines: {
      const TChangedStringlist* intro = part ? part->GetNamedList("Intro") : nullptr;
      return intro ? intro->Count() : 0;
    }
    case fnSigLines:
      return part ? part->Sig().Count() : 0;
    case fnHeaderLines:
      return Article->Header.Count();
    case fnNextMatchedLine:
      return FindNextMatchingBodyLine(Position(call.Num[1]), call.Str[1]);
    case fnCountLines:
      return static_cast<double>(SplitLines(call.Str[1]).size());
    default:
      return 0;
  }
}

// ---------------------------------------------------------------------------
// Variables

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

// Trimmed in place: every term of every expression passes here with the
// rest of its line.
void TrimInPlace(std::string& s, size_t from = 0) {
  size_t end = s.size();
  while (end > from && (unsigned char)s[end - 1] <= ' ') --end;
  s.erase(end);
  while (from < s.size() && (unsigned char)s[from] <= ' ') ++from;
  s.erase(0, from);
}

}  // namespace

uint8_t TVQSkript::ParseVarRef(std::string& s, std::string& name) {
  TrimInPlace(s);
  name.clear();
  if (s.empty() || s[0] != '%') return 0;
  size_t i = 1;
  while (i < s.size() && IsVarNameChar(AsciiUpper(s[i]))) ++i;
  if (i >= s.size() || s[i] != '%') return 0;
  name.assign(s, 1, i - 1);
  for (char& c : name) c = AsciiUpper(c);
  TrimInPlace(s, i + 1);
  if (name.empty()) return 0;
  return Variables->Exists(name) ? 1 : 2;
}

bool TVQSkript::TakeStringVar(std::string& s, std::string& name) {
  size_t first = 0;
  while (first < s.size() && (unsigned char)s[first] <= ' ') ++first;
  if (first == s.size() || s[first] != '%') return false;  // no reference: spare the copy
  std::string rest = s;
  std::string found;
  if (ParseVarRef(rest, found) != 1) return false;
  const TVarObj* v = Variables->Find(found);
  if (v->VarType != VarType::String) return false;
  s = rest;
  name = found;
  return true;
}

void TVQSkript::GetStringVar(const std::string& name, std::string& value) {
  const TVarObj* v = Variables->Find(name);
  if (v == nullptr)
    ScriptErrorFmt("UnknownStringVar", "Unbekannte String-Variable %s!", {"%" + name + "%"});
  value = v->AsString();
}

double TVQSkript::GetNumericVar(const std::string& name) {
  const TVarObj* v = Variables->Find(name);
  if (v == nullptr)
    ScriptErrorFmt("UnknownNumericVar", "Unbekannte numerische Variable %s!",
                   {"%" + name + "%"});
  return v->AsFloat();
}

void TVQSkript::AssignVariable(const std::string& name, std::string& rest, bool raw) {
  TVarObj* v = Variables->Find(name);
  if (v == nullptr) v = Variables->Declare(name, VarType::String);
  // Only errors show the reference.
  auto ref = [&name] { return "%" + name + "%"; };
  switch (v->VarType) {
    case VarType::Float: {
      double x = 0;
      if (!StartsWithKeyword("=", rest) || !InterpreteNumeric(rest, x) || !Trim(rest).empty())
        ScriptErrorFmt("FloatVar.InvalidAssignment",
                       "Fehlerhafte Zuweisung an eine Float-Variable, korrekt wäre: Set %s = "
                       "numerischer Ausdruck",
                       {ref()}, rest);
      // The variable may have gone while the expression ran a function.
      if ((v = Variables->Find(name)) != nullptr) v->SetFloat(x);
      return;
    }
    case VarType::Integer: {
      double x = 0;
      if (!StartsWithKeyword("=", rest) || !InterpreteNumeric(rest, x))
        ScriptErrorFmt("IntegerVar.InvalidAssignment",
                       "Fehlerhafte Zuweisung an eine Integervariable, korrekt wäre: Set %s = "
                       "numerischer Ausdruck",
                       {ref()}, rest);
      if (!Trim(rest).empty())
        ScriptErrorFmt("IntegerVar.InvalidAfterAssignment",
                       "Fehlerhafte Zuweisung an die Integervariable %s, der hintere Teil des "
                       "Ausdrucks \"%s\" ist nicht sinnvoll interpretierbar!",
                       {ref(), rest}, rest);
      const int32_t n = CheckedTrunc(x);
      if ((v = Variables->Find(name)) != nullptr) v->SetInteger(n);
      return;
    }
    case VarType::Boolean: {
      // An empty condition would read as true: a missing one is an error here.
      bool b = false;
      if (!StartsWithKeyword("=", rest) || rest.empty() || (b = EvalCondition(rest), !rest.empty()))
        ScriptErrorFmt("BoolVar.InvalidAssignment",
                       "Fehlerhafte Zuweisung an boolsche Variable, korrekt wäre: Set %s = "
                       "boolscher Ausdruck",
                       {ref()}, rest);
      if ((v = Variables->Find(name)) != nullptr) v->SetBoolean(b);
      return;
    }
    default: {
      std::string value = StringArgumentText(std::move(rest), raw);
      if ((v = Variables->Find(name)) != nullptr) v->SetString(std::move(value));
      return;
    }
  }
}

void TVQSkript::EvalTypedExpression(std::string& expr, uint8_t varType, std::string& text) {
  text.clear();
  switch (varType) {
    case VarType::String:
      if (!InterpreteString(expr, text))
        ScriptErrorFmt("InvalideStringExpression", "\"%s\" ist kein gültiger String-Ausdruck",
                       {expr}, expr);
      return;
    case VarType::Float:
    case VarType::Integer: {
      double x = 0;
      if (!InterpreteNumeric(expr, x))
        ScriptErrorFmt("InvalideNumericExpression", "\"%s\" ist kein gültiger numerischer Ausdruck",
                       {expr}, expr);
      text = varType == VarType::Float ? NumberToStr(x) : IntToStr(CheckedTrunc(x));
      return;
    }
    case VarType::Boolean:
      text = EvalCondition(expr) ? "1" : "0";
      return;
    default:
      return;
  }
}
