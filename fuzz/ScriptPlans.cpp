// Lines that a loop runs again and again are evaluated from kept plans of
// their expressions; the plans must give what reading the text gives. Each
// input is a list of script lines, run three times in a loop among variables
// of every type, once read as text and once with plans: the message, the
// variables and every error shown must come out the same.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzSupport.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uTools.h"
#include "uVQSkript.h"
#include "uVQSkriptDo.h"
#include "uVarList.h"

namespace {

const char* const kMessage =
    "From: Max Muster <max@example.org>\r\n"
    "Subject: =?iso-8859-1?Q?Gr=FC=DFe?= aus Berlin\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\n"
    "\r\n"
    "> quoted\r\n"
    "body line\r\n";

// Variables of every type the lines may read and change.
const char* const kHead =
    "Sub main\r\n"
    "  Var %A%, %B%, %T%: String\r\n"
    "  Var %N%, %M%: Integer\r\n"
    "  Var %F%: Float\r\n"
    "  Var %Q%: Boolean\r\n"
    "  %A% = \"abc def\"\r\n"
    "  %B% = \"7\"\r\n"
    "  %N% = 3\r\n"
    "  %F% = 2.5\r\n"
    "  For %I% = 1 to 3\r\n";
const char* const kTail =
    "  Next\r\n"
    "  X-Vars: %A%|%B%|%T%|%N%|%M%|%F%|%Q%|%I%\r\n"
    "End Sub\r\n";

constexpr int kMaxSteps = 2000;
int gSteps = 0;

bool WithinBudget() { return ++gSteps <= kMaxSteps; }

// Records every error and stop shown and answers them in a fixed order.
class TRecordingPrompter : public TPrompter {
public:
  int next = 0;
  std::string log;
  int MessageBox(const std::string& text, const std::string&, unsigned flags) override {
    log += "box:" + text + "\n";
    return DefaultButton(flags);
  }
  bool InputBox(const std::string&, const std::string&, std::string&) override { return false; }
  int ShowErrorOrDebug(TErrorDisplay& d) override {
    log += "error:" + IntToStr(d.lineNo) + ":" + d.lineText + ":" + d.errorMsg + "\n";
    return 1 + (next++ % 4);
  }
};
TRecordingPrompter gPrompter;

std::string gHome;

void SetUpOnce() {
  if (!gHome.empty()) return;
  LoadCharsetTablesOnce();
  gHome = UseScratchProgramDir("fuzz-scriptplans");
  SetPrompter(&gPrompter);
  SetScriptStepHook(WithinBudget);
  SetScriptEffectsHook([] { return false; });
}

void CleanHome() {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(gHome, ec))
    if (e.path().filename() != "header.def") std::filesystem::remove_all(e.path(), ec);
}

// The message, the variables and the errors after one run.
std::string RunOnce(bool plans, uint8_t firstAnswer) {
  CleanHome();
  SetLinePlansEnabled(plans);
  gSteps = 0;
  gPrompter.next = firstAnswer;
  gPrompter.log.clear();
  TVQEinstellungen settings;
  settings.FilePath = gHome;
  settings.HeaderDef = "header.def";
  settings.BodyCharsets = "us-ascii,iso-8859-1,utf-8";
  settings.HeaderCharsets = "us-ascii,iso-8859-1,utf-8";
  TArtikel article(InternalCharsetName(), settings.BodyCharsets, settings.HeaderCharsets);
  article.LoadFromString(kMessage);
  std::string out;
  try {
    TVQSkript script("fuzz.msg", &article, &settings);
    script.LoadScript(true);
    try {
      script.RunSubMain();
    } catch (const std::exception& e) {
      out += std::string("exception:") + e.what() + "\n";
    }
    for (int i = 0; i < script.Variables->Count(); ++i)
      if (const TVarObj* v = script.Variables->Items(i))
        out += script.Variables->Names(i) + ":" + IntToStr(v->VarType) + "=" + v->AsString() + "\n";
    out += article.GetText();
  } catch (const std::exception& e) {
    out += std::string("failed:") + e.what() + "\n";
  }
  SetLinePlansEnabled(true);
  return out + gPrompter.log;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetUpOnce();
  const std::string lines(reinterpret_cast<const char*>(data), size);
  // What may differ from run to run anyway is left out.
  const std::string lower = LowerCase(lines);
  for (const char* word : {"random", "date", "time", "counter", "input"})
    if (lower.find(word) != std::string::npos) return 0;
  {
    std::ofstream out(gHome + "header.def", std::ios::binary | std::ios::trunc);
    out << kHead << lines << "\r\n" << kTail;
  }
  const uint8_t answer = size > 0 ? data[0] : 0;
  const std::string asText = RunOnce(false, answer);
  const std::string planned = RunOnce(true, answer);
  if (asText != planned) {
    std::fprintf(stderr, "plans differ from the text:\n--- text\n%s\n--- plans\n%s\n",
                 asText.c_str(), planned.c_str());
    std::abort();
  }
  return 0;
}
