// Only_VQ: the runner the news server starts once per message. It has no
// windows of its own; started without work it starts the configuration program.
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

int main(int argc, char** argv) { return OnlyVQMain(argc, argv); }
