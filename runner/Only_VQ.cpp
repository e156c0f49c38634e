// Only_VQ: the runner the news server starts once per message. It has no
// windows of its own; started without work it starts the configuration program.
#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <typeinfo>

#include "Process.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "uCharsets.h"
#include "uDriver.h"
#include "uHeader.h"
#include "uEinstellungen.h"
#include "uHandOverPrompter.h"
#include "uKorrigiereArtikel.h"
#include "uTools.h"
#include "uTransla.h"

namespace {

constexpr const char* kVersion = "4.2.1";
constexpr const char* kModule = "Only_VQ";

void WriteStderr(const std::string& internal) {
  std::string text = ToUtf8(internal) + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
}

// The engine's units, in the runner's order.
void StartUnits() {
  InitTranslation();
  GetCSInfos();  // refuses to run without charsets.dat
  // The box-quote styles of the settings count characters through the string hooks.
  InitInternalCharset();
  InitEinstellungen(kVersion);
  InitHeaderOrder();
  InstallArticleCorrection();
}

// Started without waiting; the runner's work is done either way.
void StartConfigProgram() {
  std::string program = ProgramFile("Tidelarn");
  if (!SpawnDetached(program, {}))
    WriteStderr(TranslateFmt("OnlyVQ.ConfigProgramMissing",
                             "Das Konfigurationsprogramm \"%s\" konnte nicht gestartet werden.",
                             {program}));
}

std::string ClassName(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

// An exception that ends the run: shown in the stop box, exit code 1, so the
// news server sees the failure.
int ApplicationError() {
  std::string className = "Exception", message;
  try {
    throw;
  } catch (const Exception& e) {
    className = ClassName(typeid(e));
    message = e.Message();
  } catch (const std::exception& e) {
    className = ClassName(typeid(e));
    message = e.what();
  } catch (...) {
  }
  if (!message.empty() && message.back() != '.') message += '.';
  // No code address is known for a C++ exception; the field keeps its place.
  std::string text =
      "Exception " + className + " in Modul " + kModule + " bei 00000000.\n" + message;
  Prompter().MessageBox(text, FromUtf8("Anwendungsfehler"), mb::Ok | mb::IconStop | mb::TaskModal);
  return 1;
}

int OnlyVQMain(int argc, char** argv) {
  SetCommandLine(argc, argv);
  SetDriverHost(TDriverHost::Runner);
  InstallHandOverPrompter();
  try {
    StartUnits();
    // Once more without the start-up's guard.
    RegisterInstallation(kVersion);
    if (!IsCorrectionCommandLine(CommandLine())) {
      StartConfigProgram();
      return 0;
    }
    RunCorrector();
    return RunnerProcessExitCode();
  } catch (...) {
    return ApplicationError();
  }
}

}  // namespace

int main(int argc, char** argv) { return OnlyVQMain(argc, argv); }
