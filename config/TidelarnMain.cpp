// Tidelarn: the configuration program. Started with correction arguments it
// corrects like the runner and ends before any window exists; otherwise it
// opens the settings window.
#include <QApplication>

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <typeinfo>

#include "CfgMain.h"
#include "Prompter.h"
#include "QtPrompter.h"
#include "SysUtils.h"
#include "uCharsets.h"
#include "uDriver.h"
#include "uEinstellungen.h"
#include "uHeader.h"
#include "uKorrigiereArtikel.h"
#include "uTools.h"
#include "uTransla.h"

namespace {

constexpr const char* kVersion = "4.2.8";
constexpr const char* kModule = "Tidelarn";

// The engine's units, in the configuration program's order.
void StartUnits() {
  InitTranslation();
  GetCSInfos();  // refuses to run without charsets.dat
  InitInternalCharset();
  InitEinstellungen(kVersion);
  InitHeaderOrder();
  InstallArticleCorrection();
}

std::string ClassName(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

// An exception that ends the program: shown in the stop box, exit code 1.
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
  std::string text =
      "Exception " + className + " in Modul " + kModule + " bei 00000000.\n" + message;
  Prompter().MessageBox(text, FromUtf8("Anwendungsfehler"), mb::Ok | mb::IconStop | mb::TaskModal);
  return 1;
}

int RunSettingsWindow() {
  QApplication* app = EnsureQtApplication();
  if (!app) {
    std::string text =
        ToUtf8(
            Translate("Tidelarn.NoDisplay",
                      "Das Konfigurationsprogramm braucht eine grafische Oberfläche (DISPLAY oder "
                      "WAYLAND_DISPLAY ist nicht gesetzt).")) +
        "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    return 1;
  }
  // The settings form ends the program itself, also after a language switch
  // has replaced it.
  QApplication::setQuitOnLastWindowClosed(false);
  FrmMain = new TFrmMain;
  FrmMain->show();
  QApplication::exec();
  delete FrmMain;
  FrmMain = nullptr;
  ReleaseQtApplication();
  return 0;
}

int TidelarnMain(int argc, char** argv) {
  SetQtArguments(argc, argv);
  SetCommandLine(argc, argv);
  SetDriverHost(TDriverHost::ConfigProgram);
  InstallQtPrompter();
  try {
    StartUnits();
    // Ends the process when the arguments ask for a correction.
    DispatchCommandLine();
    return RunSettingsWindow();
  } catch (...) {
    return ApplicationError();
  }
}

}  // namespace

int main(int argc, char** argv) { return TidelarnMain(argc, argv); }
