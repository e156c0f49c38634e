// Header scripts are written by users: any text must load and run against a
// message without crashing, and every run must end. The harness bounds a run
// by steps and by memory through the script's step hook.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uTools.h"
#include "uVQSkript.h"
#include "uVQSkriptDo.h"

#if defined(__has_include)
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#define TIDELARN_HEAP_SIZE() __sanitizer_get_current_allocated_bytes()
#endif
#endif

namespace {

const char* const kMessage =
    "From: Max Muster <max@example.org>\r\n"
    "Subject: =?iso-8859-1?Q?Gr=FC=DFe?=\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
    "\r\n"
    "--b\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\n"
    "\r\n"
    "> quoted\r\n"
    "body line\r\n"
    "-- \r\n"
    "sig\r\n"
    "--b\r\n"
    "Content-Type: application/octet-stream\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "AAEC\r\n"
    "--b--\r\n";

constexpr int kMaxSteps = 3000;
constexpr size_t kMaxHeap = size_t{256} << 20;
int gSteps = 0;

bool WithinBudget() {
  if (++gSteps > kMaxSteps) return false;
#ifdef TIDELARN_HEAP_SIZE
  if (TIDELARN_HEAP_SIZE() > kMaxHeap) return false;
#endif
  return true;
}

// Boxes take their default and input boxes their preset; the error display
// answers with every choice in turn, starting where the input says.
class TQuietPrompter : public TPrompter {
public:
  int next = 0;
  int MessageBox(const std::string&, const std::string&, unsigned flags) override {
    return DefaultButton(flags);
  }
  bool InputBox(const std::string&, const std::string&, std::string&) override { return false; }
  int ShowErrorOrDebug(TErrorDisplay&) override { return 1 + (next++ % 4); }
};
TQuietPrompter gPrompter;

std::string gHome;
TMemoryFiles* gFiles = nullptr;

// A script the fuzzed one may include (the fuzzed script can include itself
// to reach the depth bound).
const char* const kInclude =
    "if true then\r\n"
    "  X-Included: 1\r\n"
    "endif\r\n";

void SetUpOnce() {
  if (!gHome.empty()) return;
  LoadCharsetTablesOnce();
  gHome = UseScratchProgramDir("fuzz-script");
  // Scripts, includes, reports and traces in memory.
  gFiles = &MemoryFilesOnce();
  SetPrompter(&gPrompter);
  SetScriptStepHook(WithinBudget);
  // Fuzzed scripts must not start programs or write files outside the folder.
  SetScriptEffectsHook([] { return false; });
}

// Reports and traces of the last run are not kept; a file some path still
// writes to the disk neither.
void CleanHome() {
  gFiles->files.clear();
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(gHome, ec))
    std::filesystem::remove_all(e.path(), ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetUpOnce();
  gFiles->files[gHome + "header.def"].assign(reinterpret_cast<const char*>(data), size);
  gFiles->files[gHome + "include.def"] = kInclude;
  gSteps = 0;
  gPrompter.next = size > 0 ? data[size - 1] : 0;

  TVQEinstellungen settings;
  settings.FilePath = gHome;
  settings.HeaderDef = "header.def";
  settings.BodyCharsets = "us-ascii,iso-8859-1,utf-8";
  settings.HeaderCharsets = "us-ascii,iso-8859-1,utf-8";
  // The copy of a converted HTML part stays in the fuzzing folder.
  settings.SaveHTMLAs = gHome + "Original_*.html";
  TArtikel article(InternalCharsetName(), settings.BodyCharsets, settings.HeaderCharsets);
  article.LoadFromString(kMessage);
  try {
    TVQSkript script("fuzz.msg", &article, &settings);
    script.LoadScript(true);
    script.RunCheckAbort();
    script.RunSubMain();
    script.IsChanged();
    script.RunAfterAll("fuzz.msg", "fuzz.msg");
    article.GetText();
  } catch (const std::exception&) {
    // Failures that leave a run are the driver's to report.
  }
  CleanHome();
  return 0;
}
