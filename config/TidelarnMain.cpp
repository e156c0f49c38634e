// Tidelarn: the configuration program. Started with correction arguments it
// corrects like the runner and ends before any window exists; otherwise it
// opens the settings window.
#include <QApplication>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>

#include "CfgMain.h"
#include "Prompter.h"
#include "QtPrompter.h"
#include "SysUtils.h"
#include "uDriver.h"
#include "uTransla.h"

namespace {

constexpr const char* kModule = "Tidelarn";

int RunSettingsWindow() {
  QApplication* app = EnsureQtApplication();
  if (!app) {
    std::string text = ToUtf8(NoDisplayMessage()) + "\n";
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
  // A display that drops the connection while Qt writes to it must end in the
  // program's own message, never in death by signal. Programs started later
  // get SIGPIPE back at its default (SpawnAndWait).
  std::signal(SIGPIPE, SIG_IGN);
  SetQtArguments(argc, argv);
  SetCommandLine(argc, argv);
  SetDriverHost(TDriverHost::ConfigProgram);
  InstallQtPrompter();
  try {
    StartEngineUnits();
    // Ends the process when the arguments ask for a correction.
    DispatchCommandLine();
    return RunSettingsWindow();
  } catch (...) {
    return ShowApplicationError(kModule);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Date texts follow the user's LC_TIME (Qt sets the rest from the
  // environment once it starts, numbers excepted).
  std::setlocale(LC_TIME, "");
  return TidelarnMain(argc, argv);
}
