// Loading and saving messages: a 4 KB posting and a 20 MB mail with a base64
// attachment, each loaded from a file, given one changed header and saved the
// way the runner saves (temporary file, sync, rename). The copy of the large
// file with cp is the yardstick. Counters: peak heap during load and save in
// multiples of the file size, and how many parts were decoded.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "ProgramDir.h"
#include "SafeFile.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uCharsets.h"
#include "uHeaderCoding.h"

extern char** environ;

// Heap accounting for the peak-memory counter.
namespace {
std::atomic<size_t> gHeapNow{0}, gHeapPeak{0};
}  // namespace

void* operator new(size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  size_t now = gHeapNow += malloc_usable_size(p);
  size_t peak = gHeapPeak.load();
  while (now > peak && !gHeapPeak.compare_exchange_weak(peak, now)) {
  }
  return p;
}
void operator delete(void* p) noexcept {
  if (!p) return;
  gHeapNow -= malloc_usable_size(p);
  std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

namespace fs = std::filesystem;

struct Files {
  std::string dir, posting, large;
  size_t largeSize = 0;
};

void Write(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary).write(data.data(), std::streamsize(data.size()));
}

const Files& TestFiles() {
  static const Files files = [] {
    Files f;
    char tmpl[] = "/tmp/tidelarn-bench-XXXXXX";
    f.dir = mkdtemp(tmpl);
    // The build copies charsets.dat into its top folder, one above this program.
    if (!FileExists(ShippedFile("charsets.dat"))) SetProgramDir(ProgramDir() + "..");
    GetCSInfos();

    std::string posting =
        "Path: not-for-mail\r\nFrom: Max Muster <max@example.org>\r\nNewsgroups: de.test\r\n"
        "Subject: Re: Benchmark\r\nReferences: <a@example.org> <b@example.org>\r\n"
        "Message-ID: <bench@example.org>\r\nMIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    while (posting.size() < 4000)
      posting += "> quoted text of the earlier posting, line after line\r\n";
    posting += "-- \r\nMax\r\n";
    f.posting = f.dir + "/posting.msg";
    Write(f.posting, posting);

    std::string attachment(15 * 1024 * 1024, '\0');
    uint32_t x = 12345;
    for (char& c : attachment) c = char((x = x * 1103515245u + 12345u) >> 24);
    std::string large =
        "From: a@example.org\r\nTo: b@example.org\r\nSubject: Large\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"=_bench\"\r\n\r\n"
        "--=_bench\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nSee the attachment.\r\n"
        "--=_bench\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
        EncodeBase64(attachment) + "\r\n--=_bench--\r\n";
    f.large = f.dir + "/large.msg";
    f.largeSize = large.size();
    Write(f.large, large);
    return f;
  }();
  return files;
}

void LoadChangeSave(TArtikel& art, const std::string& path) {
  art.LoadFromFile(path);
  art.Header.SetField("X-Bench", "1");
  // As the runner writes: the pieces of the final text, unchanged parts
  // straight from the loaded buffer.
  TTextPieces text;
  art.GetFinalPieces(text);
  TReplacementFile file(path);
  text.ForEach([&](std::string_view piece) {
    if (art.LineEndsLFOnly)
      file.WriteWithoutCR(piece);
    else
      file.Write(piece);
  });
  file.Commit();
}

void BM_Posting4K(benchmark::State& state) {
  const Files& f = TestFiles();
  TArtikel art("windows-1252", "us-ascii,iso-8859-1,utf-8", "us-ascii,iso-8859-1,utf-8");
  for (auto _ : state) LoadChangeSave(art, f.posting);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(f.posting)));
}
BENCHMARK(BM_Posting4K)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_Posting4KLoadOnly(benchmark::State& state) {
  const Files& f = TestFiles();
  TArtikel art("windows-1252", "us-ascii,iso-8859-1,utf-8", "us-ascii,iso-8859-1,utf-8");
  for (auto _ : state) {
    art.LoadFromFile(f.posting);
    benchmark::DoNotOptimize(art.CurrentPart()->Body().Count());
  }
}
BENCHMARK(BM_Posting4KLoadOnly)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_Large20MB(benchmark::State& state) {
  const Files& f = TestFiles();
  double peakRatio = 0;
  int decoded = 0;
  for (auto _ : state) {
    TArtikel art("windows-1252", "us-ascii,iso-8859-1,utf-8", "us-ascii,iso-8859-1,utf-8");
    const size_t base = gHeapNow.load();
    gHeapPeak = base;
    LoadChangeSave(art, f.large);
    peakRatio = double(gHeapPeak.load() - base) / double(f.largeSize);
    decoded = 0;
    for (int i = 0; i < art.Parts.Count(); ++i) decoded += art.Parts.Items(i)->BodyParsed;
  }
  state.counters["peak_heap_per_file_size"] = peakRatio;
  state.counters["decoded_parts"] = decoded;
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.largeSize));
}
BENCHMARK(BM_Large20MB)->Unit(benchmark::kMillisecond)->UseRealTime();

// The yardstick: the same file copied with cp.
void BM_Large20MBWithCp(benchmark::State& state) {
  const Files& f = TestFiles();
  const std::string target = f.dir + "/copy.msg";
  for (auto _ : state) {
    const char* argv[] = {"cp", f.large.c_str(), target.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      state.SkipWithError("cp cannot be started");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.largeSize));
}
BENCHMARK(BM_Large20MBWithCp)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
