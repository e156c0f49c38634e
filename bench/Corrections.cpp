// The automatic corrections of one article with a new profile's defaults and
// no script: a short reply and a long posting of quoted text, both loaded from
// memory. The time per message is what the news server waits for on top of
// loading and saving.
#include <benchmark/benchmark.h>

#include <string>

#include "../fuzz/FuzzSupport.h"
#include "ProgramDir.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uCharsets.h"
#include "uEinstellungen.h"
#include "uKorrigiereArtikel.h"
#include "uTools.h"
#include "uVQSkript.h"

namespace {

void SetUpOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  LoadCharsetTablesOnce();
  UseScratchProgramDir("bench-corrections");
}

std::string Message(int quotedLines) {
  std::string text =
      "From: Max Muster <max@example.org>\r\nNewsgroups: de.test\r\n"
      "Subject: AW: Re: Frage (was: alt)\r\n"
      "References: <1@a.example> <2@a.example> <3@a.example> <4@a.example> <5@a.example>\r\n\r\n"
      "Max Muster schrieb:\r\n";
  for (int i = 0; i < quotedLines; ++i)
    text += i % 3 == 0 ? "> > >quoted text of a long discussion, line " + IntToStr(i) + "\r\n"
                       : ">>  indented continuation line with some words in it   \r\n";
  return text + "Answer.\r\n\r\n\r\n-- \r\nMax\r\n";
}

void Correct(benchmark::State& state) {
  SetUpOnce();
  TVQEinstellungen settings;
  settings.IniFileName = ProgramDir() + "Tidelarn.ini";
  settings.Section = "news";
  settings.Load(false);
  settings.HeaderDef = "";
  settings.RightTrimLines = true;
  settings.KillOEWordWraps = true;
  const std::string text = Message(int(state.range(0)));
  for (auto _ : state) {
    TArtikel article(InternalCharsetName(), settings.BodyCharsets, settings.HeaderCharsets);
    article.LoadFromString(text);
    TVQSkript script("bench.msg", &article, &settings);
    benchmark::DoNotOptimize(KorrigiereArtikel(script, settings, article));
    benchmark::DoNotOptimize(article.GetText());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

}  // namespace

BENCHMARK(Correct)->Arg(10)->Arg(5000)->Unit(benchmark::kMicrosecond);
