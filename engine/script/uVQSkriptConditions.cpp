// Conditions of if, elseif, While, Until, Boolean assignments and BoolToStr.
// Operands are combined strictly from left to right, without precedence.
#include <string>
#include <string_view>
#include <vector>

#include "ProgramDir.h"
#include "Prompter.h"
#include "SafeFile.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uDriver.h"
#include "uGetNum.h"
#include "uGetStr.h"
#include "uSkript.h"
#include "uVQSkript.h"
#include "uVarList.h"
#include "uTransla.h"

namespace {

// Both words, as one operator; S is left alone unless both are there.
bool StartsWithWords(std::string_view first, std::string_view second, std::string& s) {
  std::string rest = s;
  if (!StartsWithKeyword(first, rest) || !StartsWithKeyword(second, rest)) return false;
  s = std::move(rest);
  return true;
}

// The default caption of the message boxes: the running program and its version.
std::string ProgramTitle() {
  return "Tidelarn V" + ProgramVersion();
}

enum class TStrOp {
  Contains, GreaterEqual, LessEqual, Equal, NotEqual, Like, BeginsWith, EndsWith, IsEmpty, In,
  Less, Greater, Between, None
};

TStrOp ReadStringOperator(std::string& s) {
  if (StartsWithKeyword("contains", s)) return TStrOp::Contains;
  if (StartsWithKeyword(">=", s)) return TStrOp::GreaterEqual;
  if (StartsWithKeyword("<=", s)) return TStrOp::LessEqual;
  if (StartsWithKeyword("equals", s) || StartsWithKeyword("=", s)) return TStrOp::Equal;
  if (StartsWithKeyword("<>", s)) return TStrOp::NotEqual;
  if (StartsWithKeyword("like", s) || StartsWithKeyword("matches", s)) return TStrOp::Like;
  if (StartsWithWords("begins", "with", s)) return TStrOp::BeginsWith;
  if (StartsWithWords("ends", "with", s)) return TStrOp::EndsWith;
  if (StartsWithWords("is", "empty", s)) return TStrOp::IsEmpty;
  if (StartsWithKeyword("in", s)) return TStrOp::In;
  if (StartsWithWords("less", "than", s) || StartsWithKeyword("<", s)) return TStrOp::Less;
  if (StartsWithWords("greater", "than", s) || StartsWithKeyword(">", s)) return TStrOp::Greater;
  if (StartsWithKeyword("between", s)) return TStrOp::Between;
  return TStrOp::None;
}

enum class TNumOp { Equal, NotEqual, LessEqual, GreaterEqual, Less, Greater, Between, None };

TNumOp ReadNumericOperator(std::string& s) {
  if (StartsWithKeyword("=", s)) return TNumOp::Equal;
  if (StartsWithKeyword("<>", s)) return TNumOp::NotEqual;
  if (StartsWithKeyword("<=", s)) return TNumOp::LessEqual;
  if (StartsWithKeyword(">=", s)) return TNumOp::GreaterEqual;
  if (StartsWithKeyword("<", s)) return TNumOp::Less;
  if (StartsWithKeyword(">", s)) return TNumOp::Greater;
  if (StartsWithKeyword("between", s)) return TNumOp::Between;
  return TNumOp::None;
}

// Fetching the signature forgets that a delimiter was seen; asking must not.
bool SignatureChanged(TMIMEPart* part) {
  if (!part || !part->BodyParsed) return false;  // nothing parsed, nothing changed
  const bool sigFound = part->SigFound;
  const bool changed = part->Sig().Changed;
  part->SigFound = sigFound;
  return changed;
}

template <class T>
bool InRange(const T& x, const T& a, const T& b) {
  return (a <= x && x <= b) || (b <= x && x <= a);
}

// Reads one condition for a script object; brackets nest through Depth.
class TConditionReader {
public:
  explicit TConditionReader(TVQSkript& script) : sk_(script) {}
  bool EvalCondition(std::string& s);

private:
  bool EvalOperand(std::string& s, bool& negate);
  bool BracketTerm(std::string& s);
  bool StrToBoolTerm(std::string& s);
  bool PartTypeTerm(std::string& s);
  bool PartEncodingTerm(std::string& s);
  bool MessageBoxTerm(std::string& s, bool abort);
  bool VarExistsTerm(std::string& s);
  bool FileExistsTerm(std::string& s);
  bool CompareStrings(const std::string& left, std::string& s, bool& negate);
  bool CompareNumbers(std::string& s);
  bool MatchRegex(const std::string& text, const std::string& pattern, const std::string& token);

  [[noreturn]] void Error(std::string_view id, std::string_view germanDefault,
                          const std::string& token) {
    sk_.ShowScriptInfo(Translate(id, germanDefault), token);
  }
  [[noreturn]] void ErrorFmt(std::string_view id, std::string_view germanDefault,
                             const std::vector<FmtArg>& args, const std::string& token) {
    sk_.ShowScriptInfo(TranslateFmt(id, germanDefault, args), token);
  }

  // Brackets nest no deeper than this, so no text can exhaust the stack.
  static constexpr int kMaxDepth = 200;
  TVQSkript& sk_;
  int depth_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------

bool TVQSkript::EvalCondition(std::string& s) { return TConditionReader(*this).EvalCondition(s); }

bool TConditionReader::EvalCondition(std::string& s) {
  s = Trim(s);
  bool result = true;
  for (bool first = true; !s.empty(); first = false) {
    enum { Set, Or, And, Xor } combine = Set;
    if (!first) {
      if (StartsWithKeyword("or", s))
        combine = Or;
      else if (StartsWithKeyword("and", s))
        combine = And;
      else if (StartsWithKeyword("xor", s))
        combine = Xor;
      else
        break;  // the caller's word, such as "then"
    }
    bool negate = false;
    while (StartsWithKeyword("not", s)) negate = !negate;
    bool value = EvalOperand(s, negate);
    if (negate) value = !value;
    switch (combine) {
      case Set: result = value; break;
      case Or: result = result || value; break;
      case And: result = result && value; break;
      case Xor: result = result != value; break;
    }
  }
  return result;
}

bool TConditionReader::EvalOperand(std::string& s, bool& negate) {
  if (!s.empty() && s.front() == '(') return BracketTerm(s);
  TMIMEPart* part = sk_.Article ? sk_.Article->CurrentPart() : nullptr;
  if (StartsWithKeyword("HasSignature", s) || StartsWithKeyword("HasSig", s)) {
    if (!part) return false;
    part->Body();  // a part not parsed yet would hide its signature
    return part->HasSignature();
  }
  if (StartsWithKeyword("Has8BitChars", s)) return sk_.Has8BitChars();
  if (StartsWithKeyword("ChangedLines", s)) return !sk_.LinesToAppend.empty();
  if (StartsWithKeyword("ChangedSignature", s) || StartsWithKeyword("ChangedSig", s))
    return SignatureChanged(part);
  if (StartsWithKeyword("StrToBool", s)) return StrToBoolTerm(s);
  if (StartsWithKeyword("PartType", s)) return PartTypeTerm(s);
  if (StartsWithKeyword("PartEncoding", s)) return PartEncodingTerm(s);
  if (StartsWithKeyword("true", s)) return true;
  if (StartsWithKeyword("false", s)) return false;
  if (StartsWithKeyword("Ask", s)) return MessageBoxTerm(s, false);
  if (StartsWithKeyword("Abort", s)) return MessageBoxTerm(s, true);
  if (StartsWithKeyword("ChangedIntroduction", s) || StartsWithKeyword("ChangedIntro", s)) {
    TChangedStringlist* intro = part ? part->GetNamedList("Intro") : nullptr;
    return intro && intro->GetCount() > 0;
  }
  if (StartsWithKeyword("Changed", s)) return sk_.IsChanged();
  if (StartsWithKeyword("VarExists", s)) return VarExistsTerm(s);
  if (StartsWithKeyword("FileExists", s)) return FileExistsTerm(s);

  std::string rest = s, name;
  if (sk_.ParseVarRef(rest, name) == 1) {
    TVarObj* var = sk_.Variables->Find(name);
    if (var && var->VarType == VarType::Boolean) {
      s = std::move(rest);
      return var->AsBoolean();
    }
  }
  rest = s;
  std::string left;
  if (InterpreteString(rest, left)) {
    s = std::move(rest);
    return CompareStrings(left, s, negate);
  }
  return CompareNumbers(s);
}

bool TConditionReader::BracketTerm(std::string& s) {
  std::string inner;
  if (depth_ >= kMaxDepth || !SplitParenArgs(s, inner, true))
    ErrorFmt("BoolExpr.Invalid", "Unbekannter Vergleichsausdruck \"%s\"", {s}, s);
  ++depth_;
  bool value = EvalCondition(inner);
  --depth_;
  if (!inner.empty())
    ErrorFmt("BoolExpr.InvalidCombType",
             "Keine zulässige Verknüpfung in Bedingung: \"%s\", nur  \"Not\", \"or\", "
             "\"and\" und \"xor\" sind erlaubt.",
             {inner}, s);
  return value;
}

bool TConditionReader::StrToBoolTerm(std::string& s) {
  std::string text;
  bool read;
  if (!s.empty() && s.front() == '(') {
    std::string inner;
    read = SplitParenArgs(s, inner, true) && InterpreteString(inner, text) && Trim(inner).empty();
  } else {
    read = InterpreteString(s, text);
  }
  if (!read)
    Error("StrToBool.MissingString", "Nach StrToBool muß ein gültiger String-Ausdruck folgen!",
                s);
  std::string lower = LowerCase(text);
  for (const char* no : {"", "f", "0", "false", "falsch", "no", "nein"})
    if (lower == no) return false;
  for (const char* yes : {"1", "t", "true", "wahr", "yes", "ja"})
    if (lower == yes) return true;
  ErrorFmt("StrToBool.NotConvertable",
                 "Der String \"%s\" kann nicht in einen boolschen Ausdruck konvertiert werden",
                 {text}, s);
}

bool TConditionReader::PartTypeTerm(std::string& s) {
  TMIMEPart* part = sk_.Article ? sk_.Article->CurrentPart() : nullptr;
  int cls = part ? part->GetMIMEInfo().ContentClass : 0;
  if (StartsWithKeyword("is", s)) {
    if (StartsWithKeyword("Unknown", s)) return cls == 0;
    if (StartsWithKeyword("Text", s)) return cls == 1 || cls == 3;
    if (StartsWithKeyword("PlainText", s)) return cls == 1;
    if (StartsWithKeyword("UnknownText", s)) return cls == 3;
    if (StartsWithKeyword("HTML", s)) return cls == 2;
    if (StartsWithKeyword("Binary", s)) return cls < 1 || cls > 3;
    if (StartsWithKeyword("Application", s)) return cls == 4;
    if (StartsWithKeyword("Audio", s)) return cls == 5;
    if (StartsWithKeyword("Image", s)) return cls == 6;
    if (StartsWithKeyword("Video", s)) return cls == 7;
  }
  Error("InvalidParttype",
              "Nach \"Parttype\" muß \"is <Typ>\" folgen, wobei Typ \"Unknown\", \"Text\", "
              "\"Plaintext\", \"UnknownText\", \"HTML\", \"Binary\", \"Application\", \"Audio\", "
              "\"Image\" oder \"Video\" sein kann.",
              s);
}

bool TConditionReader::PartEncodingTerm(std::string& s) {
  TMIMEPart* part = sk_.Article ? sk_.Article->CurrentPart() : nullptr;
  int enc = part ? part->GetMIMEInfo().Encoding : 0;
  if (StartsWithKeyword("is", s)) {
    if (StartsWithKeyword("quoted-printable", s) || StartsWithKeyword("qp", s)) return enc == 3;
    if (StartsWithKeyword("8bit", s) || StartsWithKeyword("8-bit", s) ||
        StartsWithWords("8", "Bit", s))
      return enc == 2;
    if (StartsWithKeyword("Base64", s)) return enc == 4;
    if (StartsWithKeyword("ascii", s) || StartsWithKeyword("7-bit", s) ||
        StartsWithKeyword("7Bit", s) || StartsWithWords("7", "Bit", s))
      return enc == 1;
    if (StartsWithKeyword("unknown", s)) return enc == 5;
  }
  Error("InvalidPartEncoding",
              "Nach \"PartEncoding\" muß \"is <Typ>\" folgen, wobei Typ \"Unknown\", "
              "\"qp\"/\"quoted-printable\", \"8Bit\", \"7Bit\" oder \"Base64\" sein kann.",
              s);
}

bool TConditionReader::MessageBoxTerm(std::string& s, bool abort) {
  std::string inner, text, title;
  bool valid = SplitParenArgs(s, inner, true) && InterpreteString(inner, text);
  if (valid && !inner.empty())
    valid = StartsWithKeyword(",", inner) && InterpreteString(inner, title) && inner.empty();
  if (!valid) {
    if (abort)
      Error("Abort.InvalidUse",
                  "Falsche Syntax, die Syntax für Abort lautet: \"Abort ( Text [, Überschrift] )\"",
                  s);
    Error("Ask.InvalidUse",
                "Falsche Syntax, die Syntax für Ask lautet: \"Ask ( Text [, Überschrift] )\"", s);
  }
  if (title.empty()) title = ProgramTitle();
  if (abort)
    return Prompter().MessageBox(text, title, mb::OkCancel | mb::IconStop | mb::DefButton2) ==
           id::Cancel;
  return Prompter().MessageBox(text, title, mb::YesNo | mb::IconQuestion) == id::Yes;
}

bool TConditionReader::VarExistsTerm(std::string& s) {
  std::string inner;
  if (!SplitParenArgs(s, inner, true))
    Error("VarExists.InvalidUse", "Syntaxfehler, korrekt wäre \"VarExists (%Variablenname%)\"",
                s);
  std::string whole = inner, name;
  uint8_t kind = sk_.ParseVarRef(inner, name);
  if (kind == 0)
    ErrorFmt("InvalidVarnameXXX", "\"%s\" ist kein zulässiger Variablenname", {whole}, s);
  if (!inner.empty())
    Error("VarExists.InvalidUse", "Syntaxfehler, korrekt wäre \"VarExists (%Variablenname%)\"",
                s);
  return kind == 1;
}

bool TConditionReader::FileExistsTerm(std::string& s) {
  std::string inner, name;
  if (!SplitParenArgs(s, inner, true) || !InterpreteString(inner, name) || !Trim(inner).empty())
    Error("FileExists.InvalidUse",
                "Syntaxfehler, korrekt wäre \"FileExists ( <Stringausdruck> )\"", s);
  // A pending save may still have to remove a ".bak" file.
  CompletePendingReplacements();
  return ::FileExists(NativePath(name));
}

bool TConditionReader::CompareStrings(const std::string& left, std::string& s, bool& negate) {
  if (StartsWithKeyword("not", s)) negate = !negate;
  std::string opText = s;
  TStrOp op = ReadStringOperator(s);
  if (op == TStrOp::None)
    ErrorFmt("BoolExpr.CompareStrings.InvalidUse",
                   "Unbekannte Vergleichsoperation \"%s\", unterstützt werden nur \"contains\", "
                   "\"equals\"/\"=\", \"<>\", \"like\"/\"matches\", \"begins with\", \"ends with\", "
                   "\"is empty\", \"in\", \"less than\"/\"<\", \"greater than\"/\">\", \">=\", "
                   "\"<=\" und \"between\"",
                   {s}, s);
  if (op == TStrOp::IsEmpty) return left.empty();
  std::string right;
  if (!InterpreteString(s, right))
    ErrorFmt("BoolExpr.CompareString.UnknownType",
                   "Vergleichsausdruck \"%s\" fehlt bzw. muß mit '\"' geklammert werden", {s}, s);
  switch (op) {
    case TStrOp::Contains: return !right.empty() && left.find(right) != std::string::npos;
    case TStrOp::In: return !left.empty() && right.find(left) != std::string::npos;
    case TStrOp::Equal: return left == right;
    case TStrOp::NotEqual: return left != right;
    case TStrOp::Less: return left < right;
    case TStrOp::Greater: return left > right;
    case TStrOp::LessEqual: return left <= right;
    case TStrOp::GreaterEqual: return left >= right;
    case TStrOp::BeginsWith: return left.starts_with(right);
    case TStrOp::EndsWith: return left.ends_with(right);
    case TStrOp::Like: return MatchRegex(left, right, opText);
    case TStrOp::Between: {
      std::string upper;
      if (!StartsWithKeyword("and", s) || !InterpreteString(s, upper))
        Error("BoolExpr.CompareStrings.Between.InvalidUse",
                    "Syntaxfehler, korrekt wäre: \"between ... and ...\"", s);
      return InRange(left, right, upper);
    }
    default: return false;
  }
}

bool TConditionReader::CompareNumbers(std::string& s) {
  double left;
  if (!InterpreteNumeric(s, left))
    ErrorFmt("BoolExpr.Invalid", "Unbekannter Vergleichsausdruck \"%s\"", {s}, s);
  TNumOp op = ReadNumericOperator(s);
  if (op == TNumOp::None)
    ErrorFmt("BoolExpr.NumericCompare.UnknowType",
                   "Unbekannte numerische Vergleichsoperation \"%s\", unterstützt werden nur \"=\", "
                   "\"<>\", \"<\", \">\", \"<=\", \">=\"",
                   {s}, s);
  double right;
  if (!InterpreteNumeric(s, right))
    Error("BoolExpr.NumericCompare.Missing2ndValue", "Numerischer Vergleichswert fehlt!", s);
  switch (op) {
    case TNumOp::Equal: return left == right;
    case TNumOp::NotEqual: return left != right;
    case TNumOp::LessEqual: return left <= right;
    case TNumOp::GreaterEqual: return left >= right;
    case TNumOp::Less: return left < right;
    case TNumOp::Greater: return left > right;
    case TNumOp::Between: {
      double upper;
      if (!StartsWithKeyword("and", s) || !InterpreteNumeric(s, upper))
        Error("BoolExpr.NumericCompare.Between.InvalidUse",
                    "Syntaxfehler, korrekt wäre: \"between ... and ...\"", s);
      return InRange(left, right, upper);
    }
    default: return false;
  }
}

bool TConditionReader::MatchRegex(const std::string& text, const std::string& pattern,
                           const std::string& token) {
  try {
    return RegexMatch(text, pattern);
  } catch (const EAbort&) {
    throw;
  } catch (const Exception& e) {
    // A broken pattern is the script's error, not the run's.
    sk_.ShowScriptInfo(e.Message(), token);
  }
}
