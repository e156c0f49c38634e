// The string expression evaluator, its built-in functions and the text helpers
// behind them that other parts of the engine use too.
//
// A string expression is a term (a string variable, a registered function or a
// quoted constant), optionally indexed with [n], optionally followed by "+" and
// a further expression. Hooks and the registry follow the rules of uGetNum.h:
// process-wide, with an owner per installation and record.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "uGetNum.h"

// True when Text begins with a reference to a String variable; removes it from
// Text and gives the variable's name. References begin with "%": the test is
// only asked when that is the first byte of Text above blank.
using StringVarTest = std::function<bool(std::string_view& text, std::string& name)>;
using StringVarGetter = std::function<void(const std::string& name, std::string& value)>;
using StringFunction = std::function<void(FunctionCall& call, std::string& result)>;

// Flag of a string function whose single string argument may stand without
// brackets, and whose bracketed argument is taken literally when it is no
// string expression.
constexpr int kLooseStringArgument = 1;

void SetStringHooks(HookOwner owner, ErrorHook errorHook, StringVarGetter stringVarGetter,
                    StringVarTest stringVarTest);
void RemoveStringHooks(HookOwner owner);

// Appends to the string registry (the built-ins always come first) and returns
// the position. Names are matched as script words (StartsWithKeyword).
int RegisterStringFunction(std::string_view name, std::string_view signature, int flag, int index,
                           StringFunction handler, HookOwner owner = nullptr);
// Removes the last record whose name equals Name exactly.
void UnregisterStringFunction(std::string_view name);
// Removes every record Owner registered.
void UnregisterStringFunctions(HookOwner owner);
void RegisterBuiltinStringFunctions();

// Longest text that concatenation and the generating functions (FillChar,
// Str's width, WordWrap, Replace) may make; beyond it they raise ERangeError
// rather than exhaust memory. 256 MiB unless set otherwise.
void SetScriptTextLimit(size_t limit);
size_t ScriptTextLimit();

// Reads one string expression from the front of Text and removes what it read.
// False when no term could be read (Text unchanged), when the last term after a
// "+" failed (S is then the first term), or when no error hook is installed.
bool InterpreteString(std::string& text, std::string& s);
bool InterpreteString(std::string_view& text, std::string& s);

// A string expression read once and kept, for lines that run again and again:
// quoted constants, String variables and calls of the pure built-in functions
// whose arguments are again such expressions or simple numeric ones, joined
// by "+". Anything else has no plan and is read as text.
struct TStringPlan;
// Nullptr when Text (one whole expression, blanks after it allowed) is not
// covered; the references are read through the installed hooks.
std::shared_ptr<const TStringPlan> PlanStringExpression(std::string_view text);
// The upper-cased names the plan reads as String variables.
const std::vector<std::string>& PlanVariables(const TStringPlan& plan);
// Evaluates the plan as InterpreteString would evaluate its text, errors
// included. False, with nothing evaluated, when the function registry changed
// since the plan was made or Owner's hooks are not the active ones; the
// caller makes sure that PlanVariables are still String variables.
bool RunStringPlan(const TStringPlan& plan, HookOwner owner, std::string& s);

// Text is trimmed; when it begins with a bracketed group (quotes inside may
// hold brackets), Inner is the group's trimmed content and, with RemoveGroup,
// Text the trimmed rest after it.
bool SplitParenArgs(std::string& text, std::string& inner, bool removeGroup);
bool SplitParenArgs(std::string_view& text, std::string_view& inner, bool removeGroup);

// Case-sensitive regular expressions; a bad pattern raises EPerlRe.
bool RegexMatch(std::string_view text, std::string_view pattern);
// The first match, empty when there is none.
std::string StrExtract(std::string_view pattern, std::string_view text);

// The value of Key in Section of the INI file, or Fallback; a file that is
// there and cannot be read gives Fallback too, and is named on stderr.
std::string ReadIniOrDefault(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& fallback);
// Every match replaced by Replacement, taken literally.
std::string StrReplaceRegex(std::string_view text, std::string_view pattern, std::string_view replacement);

// Breaks lines longer than Width at their last blank with CR LF + Prefix; a
// line feed in Text becomes LF + Prefix. Words longer than Width stay whole.
std::string WordWrapText(std::string_view text, std::string_view prefix, int64_t width);

// Shortest general form with up to 15 significant digits, "." as decimal
// separator, exponent form ("1E20", "1.5E-7") for very large or small values.
std::string NumberToStr(double x);
// The same into Out, whose storage is reused: loop counters are written at
// every pass.
void NumberToStr(double x, std::string& out);
// The general form with Precision significant digits (1..15).
std::string FormatGeneral(double x, int precision);
// S as a number ("." separator, blanks around it allowed); raises EConvertError.
double StrToNumber(std::string_view s);
// A whole decimal number: optional sign, digits with an optional ".", an
// optional exponent; nothing else. A value too small for Double reads as 0.
bool TryParseDecimal(std::string_view s, double& value);

// Without trailing / leading spaces and tabs.
std::string RTrimBlanks(std::string_view s);
std::string LTrimBlanks(std::string_view s);

// Case mapping of national letters too, in the internal charset (windows-1252
// when the charset tables are not loaded); a letter whose other case the
// charset lacks stays as it is.
std::string ScriptLowerCase(std::string_view s);
std::string ScriptUpperCase(std::string_view s);
// Between the DOS code page 850 and windows-1252, byte for byte.
std::string DosToWin(std::string_view s);
std::string WinToDos(std::string_view s);

struct TScriptDateTime {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};
TScriptDateTime NowScriptDateTime();
// Delphi-style date and time format letters (c, d..dddddd, e, g, m..mmmm, y,
// h, n, s, z, t, tt, am/pm, a/p, ampm, aaa, aaaa, / and :, quoted text); an
// empty format is "c". Names, separators, eras and the standard formats come
// from the locale's LC_TIME, in the internal charset; under the C, POSIX or
// C.UTF-8 locale they are German (dd.mm.yyyy, hh:nn:ss). At most 256
// characters.
std::string FormatScriptDateTime(std::string_view format, const TScriptDateTime& dateTime);
