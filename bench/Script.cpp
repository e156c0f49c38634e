// The script engine on whole lines: a loop with an assignment, and the
// typical header script of bench/run on a 4 KB posting.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uCharsets.h"
#include "uEinstellungen.h"
#include "uTools.h"
#include "uTransla.h"
#include "uVQSkript.h"

namespace {

const char* const kPosting =
    "From: Anna Beispiel <anna@example.org>\r\n"
    "Newsgroups: de.comm.software.newsreader\r\n"
    "Subject: Re: AW: Re: Frage zu Umlauten im Betreff\r\n"
    "References: <1@example.net> <2@example.net>\r\n"
    "Message-ID: <3@example.org>\r\n"
    "X-Newsreader-Flags: draft\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: text/plain; charset=ISO-8859-1\r\n"
    "Content-Transfer-Encoding: 8bit\r\n"
    "\r\n"
    "Bernd Muster schrieb:\r\n"
    "> Eine Frage zu den Umlauten im Betreff.\r\n"
    "\r\n"
    "Eine Antwort mit \xfc" "ber zehn W\xf6rtern, damit der Text nicht leer ist.\r\n"
    "\r\n"
    "-- \r\n"
    "Anna\r\n";

// A program folder of our own with charsets.dat and the scripts; removed at exit.
const std::string& Home() {
  static const std::string home = [] {
    std::string charsets = ShippedFile("charsets.dat");
    if (!FileExists(charsets)) charsets = ProgramDir() + "../charsets.dat";
    // The build folder lies in the source tree (build-release/bench/).
    std::string source = ProgramDir() + "../../bench/data/";
    char tmpl[] = "/tmp/tidelarn-bench-script-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    std::string home = std::string(tmpl) + "/";
    std::filesystem::copy_file(charsets, home + "charsets.dat");
    std::filesystem::copy_file(source + "typical.def", home + "typical.def");
    std::ofstream(home + "loop.def") << "Sub main\n"
                                        "  Var %S%: String\n"
                                        "  For %I% = 1 to 1000\n"
                                        "    %S% = Copy(\"abcdefghij\", %I% \\ 5 + 1, 3)\n"
                                        "  Next\n"
                                        "End Sub\n";
    std::atexit([] { std::filesystem::remove_all(Home()); });
    SetProgramDir(home);
    InitTranslation();
    GetCSInfos();
    InitInternalCharset();
    return home;
  }();
  return home;
}

void Run(benchmark::State& state, const char* script, int64_t items) {
  TVQEinstellungen settings;
  settings.FilePath = Home();
  settings.HeaderDef = script;
  for (auto _ : state) {
    TArtikel article(InternalCharsetName(), "", "");
    article.LoadFromString(kPosting);
    TVQSkript run("bench.msg", &article, &settings);
    run.LoadScript(true);
    benchmark::DoNotOptimize(run.RunSubMain());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * items);
}

// Items: loop passes.
void BM_ForLoopWithCopy(benchmark::State& state) { Run(state, "loop.def", 1000); }
// Items: script lines of the typical script.
void BM_TypicalScript(benchmark::State& state) { Run(state, "typical.def", 20); }

}  // namespace

BENCHMARK(BM_ForLoopWithCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypicalScript)->Unit(benchmark::kMicrosecond);
