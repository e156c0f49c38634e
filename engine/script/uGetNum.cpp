#include "uGetNum.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

#include "uFunctionRegistry.h"
#include "uGetStr.h"
#include "uTools.h"
#include "uTransla.h"
#include "uVarList.h"

EZeroDivide::EZeroDivide() : EMathError(FromUtf8("Gleitkommadivision durch Null")) {}
EInvalidOp::EInvalidOp() : EMathError(FromUtf8("Ungültige Gleitkommaoperation")) {}
EOverflow::EOverflow() : EMathError(FromUtf8("Gleitkommaüberlauf")) {}

namespace {

// ---------------------------------------------------------------------------
// Hooks

struct NumericHooks {
  HookOwner owner;
  StringEvaluator stringEvaluator;
  ErrorHook errorHook;
  NumericVarGetter varGetter;
};

HookStack<NumericHooks>& Hooks() {
  static HookStack<NumericHooks> stack;
  return stack;
}

void Report(std::string_view message, std::string_view context) { Hooks().Report(message, context); }

// ---------------------------------------------------------------------------
// Registry

struct NumericRecord {
  std::string name;
  std::string lowerName;
  std::string signature;
  int index;
  NumericFunction handler;
  HookOwner owner;
};

using RecordPtr = FunctionRegistry<NumericRecord>::Ptr;

NumericRecord MakeRecord(std::string_view name, std::string_view signature, int index, NumericFunction handler,
                         HookOwner owner) {
  return {std::string(name), LowerCase(name), std::string(signature), index, std::move(handler), owner};
}

std::vector<NumericRecord> MakeBuiltins();

FunctionRegistry<NumericRecord>& Registry() {
  static FunctionRegistry<NumericRecord> registry("numeric", MakeBuiltins());
  return registry;
}

RecordPtr FindFunction(std::string_view lowerName, bool withBrackets) {
  for (const RecordPtr& r : Registry().Records())
    if (r->signature.empty() != withBrackets && r->lowerName == lowerName) return r;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Arithmetic

// Results beyond Double are errors, as an unmasked FPU would have raised them.
double CheckedResult(double r) {
  if (std::isnan(r)) throw EInvalidOp();
  if (std::isinf(r)) throw EOverflow();
  return r;
}

[[noreturn]] void RaiseDivisionByZero(double dividend) {
  if (dividend == 0 || std::isnan(dividend)) throw EInvalidOp();
  throw EZeroDivide();
}

enum Op { OpAdd = 0, OpSub = 1, OpMul = 2, OpMod = 3, OpDiv = 4, OpPow = 5, OpEnd = 6 };
constexpr int kPrecedence[7] = {1, 1, 2, 2, 2, 3, 1};

double Arith(double a, int op, double b) {
  switch (op) {
    case OpAdd:
      return CheckedResult(a + b);
    case OpSub:
      return CheckedResult(a - b);
    case OpMul:
      return CheckedResult(a * b);
    case OpDiv:
      if (b == 0) RaiseDivisionByZero(a);
      return CheckedResult(a / b);
    case OpMod: {
      if (b == 0) RaiseDivisionByZero(a);
      // The fraction of the quotient times the divisor, in extended precision.
      long double q = static_cast<long double>(a) / b;
      return CheckedResult(static_cast<double>((q - std::trunc(q)) * b));
    }
    case OpPow:
      if (a == 0 && b < 0) throw EZeroDivide();
      if (a < 0 && b != std::trunc(b)) throw EInvalidOp();
      return CheckedResult(std::pow(a, b));
    default:
      return b;
  }
}

double Factorial(double x) {
  if (x > 170) throw EOverflow();
  double n = std::trunc(x), r = 1;
  for (double k = 2; k <= n; ++k) r *= k;
  return r;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

constexpr std::array<bool, 256> kExpressionChars = [] {
  std::array<bool, 256> table{};
  for (const char c : std::string_view(" !%(*+-./\\^0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"))
    table[static_cast<unsigned char>(c)] = true;
  return table;
}();

bool IsExpressionChar(char c) { return kExpressionChars[static_cast<unsigned char>(c)]; }

// A function name that was not found: where it begins in the text, its length
// and how many blanks between it and a "(" were dropped.
struct UnknownName {
  bool active = false;
  size_t length = 0;
  size_t blanks = 0;
};

// One evaluation: a single pass over the characters with a small state
// machine and an accumulator per precedence level.
class NumericParser {
public:
  NumericParser(std::string_view& text, const NumericHooks& hooks) : text_(text), hooks_(hooks) {}

  bool Run(double& value, UnknownName& unknown);
  // The common simple form read without the state machine: numbers of up to
  // 15 digits and variables joined by binary operators, blanks between. A
  // pre-scan makes sure the text is of that form; the evaluation then takes
  // the very steps Run takes. False, with nothing read or asked, otherwise.
  bool RunSimple(double& value);
  // RunSimple from a plan of the text.
  bool RunPlanned(const TSimpleNumeric& plan, double& value);

private:
  enum State { Start, AfterOperator, AfterSign, IntDigits, DecDigits, AfterOperand, FuncName, VarName, Done };

  void ReportSyntax() {
    hooks_.errorHook(TranslateFmt("InterpreteNumeric.Error",
                                  "Fehler in Formel, ab \"%s\" keine sinnvolle Interpretation möglich",
                                  {std::string(text_)}),
                     text_);
  }
  void ReportFactorial() {
    hooks_.errorHook(Translate("Function!NeedsPositiveInteger",
                               "Fakultät ist nur bei ganzen und positiven Zahlen zulässig"),
                     text_);
  }

  void OperandExpected(char c);
  void StartNumber(char c);
  void SetOperand(double v);
  double Operand() const;
  void Bracket();
  void Reduce(int op);
  // Reduce for an operand X that is final: no factorial, no sign.
  void Combine(double x, int op);
  void Apply(int level, int op, double x);
  // False when the function is not registered.
  bool CallFunction(bool withBrackets, bool reportUnknown);

  std::string_view& text_;
  const NumericHooks& hooks_;
  double* value_ = nullptr;

  State state_ = Start;
  double number_ = 0;      // the operand, unless it is read from digits
  std::string digits_;     // the digits (and ".") of a number being read
  bool fromDigits_ = false;
  double sign_ = 1;
  int factorials_ = 0;
  int previousOp_ = OpAdd;
  double acc_[4] = {0, 0, 0, 0};
  bool has_[4] = {false, false, false, false};
  int pending_[4] = {OpAdd, OpAdd, OpAdd, OpAdd};
  std::string name_;
  const char* nameStart_ = nullptr;
  size_t droppedBlanks_ = 0;
};

void NumericParser::StartNumber(char c) {
  state_ = IntDigits;
  digits_.assign(1, c);
  fromDigits_ = true;
}

void NumericParser::SetOperand(double v) {
  number_ = v;
  fromDigits_ = false;
  digits_.clear();
  state_ = AfterOperand;
}

// Digits are read exactly, whatever their number.
double NumericParser::Operand() const {
  if (!fromDigits_) return number_;
  // Whole numbers of up to 15 digits are exact as they are summed up.
  if (digits_.size() <= 15 && digits_.find('.') == std::string::npos) {
    int64_t n = 0;
    for (const char c : digits_) n = n * 10 + (c - '0');
    return double(n);
  }
  double v = 0;
  auto r = std::from_chars(digits_.data(), digits_.data() + digits_.size(), v, std::chars_format::fixed);
  if (r.ec == std::errc::result_out_of_range) {
    // Too many integer digits overflow; a tiny fraction is 0.
    std::string_view integer = std::string_view(digits_).substr(0, digits_.find('.'));
    if (integer.find_first_not_of('0') != std::string_view::npos) throw EOverflow();
    return 0;
  }
  return v;
}

void NumericParser::OperandExpected(char c) {
  if (c == ' ') return;
  if (c == '(') {
    Bracket();
  } else if (c == '+' || c == '-') {
    if (state_ == AfterSign) {
      ReportSyntax();
      return;
    }
    state_ = AfterSign;
    if (c == '-') sign_ = -1;
  } else if (IsDigit(c)) {
    StartNumber(c);
  } else if (IsUpperLetter(c)) {
    state_ = FuncName;
    name_.assign(1, c);
    nameStart_ = text_.data();
    droppedBlanks_ = 0;
  } else if (c == '%') {
    state_ = VarName;
    name_.clear();
  } else {
    ReportSyntax();
  }
}

void NumericParser::Bracket() {
  text_.remove_prefix(1);
  double inner = 0;
  InterpreteNumeric(text_, inner);
  SetOperand(inner);
  // The main loop now consumes the character the inner expression stopped at.
}

void NumericParser::Apply(int level, int op, double x) {
  if (!has_[level]) {
    acc_[level] = x;
    has_[level] = true;
  } else {
    acc_[level] = Arith(acc_[level], op, x);
  }
  *value_ = acc_[level];
}

void NumericParser::Reduce(int op) {
  double x = Operand();
  for (; factorials_ > 0; --factorials_) x = Factorial(x);
  // The sign belongs to the whole operand, whatever its own sign: -(2-5) is 3.
  Combine(sign_ * x, op);
}

void NumericParser::Combine(double x, int op) {
  int p = kPrecedence[previousOp_], q = kPrecedence[op];
  if (p == q) {
    Apply(p, previousOp_, x);
  } else if (p < q) {
    pending_[p] = previousOp_;
    acc_[q] = x;
    has_[q] = true;
    for (int l = p + 1; l < q; ++l) has_[l] = false;
  } else {
    Apply(p, previousOp_, x);
    for (int l = p; l > q; --l) {
      if (has_[l]) {
        has_[l] = false;
        Apply(l - 1, pending_[l - 1], acc_[l]);
      } else {
        acc_[l - 1] = acc_[l];
      }
    }
  }
  SetOperand(0);
  sign_ = 1;
  factorials_ = 0;
  state_ = AfterOperator;
  previousOp_ = op;
}

bool NumericParser::CallFunction(bool withBrackets, bool reportUnknown) {
  RecordPtr rec = FindFunction(LowerCase(name_), withBrackets);
  if (!rec) {
    if (reportUnknown)
      hooks_.errorHook(TranslateFmt("UnknownNumericFunction.Error",
                                    "Syntaxfehler: Unbekannte numerische Funktion \"%s\"", {name_}),
                       text_);
    return false;
  }
  FunctionCall call;
  call.Index = rec->index;
  const std::string& sig = rec->signature;
  const char* end = text_.data() + text_.size();
  if (sig.size() == 1 && sig[0] == kRawArgs) {
    call.RawText = text_.substr(text_.empty() ? 0 : 1);
  } else {
    int len = int(sig.size());
    for (int i = 1; i <= len; ++i) {
      if (!text_.empty()) text_.remove_prefix(1);  // the "(" or the "," before the argument
      if (sig[size_t(i - 1)] == kNumArg) {
        double v = 0;
        InterpreteNumeric(text_, v);
        call.Num[size_t(++call.NumCount)] = v;
      } else {
        std::string s;
        if (!hooks_.stringEvaluator(text_, s))
          hooks_.errorHook(TranslateFmt("InterpreteString.Error", "Kein gültiger String-Ausdruck: \"%s\"",
                                        {std::string(text_)}),
                           {});
        call.Str[size_t(++call.StrCount)] = std::move(s);
      }
      if (i < len && !text_.starts_with(','))
        hooks_.errorHook(
            TranslateFmt("FunctionToManyParameters.Error",
                         "Syntaxfehler: Die Funktion \"%s\" erwartet %s und nicht nur %s Parameter",
                         {name_, IntToStr(len), IntToStr(i)}),
            text_);
    }
    if (len > 0 && text_.starts_with(','))
      hooks_.errorHook(TranslateFmt("FunctionNotEnoughParameters.Error",
                                    "Syntaxfehler: Die Funktion \"%s\" braucht nur %s Parameter",
                                    {name_, IntToStr(len)}),
                       text_);
  }
  call.Count = call.NumCount + call.StrCount;
  SetOperand(CheckedResult(rec->handler(call)));
  if (sig.size() == 1 && sig[0] == kRawArgs) {
    const char* raw = call.RawText.data();
    if (raw < text_.data() || raw + call.RawText.size() > end)
      throw std::logic_error("numeric function " + rec->name + " replaced its raw text");
    text_ = call.RawText;
  }
  return true;
}

int OperatorIndex(char c) {
  switch (c) {
    case '+': return OpAdd;
    case '-': return OpSub;
    case '*': return OpMul;
    case '\\': return OpMod;
    case '/': return OpDiv;
    case '^': return OpPow;
    default: return -1;
  }
}

// The operands of a simple numeric expression at the front of Text, each with
// the operator after it, and how much of Text it takes (blanks after it too);
// false when Text does not begin with that form.
namespace {
struct SimpleTerm {
  size_t begin, end;
  int op;
};
[[gnu::always_inline]] inline bool ScanSimple(std::string_view text,
                                              std::array<SimpleTerm, 8>& operands, size_t& count,
                                              size_t& taken) {
  const size_t n = text.size();
  using Term = SimpleTerm;
  count = 0;
  size_t i = 0;
  while (i < n && text[i] == ' ') ++i;
  for (;;) {
    if (count == operands.size()) return false;
    Term& o = operands[count++];
    o.begin = i;
    bool afterOperand = true;  // else still among the digits of a number
    if (i < n && IsDigit(text[i])) {
      while (i < n && IsDigit(text[i])) ++i;
      if (i - o.begin > 15) return false;
      afterOperand = false;
    } else if (i < n && text[i] == '%') {
      ++i;
      while (i < n && IsVarNameChar(AsciiUpper(text[i]))) ++i;
      if (i == o.begin + 1 || i == n || text[i] != '%') return false;
      ++i;
    } else {
      return false;  // a sign, a bracket, a function, a missing operand
    }
    o.end = i;
    if (i < n && text[i] == ' ') {
      afterOperand = true;
      while (i < n && text[i] == ' ') ++i;
    }
    if (i == n) {
      o.op = OpEnd;
      break;
    }
    const char c = AsciiUpper(text[i]);
    o.op = OperatorIndex(c);
    if (o.op >= 0) {
      ++i;
      while (i < n && text[i] == ' ') ++i;
      continue;
    }
    // Where Run stops after an operand; anything else is for Run to report.
    if (!IsExpressionChar(c) || (afterOperand && (IsDigit(c) || IsUpperLetter(c)))) {
      o.op = OpEnd;
      break;
    }
    return false;
  }

  taken = i;
  return true;
}
}  // namespace

bool NumericParser::RunSimple(double& value) {
  const std::string_view text = text_;
  std::array<SimpleTerm, 8> operands;
  size_t count = 0, i = 0;
  if (!ScanSimple(text, operands, count, i)) return false;

  value_ = &value;
  value = 0;
  for (size_t k = 0; k < count; ++k) {
    const SimpleTerm& o = operands[k];
    double x = 0;
    if (text[o.begin] == '%') {
      name_.assign(text.substr(o.begin + 1, o.end - o.begin - 2));
      for (char& c : name_) c = AsciiUpper(c);
      if (hooks_.varGetter) x = CheckedResult(hooks_.varGetter(name_));
    } else {
      int64_t whole = 0;  // exact: at most 15 digits
      for (size_t d = o.begin; d < o.end; ++d) whole = whole * 10 + (text[d] - '0');
      x = double(whole);
    }
    if (count == 1) {
      value = x;  // what Combine makes of a lone operand
      break;
    }
    Combine(x, o.op);  // no sign and no factorial here
  }
  if (count > 1) value = acc_[1];
  text_.remove_prefix(i);
  return true;
}

bool NumericParser::RunPlanned(const TSimpleNumeric& plan, double& value) {
  value_ = &value;
  value = 0;
  const size_t count = plan.operands.size();
  for (const TSimpleNumeric::Operand& o : plan.operands) {
    double x = o.number;
    if (!o.name.empty()) {
      x = 0;
      if (hooks_.varGetter) x = CheckedResult(hooks_.varGetter(o.name));
    }
    if (count == 1) {
      value = x;
      break;
    }
    Combine(x, o.op);
  }
  if (count > 1) value = acc_[1];
  text_.remove_prefix(plan.taken);
  return true;
}

bool NumericParser::Run(double& value, UnknownName& unknown) {
  value_ = &value;
  value = 0;
  bool parsed = false;
  State lastState = Start;  // the state in which the pass ended

  while (!text_.empty() && state_ != Done) {
    char c = AsciiUpper(text_.front());
    bool consume = true;
    if (state_ != FuncName && state_ != VarName) {
      if (!IsExpressionChar(c) || ((IsDigit(c) || IsUpperLetter(c)) && state_ == AfterOperand)) {
        lastState = state_;
        state_ = Done;
        break;
      }
    }
    switch (state_) {
      case Start:
      case AfterOperator:
      case AfterSign:
        OperandExpected(c);
        break;
      case IntDigits:
      case DecDigits:
      case AfterOperand:
        if (c == ' ') {
          state_ = AfterOperand;
        } else if (c == '!') {
          bool whole = false;
          if (state_ != DecDigits) {
            double x = Operand();
            whole = x >= 0 && x == std::trunc(x);
          }
          if (whole) {
            ++factorials_;
            state_ = AfterOperand;
          } else {
            ReportFactorial();
          }
        } else if (c == '.') {
          // "3 .5" still reads as 3.5; a point after a bracket, a function, a
          // variable or a factorial is an error.
          bool plainInteger = fromDigits_ && digits_.find('.') == std::string::npos && factorials_ == 0;
          if (state_ != DecDigits && plainInteger) {
            digits_ += '.';
            state_ = DecDigits;
          } else {
            ReportSyntax();
          }
        } else if (IsDigit(c)) {
          digits_ += c;
        } else {
          static constexpr std::string_view kOps = "+-*\\/^";
          size_t op = kOps.find(c);
          if (op != std::string_view::npos)
            Reduce(int(op));
          else
            ReportSyntax();
        }
        break;
      case FuncName: {
        if (c == ' ') {
          size_t n = text_.find_first_not_of(' ');
          if (n != std::string_view::npos && text_[n] == '(') {
            droppedBlanks_ = n;
            text_.remove_prefix(n);
            c = '(';
          }
        }
        bool found = true;
        if (c == ' ') {
          found = CallFunction(false, false);
        } else if (c == '(') {
          found = CallFunction(true, false);
        } else if (IsUpperLetter(c)) {
          name_ += c;
        } else {
          consume = false;
          found = CallFunction(false, false);
        }
        if (!found) {
          unknown = UnknownName{true, name_.size(), droppedBlanks_};
          text_ = std::string_view(nameStart_, size_t(text_.data() + text_.size() - nameStart_));
          return false;
        }
        break;
      }
      case VarName:
        if (IsVarNameChar(c)) {
          name_ += c;
        } else if (c == '%') {
          SetOperand(hooks_.varGetter ? CheckedResult(hooks_.varGetter(name_)) : 0);
        } else {
          hooks_.errorHook(TranslateFmt("IllegalCharinVarName", "Unzulässiges Zeichen in Variablennamen: \"%s\"",
                                        {std::string(1, c)}),
                           {});
        }
        break;
      case Done:
        break;
    }
    if (state_ != Done && consume) {
      if (!text_.empty()) text_.remove_prefix(1);
      parsed = true;
    }
    if (text_.empty() && state_ == FuncName) {
      if (!CallFunction(false, true)) {
        unknown = UnknownName{true, name_.size(), 0};
        text_ = std::string_view(nameStart_, size_t(text_.data() + text_.size() - nameStart_));
        return false;
      }
    }
    lastState = state_;
  }

  if (parsed) {
    // An expression that stops where an operand is due ("1+", "-", "%x")
    // is an error, not a reuse of the operand before.
    if (lastState == Start || lastState == AfterOperator || lastState == AfterSign || lastState == VarName) {
      ReportSyntax();
      SetOperand(0);
      factorials_ = 0;
    }
    Reduce(OpEnd);
    value = acc_[1];
  }
  return parsed;
}

// ---------------------------------------------------------------------------
// Built-in functions

std::mt19937_64& Random() {
  static std::mt19937_64 generator(
      uint64_t(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  return generator;
}

// Occurrences of Needle in Hay, overlapping ones included (Knuth-Morris-Pratt,
// so no input makes it slow).
double CountOccurrences(std::string_view needle, std::string_view hay) {
  if (needle.empty() || needle.size() > hay.size()) return 0;
  std::vector<size_t> fail(needle.size(), 0);
  for (size_t i = 1, k = 0; i < needle.size(); ++i) {
    while (k > 0 && needle[i] != needle[k]) k = fail[k - 1];
    if (needle[i] == needle[k]) ++k;
    fail[i] = k;
  }
  double count = 0;
  for (size_t i = 0, k = 0; i < hay.size(); ++i) {
    while (k > 0 && hay[i] != needle[k]) k = fail[k - 1];
    if (hay[i] == needle[k]) ++k;
    if (k == needle.size()) {
      ++count;
      k = fail[k - 1];
    }
  }
  return count;
}

double MaxMin(FunctionCall& call, bool max) {
  double best = 0;
  InterpreteNumeric(call.RawText, best);
  while (call.RawText.starts_with(',')) {
    call.RawText.remove_prefix(1);
    double v = 0;
    InterpreteNumeric(call.RawText, v);
    if (max ? v > best : v < best) best = v;
  }
  return best;
}

double Val(const std::string& s) {
  std::string copy = s;
  std::string_view view(copy);
  double v = 0;
  if (!InterpreteNumeric(view, v) || !view.empty())
    Report(TranslateFmt("InvalidNumericExpression", "Ungültiger numerischer Ausdruck \"%s\"", {s}), s);
  return v;
}

double Builtin(FunctionCall& c) {
  switch (c.Index) {
    case 0:
      return std::trunc(c.Num[1]);
    case 1: {
      int32_t n = CheckedTrunc(c.Num[1]);
      if (n < 1) return 0;
      return double(std::uniform_int_distribution<int32_t>(0, n - 1)(Random()));
    }
    case 2:
      return std::fabs(c.Num[1]);
    case 3:
      return std::sqrt(c.Num[1]);
    case 4:
      return MaxMin(c, true);
    case 5:
      return MaxMin(c, false);
    case 6:
      return c.Num[1] > 0 ? 1 : c.Num[1] < 0 ? -1 : 0;
    case 7:
      return Val(c.Str[1]);
    case 8:
      return CountOccurrences(c.Str[1], c.Str[2]);
    case 9:
      return hooks::Pos(c.Str[1], c.Str[2]);
    case 10:
      return hooks::Length(c.Str[1]);
    case 11:
      return c.Str[1].empty() ? 0 : hooks::Ord(hooks::Copy(c.Str[1], 1, 1));
    case 12:
      return 3.141592653589793;
    default:
      return 0;
  }
}

std::vector<NumericRecord> MakeBuiltins() {
  struct Row {
    const char* name;
    const char* signature;
    int index;
  };
  static constexpr Row kRows[] = {
      {"Trunc", "#", 0}, {"Random", "#", 1}, {"Abs", "#", 2},     {"Sqrt", "#", 3},
      {"Max", "*", 4},   {"Min", "*", 5},    {"SGN", "#", 6},     {"Val", "$", 7},
      {"Count", "$$", 8}, {"Pos", "$$", 9},  {"Length", "$", 10}, {"Len", "$", 10},
      {"Ord", "$", 11},  {"pi", "", 12},
  };
  std::vector<NumericRecord> records;
  for (const Row& r : kRows) records.push_back(MakeRecord(r.name, r.signature, r.index, Builtin, nullptr));
  return records;
}

// Evaluator nesting of both evaluators together.
int gNesting = 0;

}  // namespace

size_t SimpleNumericLength(std::string_view text) {
  std::array<SimpleTerm, 8> operands;
  size_t count = 0, taken = 0;
  return ScanSimple(text, operands, count, taken) ? taken : std::string_view::npos;
}

bool PlanSimpleNumeric(std::string_view text, TSimpleNumeric& plan) {
  std::array<SimpleTerm, 8> operands;
  size_t count = 0;
  if (!ScanSimple(text, operands, count, plan.taken)) return false;
  plan.operands.clear();
  for (size_t k = 0; k < count; ++k) {
    const SimpleTerm& o = operands[k];
    TSimpleNumeric::Operand& p = plan.operands.emplace_back();
    p.op = o.op;
    if (text[o.begin] == '%') {
      p.name.assign(text.substr(o.begin + 1, o.end - o.begin - 2));
      for (char& c : p.name) c = AsciiUpper(c);
    } else {
      int64_t whole = 0;  // exact: at most 15 digits
      for (size_t d = o.begin; d < o.end; ++d) whole = whole * 10 + (text[d] - '0');
      p.number = double(whole);
    }
  }
  return true;
}


// ---------------------------------------------------------------------------

ExpressionNesting::ExpressionNesting(const ErrorHook& report) {
  if (gNesting >= kMaxExpressionNesting) {
    std::string message =
        TranslateFmt("Expression.NestedTooDeep", "Der Ausdruck ist zu tief verschachtelt (mehr als %d Ebenen)",
                     {int64_t(kMaxExpressionNesting)});
    if (report) report(message, {});
    throw Exception(message);
  }
  ++gNesting;
}

ExpressionNesting::~ExpressionNesting() { --gNesting; }

int ExpressionNesting::Depth() { return gNesting; }

void SetNumericHooks(HookOwner owner, StringEvaluator stringEvaluator, ErrorHook errorHook,
                     NumericVarGetter numericVarGetter) {
  Hooks().Install({owner, stringEvaluator, std::move(errorHook), std::move(numericVarGetter)});
}

void RemoveNumericHooks(HookOwner owner) { Hooks().Remove(owner); }

int RegisterNumericFunction(std::string_view name, std::string_view signature, int index,
                            NumericFunction handler, HookOwner owner) {
  return Registry().Add(MakeRecord(name, signature, index, std::move(handler), owner));
}

void UnregisterNumericFunction(std::string_view name) { Registry().RemoveLast(name); }

void UnregisterNumericFunctions(HookOwner owner) { Registry().RemoveOwner(owner); }

void RegisterBuiltinNumericFunctions() { Registry(); }

bool RunSimpleNumeric(const TSimpleNumeric& plan, std::string_view& text, double& value) {
  value = 0;
  const NumericHooks* hooks = Hooks().Active();
  if (!hooks || !hooks->errorHook || !hooks->stringEvaluator) return false;
  ExpressionNesting nesting(hooks->errorHook);
  NumericParser parser(text, *hooks);
  return parser.RunPlanned(plan, value);
}

bool InterpreteNumeric(std::string_view& text, double& value) {
  value = 0;
  const NumericHooks* hooks = Hooks().Active();
  if (!hooks || !hooks->errorHook || !hooks->stringEvaluator) return false;
  ExpressionNesting nesting(hooks->errorHook);
  UnknownName unknown;
  NumericParser parser(text, *hooks);
  return parser.RunSimple(value) || parser.Run(value, unknown);
}

bool InterpreteNumeric(std::string& text, double& value) {
  value = 0;
  const NumericHooks* hooks = Hooks().Active();
  if (!hooks || !hooks->errorHook || !hooks->stringEvaluator) return false;
  ExpressionNesting nesting(hooks->errorHook);
  std::string_view view(text);
  UnknownName unknown;
  NumericParser parser(view, *hooks);
  bool result = parser.RunSimple(value) || parser.Run(value, unknown);
  size_t start = size_t(view.data() - text.data());
  text.erase(start + view.size());
  text.erase(0, start);
  if (unknown.active) {
    for (size_t i = 0; i < unknown.length && i < text.size(); ++i) text[i] = AsciiUpper(text[i]);
    text.erase(unknown.length, unknown.blanks);
  }
  return result;
}
