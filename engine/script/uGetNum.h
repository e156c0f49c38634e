// The numeric expression evaluator, the function registries' common parts and
// the hooks through which the evaluators reach a script.
//
// An evaluator reads one expression from the front of a text and leaves the
// unread rest, so the caller goes on with what follows (a keyword, a
// comparison, a closing bracket, a comma). Both evaluators work on views into
// the caller's text; the std::string overloads remove what was read once, at
// the end.
//
// Hooks and registries are process-wide. Whoever installs hooks or registers
// functions names itself as owner; the hooks of the owner installed last are
// the ones in use, and removing an owner takes away only its own hooks and
// records, so the hooks of the owner before it are in use again.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "SysUtils.h"

// Floating-point faults of the evaluators' arithmetic.
class EMathError : public Exception {
public:
  using Exception::Exception;
};
// Division or remainder by zero, zero to a negative power ("Gleitkommadivision durch Null").
class EZeroDivide : public EMathError {
public:
  EZeroDivide();
};
// An undefined result such as the root of a negative number ("Ungültige Gleitkommaoperation").
class EInvalidOp : public EMathError {
public:
  EInvalidOp();
};
// A result beyond the range of Double ("Gleitkommaüberlauf").
class EOverflow : public EMathError {
public:
  EOverflow();
};

// Whoever installed hooks or registered functions (a script object); nullptr
// for the built-ins.
using HookOwner = const void*;

// The arguments of one call of a registered function, numeric or string.
struct FunctionCall {
  int Count = 0;     // NumCount + StrCount
  int NumCount = 0;
  int StrCount = 0;
  int Index = 0;     // the registry record's Index
  // Arguments in the order of their kind: Num[1]..Num[5], Str[1]..Str[5]
  // (element 0 is unused).
  std::array<double, 6> Num{};
  std::array<std::string, 6> Str;
  // The unread text: for a "*" signature the arguments themselves, for string
  // functions the text after the bracketed arguments. A handler may only take
  // text off its front; what it leaves is the caller's unread text.
  std::string_view RawText;
};

// Signature characters.
constexpr char kNumArg = '#';
constexpr char kStrArg = '$';
constexpr char kRawArgs = '*';

// Reads a string expression from the front of Text (advancing it) into S.
using StringEvaluator = bool (*)(std::string_view& text, std::string& s);
// Shows an error; evaluation goes on when it returns. The script's hook never
// returns (it ends the line with EAbort). Context is a piece of the text being
// read, valid only during the call.
using ErrorHook = std::function<void(std::string_view message, std::string_view context)>;
// Value of the variable written %NAME% (the name arrives upper-cased).
using NumericVarGetter = std::function<double(const std::string& name)>;
using NumericFunction = std::function<double(FunctionCall& call)>;

// Installs the numeric evaluator's hooks for Owner; they are in use until
// another owner installs its own or Owner's are removed.
void SetNumericHooks(HookOwner owner, StringEvaluator stringEvaluator, ErrorHook errorHook,
                     NumericVarGetter numericVarGetter);
void RemoveNumericHooks(HookOwner owner);

// Appends a function to the numeric registry (the built-ins always come first)
// and returns its position. Name is matched without regard to case; Signature
// holds one "#" or "$" per argument (at most five of each), "*" for a function
// that reads its own arguments, or nothing for one without arguments and
// brackets.
int RegisterNumericFunction(std::string_view name, std::string_view signature, int index,
                            NumericFunction handler, HookOwner owner = nullptr);
// Removes the last record whose name equals Name exactly.
void UnregisterNumericFunction(std::string_view name);
// Removes every record Owner registered.
void UnregisterNumericFunctions(HookOwner owner);
void RegisterBuiltinNumericFunctions();

// Reads one numeric expression from the front of Text and removes what it
// read. True when anything was taken; false when nothing could be read, when a
// function name is unknown (Text then begins with the name, upper-cased), or
// when the hooks are not installed (Value 0, Text unchanged). Syntax errors go
// to the error hook. Raises EMathError for undefined or too large results.
bool InterpreteNumeric(std::string& text, double& value);
// The same on a view, which is advanced; an unknown function name is left in
// the case it was written.
bool InterpreteNumeric(std::string_view& text, double& value);

// Brackets, function arguments and string terms may nest at most this deep
// (both evaluators together); deeper nesting is reported and then raises.
constexpr int kMaxExpressionNesting = 200;

// Counts one level of evaluator nesting for as long as it lives.
// How much of Text (blanks after it too) InterpreteNumeric takes when Text
// begins with the simple form it reads without its state machine: numbers of
// up to 15 digits and %variables% joined by binary operators; npos otherwise.
// Only the text is looked at.
size_t SimpleNumericLength(std::string_view text);

// A simple numeric expression read once: its operands (a number, or the
// upper-cased name of a variable) with the operator after each.
struct TSimpleNumeric {
  struct Operand {
    double number = 0;
    std::string name;  // empty: the number
    int op = 0;
  };
  std::vector<Operand> operands;
  size_t taken = 0;  // as SimpleNumericLength
  std::string text;  // the text read, for its keeper
};
// False when Text does not begin with the simple form.
bool PlanSimpleNumeric(std::string_view text, TSimpleNumeric& plan);
// InterpreteNumeric of the text Plan was made from, given as Text: the same
// steps and errors without reading the text again.
bool RunSimpleNumeric(const TSimpleNumeric& plan, std::string_view& text, double& value);

class ExpressionNesting {
public:
  explicit ExpressionNesting(const ErrorHook& report);
  ~ExpressionNesting();
  // The levels now open; 0 when no evaluation runs.
  static int Depth();
  ExpressionNesting(const ExpressionNesting&) = delete;
  ExpressionNesting& operator=(const ExpressionNesting&) = delete;
};
