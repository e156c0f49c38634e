// The Do and HamsterApp commands read their arguments from script lines that
// users write: any line must be read without crashing. Every input line
// becomes a "Do" command (lines that begin with "HamsterApp" stay as they
// are); the script is a CopyIf run's, inside its walk's settings, so the
// counters are exercised too, and nothing reaches outside the process.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uCopyIf.h"
#include "uEinstellungen.h"
#include "uHamster.h"
#include "uTools.h"
#include "uVQSkript.h"
#include "uVQSkriptDo.h"

namespace {

const char* const kMessage =
    "From: a@example.org\r\n"
    "Newsgroups: de.test\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
    "\r\n"
    "--b\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "Gr=FC=DFe\r\n"
    "--b\r\n"
    "Content-Type: text/html\r\n"
    "\r\n"
    "<p>x</p>\r\n"
    "--b--\r\n";

constexpr int kMaxSteps = 2000;
int gSteps = 0;

bool WithinBudget() { return ++gSteps <= kMaxSteps; }

class TQuietPrompter : public TPrompter {
public:
  int MessageBox(const std::string&, const std::string&, unsigned flags) override {
    return DefaultButton(flags);
  }
  bool InputBox(const std::string&, const std::string&, std::string&) override { return false; }
  // Every error goes on with the next line.
  int ShowErrorOrDebug(TErrorDisplay&) override { return ErrorChoice::Continue; }
};
TQuietPrompter gPrompter;

std::string gHome, gScript;
THamsterSession gHamster;
TCopyIfRun gCopyIf(gHamster);
TMemoryFiles* gFiles = nullptr;
// The files as the set-up left them, for every input to start from.
decltype(TMemoryFiles::files) gStart;

void SetUpOnce() {
  if (!gHome.empty()) return;
  LoadCharsetTablesOnce();
  gHome = UseScratchProgramDir("fuzz-docommand");
  // Scripts, settings, reports and the files Do writes in memory.
  gFiles = &MemoryFilesOnce();
  SetPrompter(&gPrompter);
  SetScriptStepHook(WithinBudget);
  SetScriptEffectsHook([] { return false; });
  gCopyIf.LoadCopyIfSettings();
  gScript = SettingsFile("Copyif.def");
  gStart = gFiles->files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetUpOnce();
  std::string script;
  for (const std::string& line :
       SplitLines(std::string(reinterpret_cast<const char*>(data), size))) {
    std::string rest = line;
    script += (StartsWithKeyword("HamsterApp", rest) ? "" : "Do ") + line + "\r\n";
  }
  gFiles->files = gStart;
  gFiles->files[gScript] = std::move(script);
  gSteps = 0;
  gCopyIf.CopyIfSettings()->Counters.clear();

  TVQEinstellungen settings;
  settings.FilePath = gHome;
  settings.BodyCharsets = "us-ascii,iso-8859-1,utf-8";
  // The copy of a converted HTML part stays in the fuzzing folder.
  settings.SaveHTMLAs = gHome + "Original_*.html";
  TArtikel article(InternalCharsetName(), settings.BodyCharsets, "");
  article.LoadFromString(kMessage);
  try {
    TVQSkript run("fuzz.msg", &article, &settings);
    run.CopyIf = &gCopyIf;
    run.Hamster = &gHamster;
    run.LoadScript(true);
    run.RunSubMain();
    article.GetText();
  } catch (const std::exception&) {
    // Failures that leave a run are the driver's to report.
  }
  // A file some path still writes to the disk is not kept either.
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(gHome, ec))
    std::filesystem::remove_all(e.path(), ec);
  return 0;
}
