// The evaluators read expressions in one pass over views of the text: time
// grows linearly with the number of terms (see the reported complexity; an
// evaluator that copied or shortened the text per term would be quadratic).
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "uGetNum.h"
#include "uGetStr.h"

namespace {

int gOwner;

void InstallHooks() {
  static bool done = false;
  if (done) return;
  done = true;
  auto ignore = [](std::string_view, std::string_view) {};
  SetNumericHooks(&gOwner, InterpreteString, ignore, [](const std::string&) { return 2.0; });
  SetStringHooks(&gOwner, ignore, [](const std::string&, std::string& v) { v = "x"; }, nullptr);
}

// "1+2*3-4/5+..." with Terms operands.
std::string Arithmetic(int64_t terms) {
  static const char* const kOps[] = {"+", "*", "-", "/"};
  std::string s = "1";
  for (int64_t i = 1; i < terms; ++i) {
    s += kOps[i % 4];
    s += std::to_string(i % 97 + 1);
  }
  return s;
}

// Numeric terms that call functions with string arguments: "Len('ab')+Len('ab')+...".
std::string NumericCalls(int64_t terms) {
  std::string s = "Len('ab')";
  for (int64_t i = 1; i < terms; ++i) s += "+Len('ab')";
  return s;
}

// "'ab'+'ab'+..." string concatenation.
std::string Concatenation(int64_t terms) {
  std::string s = "'ab'";
  for (int64_t i = 1; i < terms; ++i) s += " + 'ab'";
  return s;
}

// String functions with numeric arguments: "Left('abc', 2)+Left('abc', 2)+...".
std::string StringCalls(int64_t terms) {
  std::string s = "Left('abc', 1+1)";
  for (int64_t i = 1; i < terms; ++i) s += " + Left('abc', 1+1)";
  return s;
}

template <std::string (*Make)(int64_t)>
void Numeric(benchmark::State& state) {
  InstallHooks();
  const std::string text = Make(state.range(0));
  for (auto _ : state) {
    std::string t = text;
    double v = 0;
    benchmark::DoNotOptimize(InterpreteNumeric(t, v));
    benchmark::DoNotOptimize(v);
  }
  state.SetComplexityN(state.range(0));
}

template <std::string (*Make)(int64_t)>
void String(benchmark::State& state) {
  InstallHooks();
  const std::string text = Make(state.range(0));
  for (auto _ : state) {
    std::string t = text, s;
    benchmark::DoNotOptimize(InterpreteString(t, s));
    benchmark::DoNotOptimize(s);
  }
  state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(Numeric<Arithmetic>)->Name("Numeric/Arithmetic")->RangeMultiplier(10)->Range(100, 100000)->Complexity();
BENCHMARK(Numeric<NumericCalls>)->Name("Numeric/FunctionCalls")->RangeMultiplier(10)->Range(100, 100000)->Complexity();
BENCHMARK(String<Concatenation>)->Name("String/Concatenation")->RangeMultiplier(10)->Range(100, 100000)->Complexity();
BENCHMARK(String<StringCalls>)->Name("String/FunctionCalls")->RangeMultiplier(10)->Range(100, 100000)->Complexity();
