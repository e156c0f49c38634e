#include "uHandOverPrompter.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "Process.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "uDriver.h"
#include "uHandOver.h"

namespace {

bool DisplayVariableSet() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
    if (const char* value = std::getenv(name); value && *value) return true;
  return false;
}

// An argument cannot hold a NUL; it would cut the text short.
std::string HelperArgument(const std::string& internal) {
  std::string text = ToUtf8(internal);
  for (char& c : text)
    if (c == '\0') c = ' ';
  return text;
}

// The button the helper reported, or 0. Only its answer line with a clean
// exit counts: Qt ends the helper with exit code 1 when the display goes while
// the box is up, which is no button pressed.
int HelperAnswer(const std::string& output, int exitCode, unsigned flags) {
  const std::string_view prefix = kMsgBoxAnswer;
  if (exitCode != 0 || !output.starts_with(prefix) || !output.ends_with('\n')) return 0;
  int button = 0;
  if (!TryStrToInt(output.substr(prefix.size(), output.size() - prefix.size() - 1), button) ||
      !IsButtonOf(flags, button))
    return 0;
  return button;
}

// The box on the desktop through the helper; false when it could not be shown
// there (no display, no helper, or the helper ended without a button of the
// box).
bool ShowOnDesktop(const std::string& text, const std::string& caption, unsigned flags,
                   int& answer) {
  if (!DisplayVariableSet()) return false;
  const std::string helper = ProgramDir() + kMsgBoxHelper;
  if (!FileExists(helper)) return false;
  // A box without a caption of its own carries the application's title.
  const std::string title = caption.empty() ? "Tidelarn V" + ProgramVersion() : caption;
  int code = 0;
  std::string output;
  SpawnOptions options;
  options.output = &output;
  if (!SpawnAndWait(helper, {HelperArgument(title), HelperArgument(text), IntToStr(flags)}, code,
                    options))
    return false;
  answer = HelperAnswer(output, code, flags);
  return answer != 0;
}

class THandOverPrompter : public TPrompter {
public:
  explicit THandOverPrompter(TPrompter& boxes) : boxes_(boxes) {}

  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    int answer = 0;
    if (!ShowOnDesktop(text, caption, flags, answer)) return boxes_.MessageBox(text, caption, flags);
    // Errors shown on the desktop stay in the log of the server that ran us too.
    if ((flags & mb::IconMask) == mb::IconStop) {
      const std::string line = ToUtf8(caption.empty() ? text : caption + ": " + text) + "\n";
      std::fwrite(line.data(), 1, line.size(), stderr);
    }
    return answer;
  }

  bool InputBox(const std::string& title, const std::string& prompt, std::string& value) override {
    value = HandOverInputBox({title, prompt, value});
    return true;
  }

  int ShowErrorOrDebug(TErrorDisplay& display) override { return HandOverErrorDisplay(display); }

private:
  TPrompter& boxes_;
};

}  // namespace

void InstallHandOverPrompter() {
  static THandOverPrompter prompter(Prompter());
  SetPrompter(&prompter);
}
