// What every start of the runner pays before any message: reading the charset
// tables and loading one correction profile (the standard profile, every key
// present).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "IniFile.h"
#include "ProgramDir.h"
#include "SysUtils.h"
#include "uCharsets.h"
#include "uEinstellungen.h"

namespace {

// A program folder of our own holding charsets.dat and a complete profile;
// removed when the program ends.
const std::string& Home() {
  static const std::string home = [] {
    std::string charsets = ShippedFile("charsets.dat");
    if (!FileExists(charsets)) charsets = ProgramDir() + "../charsets.dat";  // beside the programs
    char tmpl[] = "/tmp/tidelarn-bench-settings-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    std::string home = std::string(tmpl) + "/";
    std::filesystem::copy_file(charsets, home + "charsets.dat");
    std::atexit([] { std::filesystem::remove_all(Home()); });
    SetProgramDir(home);
    GetCSInfos();
    TVQEinstellungen profile;
    profile.IniFileName = home + "Tidelarn.ini";
    profile.Section = "News";
    profile.Load(false);  // writes every default once
    return home;
  }();
  return home;
}

void BM_CharsetTables(benchmark::State& state) {
  const std::string file = Home() + "charsets.dat";
  for (auto _ : state) {
    TCSInfos infos(file);
    benchmark::DoNotOptimize(infos.Count());
  }
}

void BM_ProfileLoad(benchmark::State& state) {
  const std::string file = Home() + "Tidelarn.ini";
  for (auto _ : state) {
    TVQEinstellungen profile;
    profile.IniFileName = file;
    profile.Section = "News";
    profile.Load(false);
    benchmark::DoNotOptimize(profile.MessagePath);
  }
}

void BM_IniRead(benchmark::State& state) {
  TIniFile ini(Home() + "Tidelarn.ini");
  const auto keys = ini.ReadSection("News");
  for (auto _ : state)
    for (const auto& key : keys) benchmark::DoNotOptimize(ini.ReadString("News", key, ""));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(keys.size()));
}

}  // namespace

BENCHMARK(BM_CharsetTables)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProfileLoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IniRead)->Unit(benchmark::kMicrosecond);
