// Only_VQ: the runner the news server starts once per message. It has no
// windows of its own; started without work it starts the configuration program.
#include <malloc.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "Process.h"
#include "ProgramDir.h"
#include "SysUtils.h"
#include "uDriver.h"
#include "uHandOverPrompter.h"
#include "uTransla.h"

namespace {

constexpr const char* kModule = "Only_VQ";

void WriteStderr(const std::string& internal) {
  std::string text = ToUtf8(internal) + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
}

// Started without waiting; the runner's work is done either way.
void StartConfigProgram() {
  std::string program = ProgramDir() + "Tidelarn";
  if (!SpawnDetached(program, {}))
    WriteStderr(TranslateFmt("OnlyVQ.ConfigProgramMissing",
                             "Das Konfigurationsprogramm \"%s\" konnte nicht gestartet werden.",
                             {program}));
}

int OnlyVQMain(int argc, char** argv) {
  SetCommandLine(argc, argv);
  SetDriverHost(TDriverHost::Runner);
  InstallHandOverPrompter();
  try {
    StartEngineUnits();  // writes the registry record too
    if (!IsCorrectionCommandLine(CommandLine())) {
      StartConfigProgram();
      return 0;
    }
    return RunnerProcessExitCode(RunCorrector());
  } catch (...) {
    // The stop box, exit code 1: the news server sees the failure.
    return ShowApplicationError(kModule);
  }
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
#define ONLY_VQ_CHECKED_EXIT 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
#define ONLY_VQ_CHECKED_EXIT 1
#endif
#endif

int main(int argc, char** argv) {
  // Date texts follow the user's LC_TIME; everything else stays "C".
  std::setlocale(LC_TIME, "");
  // One run uses a few hundred KB of heap: grown in one step instead of
  // a system call for every 128 KB.
  mallopt(M_TOP_PAD, 512 * 1024);
  const int code = OnlyVQMain(argc, argv);
#ifndef ONLY_VQ_CHECKED_EXIT
  // Every file is saved and closed by now; the global destructors would only
  // free memory, which costs a news server's start of us a noticeable part.
  // (Sanitizer builds take the normal way out, for the leak check.)
  std::fflush(nullptr);
  _exit(code);
#endif
  return code;
}
