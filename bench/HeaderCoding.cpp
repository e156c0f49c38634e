// RFC 2047 header fields: encoding the header lines a script writes and
// decoding the ones it reads, with the standard header charsets.
#include <benchmark/benchmark.h>

#include <string>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "uCharsets.h"
#include "uHeaderCoding.h"

namespace {

const TCharsets& Charsets() {
  static const TCharsets* charsets = [] {
    if (!FileExists(ShippedFile("charsets.dat"))) SetProgramDir(ProgramDir() + "..");
    GetCSInfos();
    return new TCharsets("windows-1252", "us-ascii,iso-8859-1,iso-8859-15,utf-8");
  }();
  return *charsets;
}

// Lines as the correction writes them: plain ASCII, a subject with umlauts,
// an address field with an 8-bit display name, a long folded subject.
const std::string kAscii = "Subject: Re: Frage zum Testen der Zitatzeichen";
const std::string kSubject = "Subject: Re: Gr\xfc\xdf" "e aus K\xf6ln und M\xfcnchen";
const std::string kFrom = "From: G\xfcnter M\xfcller <guenter@example.org>";
const std::string kLong =
    "Subject: \xc4nderungen an der Stra\xdf" "enbahn zwischen K\xf6ln, D\xfcsseldorf und "
    "M\xfcnchen f\xfcr die n\xe4" "chsten zw\xf6lf Wochen, mit Ersatzverkehr \xfc" "ber Land";

void Encode(benchmark::State& state, const std::string& line) {
  const TCharsets& cs = Charsets();
  for (auto _ : state) benchmark::DoNotOptimize(EncodeHeader(cs, line));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(line.size()));
}

void Decode(benchmark::State& state, const std::string& line) {
  const TCharsets& cs = Charsets();
  const std::string encoded = EncodeHeader(cs, line);
  const std::string value = encoded.substr(encoded.find(": ") + 2);
  for (auto _ : state) benchmark::DoNotOptimize(DecodeHeader(cs, value));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(value.size()));
}

void BM_EncodeAscii(benchmark::State& s) { Encode(s, kAscii); }
void BM_EncodeSubject(benchmark::State& s) { Encode(s, kSubject); }
void BM_EncodeAddress(benchmark::State& s) { Encode(s, kFrom); }
void BM_EncodeLongSubject(benchmark::State& s) { Encode(s, kLong); }
void BM_DecodeSubject(benchmark::State& s) { Decode(s, kSubject); }
void BM_DecodeAddress(benchmark::State& s) { Decode(s, kFrom); }
void BM_DecodeLongSubject(benchmark::State& s) { Decode(s, kLong); }

}  // namespace

BENCHMARK(BM_EncodeAscii);
BENCHMARK(BM_EncodeSubject);
BENCHMARK(BM_EncodeAddress);
BENCHMARK(BM_EncodeLongSubject);
BENCHMARK(BM_DecodeSubject);
BENCHMARK(BM_DecodeAddress);
BENCHMARK(BM_DecodeLongSubject);
