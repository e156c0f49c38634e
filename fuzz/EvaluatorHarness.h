// Stands in for the script object while the evaluators are fuzzed: hooks that
// return after an error, a few variables, and functions of the signature kinds
// the built-ins lack (a loose string argument, a function reading the raw text).
#pragma once

#include <string>
#include <string_view>

#include "uGetNum.h"
#include "uGetStr.h"

inline void InstallEvaluatorHarness() {
  static int owner;
  static bool done = false;
  if (done) return;
  done = true;
  SetScriptTextLimit(size_t(1) << 20);
  UnregisterStringFunction("ReadIni");  // no files from fuzz input
  auto ignore = [](std::string_view, std::string_view) {};
  SetNumericHooks(&owner, InterpreteString, ignore,
                  [](const std::string& name) { return double(name.size()) - 2.5; });
  SetStringHooks(
      &owner, ignore, [](const std::string& name, std::string& value) { value = name + name; },
      [](std::string_view& text, std::string& name) {
        if (!text.starts_with("%S") || text.size() < 3 || text[2] != '%') return false;
        name.assign(1, 'S');  // assigning a literal trips a false -Wrestrict in g++ 12
        text.remove_prefix(3);
        return true;
      });
  RegisterNumericFunction("Two", "##", 0, [](FunctionCall& c) { return c.Num[1] - c.Num[2]; }, &owner);
  RegisterStringFunction(
      "Hdr", "$", kLooseStringArgument, 0, [](FunctionCall& c, std::string& r) { r = c.Str[1]; }, &owner);
  RegisterStringFunction(
      "Word", "", 0, 1,
      [](FunctionCall& c, std::string& r) {
        size_t n = std::min<size_t>(c.RawText.find(' '), c.RawText.size());
        r = std::string(c.RawText.substr(0, n));
        c.RawText.remove_prefix(n);
      },
      &owner);
}
