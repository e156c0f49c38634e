// HTML to text on ordinary mail HTML and on hostile shapes; the complexity
// fit shows whether time stays linear in the input.
#include <benchmark/benchmark.h>

#include <string>

#include "uHtml2Text.h"

namespace {

std::string Repeat(const std::string& s, int64_t n) {
  std::string r;
  r.reserve(s.size() * size_t(n));
  for (int64_t i = 0; i < n; ++i) r += s;
  return r;
}

void Run(benchmark::State& state, const std::string& html) {
  for (auto _ : state) benchmark::DoNotOptimize(HtmlToText(html));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(html.size()));
  state.SetComplexityN(int64_t(html.size()));
}

void MailHtml(benchmark::State& state) {
  Run(state, "<html><body>" +
                 Repeat("<p>Hallo <b>Welt</b>, das ist ein ganz gew&ouml;hnlicher Absatz mit "
                        "<a href=\"http://example.invalid/x\">Link</a> und &amp; Entity.</p>\r\n",
                        state.range(0)));
}

void DeepLists(benchmark::State& state) {
  Run(state, "<body>" + Repeat("<ul>", state.range(0)) + Repeat("<li>a b c d e", state.range(0)));
}

void TabsAndBreaks(benchmark::State& state) {
  Run(state, "<body>x" + Repeat("</tr>", state.range(0)) + Repeat("<br>", state.range(0)));
}

void LongWrappedLines(benchmark::State& state) {
  Run(state, "<body><ul><ul><ul><li>" + Repeat("w ", state.range(0) * 8));
}

}  // namespace

BENCHMARK(MailHtml)->RangeMultiplier(4)->Range(64, 16384)->Complexity(benchmark::oN);
BENCHMARK(DeepLists)->RangeMultiplier(4)->Range(64, 16384)->Complexity(benchmark::oN);
BENCHMARK(TabsAndBreaks)->RangeMultiplier(4)->Range(64, 16384)->Complexity(benchmark::oN);
BENCHMARK(LongWrappedLines)->RangeMultiplier(4)->Range(64, 16384)->Complexity(benchmark::oN);
