// tidelarn-msgbox: shows one message box for the runner, which has no windows
// of its own and must not link Qt. Arguments: caption, text (UTF-8) and the
// box's flags in decimal; the button pressed is reported on stdout (see
// kMsgBoxAnswer).
#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Prompter.h"
#include "QtMessageBox.h"
#include "QtApplication.h"

namespace {

// Neither is a button, so the runner answers without a display instead.
constexpr int kWrongArguments = 64;
constexpr int kFailed = 70;

bool ParseFlags(const char* text, unsigned& flags) {
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  if (*text < '0' || *text > '9' || *end != '\0' || value > 0xFFFFFFFFul) return false;
  flags = unsigned(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // A display that drops the connection must end in the no-display code,
  // never in death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  unsigned flags = 0;
  if (argc != 4 || !ParseFlags(argv[3], flags)) return kWrongArguments;
  try {
    // Qt takes options such as "-platform" out of its arguments: the box's
    // texts must never reach it.
    SetQtArguments(1, argv);
    SetQtStartFailure(kMsgBoxNoDisplay, false);
    if (!EnsureQtApplication()) return kMsgBoxNoDisplay;
    int answer = ExecMessageBox(QString::fromUtf8(argv[1]), QString::fromUtf8(argv[2]), flags);
    ReleaseQtApplication();
    // Qt ends the process on its own when the display goes while the box is
    // up: only this line is an answer.
    const std::string line = kMsgBoxAnswer + std::to_string(answer) + "\n";
    if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fflush(stdout) != 0)
      return kFailed;
    return 0;
  } catch (...) {
    return kFailed;
  }
}
