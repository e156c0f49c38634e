// A stand-in for the script object: installs both evaluators' hooks with an
// error hook that records and returns, numeric and string variables from maps.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "uGetNum.h"
#include "uGetStr.h"
#include "uVarList.h"

struct ReportedError {
  std::string message, context;
};

class EvalTest : public ::testing::Test {
protected:
  void SetUp() override {
    auto record = [this](std::string_view message, std::string_view context) {
      errors.push_back({std::string(message), std::string(context)});
    };
    SetNumericHooks(this, InterpreteString, record, [this](const std::string& name) {
      auto it = numbers.find(name);
      return it == numbers.end() ? -1.0 : it->second;
    });
    SetStringHooks(
        this, record, [this](const std::string& name, std::string& value) { value = strings.at(name); },
        [this](std::string_view& text, std::string& name) {
          // %NAME% of a known string variable, as the script object reads it.
          if (!text.starts_with('%')) return false;
          size_t end = text.find('%', 1);
          if (end == std::string_view::npos) return false;
          std::string n = UpperCase(text.substr(1, end - 1));
          if (!strings.count(n)) return false;
          name = n;
          text.remove_prefix(end + 1);
          while (text.starts_with(' ')) text.remove_prefix(1);
          return true;
        });
  }

  void TearDown() override {
    RemoveNumericHooks(this);
    RemoveStringHooks(this);
    UnregisterNumericFunctions(this);
    UnregisterStringFunctions(this);
  }

  // Evaluates Text; Rest receives what was left unread.
  double Num(std::string text, std::string* rest = nullptr, bool* ok = nullptr) {
    double v = -12345;
    bool r = InterpreteNumeric(text, v);
    if (rest) *rest = text;
    if (ok) *ok = r;
    return v;
  }
  std::string Str(std::string text, std::string* rest = nullptr, bool* ok = nullptr) {
    std::string s = "stale";
    bool r = InterpreteString(text, s);
    if (rest) *rest = text;
    if (ok) *ok = r;
    return s;
  }

  std::string FirstError() const { return errors.empty() ? std::string("<none>") : errors[0].message; }

  std::vector<ReportedError> errors;
  std::map<std::string, double> numbers;
  std::map<std::string, std::string> strings{{"NAME", "Ada"}};
};

// A German text of the source in the internal charset.
inline std::string De(const char* utf8) { return FromUtf8(utf8); }
