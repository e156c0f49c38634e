// Throughput of charset conversion and of the transfer encodings on a 10 MB
// text (bytes per second of input).
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "../fuzz/FuzzSupport.h"
#include "SysUtils.h"
#include "uHeaderCoding.h"

namespace {

constexpr size_t kSize = 10 << 20;


// German-looking windows-1252 text: words, a few umlauts, CR LF every ~70 bytes.
const std::string& Latin() {
  static const std::string text = [] {
    std::mt19937 rng(1);
    const char* words[] = {"der", "Brief", "kam", "gestern", "\xfc" "ber", "Stra\xdf" "e",
                           "K\xf6ln", "und", "M\xfcnchen", "nach", "Hause", "\x80" "5"};
    std::string s;
    s.reserve(kSize + 100);
    size_t col = 0;
    while (s.size() < kSize) {
      const char* w = words[rng() % std::size(words)];
      s += w;
      col += std::char_traits<char>::length(w) + 1;
      if (col > 70) {
        s += "\r\n";
        col = 0;
      } else {
        s += ' ';
      }
    }
    s.resize(kSize);
    return s;
  }();
  return text;
}

const std::string& Ascii() {
  LoadCharsetTablesOnce();
  static const std::string text = TransliterateToAscii(Latin()).substr(0, kSize);
  return text;
}

const std::string& Utf8() {
  LoadCharsetTablesOnce();
  static const std::string text = [] {
    bool lossy = false;
    return ConvertByIndex(Latin(), 0, GetCSInfos().IndexOf("utf-8"), lossy);
  }();
  return text;
}

void Convert(benchmark::State& state, const std::string& text, const char* from, const char* to) {
  LoadCharsetTablesOnce();
  const int f = GetCSInfos().IndexOf(from), t = GetCSInfos().IndexOf(to);
  for (auto _ : state) {
    bool lossy = false;
    benchmark::DoNotOptimize(ConvertByIndex(text, f, t, lossy));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void BM_ConvertAscii(benchmark::State& s) { Convert(s, Ascii(), "windows-1252", "utf-8"); }
void BM_ConvertEqual(benchmark::State& s) { Convert(s, Latin(), "windows-1252", "windows-1252"); }
void BM_ConvertTableToTable(benchmark::State& s) { Convert(s, Latin(), "windows-1252", "iso-8859-15"); }
void BM_ConvertTableToUtf8(benchmark::State& s) { Convert(s, Latin(), "windows-1252", "utf-8"); }
void BM_ConvertUtf8ToTable(benchmark::State& s) { Convert(s, Utf8(), "utf-8", "windows-1252"); }
void BM_ConvertUtf8Equal(benchmark::State& s) { Convert(s, Utf8(), "utf-8", "utf-8"); }

void BM_BestCharset(benchmark::State& state) {
  LoadCharsetTablesOnce();
  TCharsets cs("windows-1252", "us-ascii,iso-8859-1,iso-8859-15,utf-8");
  for (auto _ : state) benchmark::DoNotOptimize(&cs.BestCharset(Latin()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void BM_Base64Encode(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(EncodeBase64(Latin()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void BM_Base64Decode(benchmark::State& state) {
  const std::string encoded = EncodeBase64(Latin());
  for (auto _ : state) benchmark::DoNotOptimize(DecodeBase64Bytes(encoded));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(encoded.size()));
}

void BM_QuotedPrintableEncode(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(EncodeQuotedPrintable(Latin(), true));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void BM_QuotedPrintableDecode(benchmark::State& state) {
  const std::string encoded = EncodeQuotedPrintable(Latin(), true);
  for (auto _ : state) benchmark::DoNotOptimize(DecodeQuotedPrintableBytes(encoded, false));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(encoded.size()));
}

}  // namespace

BENCHMARK(BM_ConvertAscii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertEqual)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertTableToTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertTableToUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertUtf8ToTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertUtf8Equal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BestCharset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64Decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuotedPrintableEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuotedPrintableDecode)->Unit(benchmark::kMillisecond);
