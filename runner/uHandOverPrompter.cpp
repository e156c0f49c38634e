#include "uHandOverPrompter.h"

#include <cstdio>
#include <cstdlib>

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

// The box on the desktop through the helper; false when it could not be shown
// there (no display, no helper, or the helper gave no button of the box).
bool ShowOnDesktop(const std::string& text, const std::string& caption, unsigned flags,
                   int& answer) {
  if (!DisplayVariableSet()) return false;
  const std::string helper = ProgramDir() + kMsgBoxHelper;
  if (!FileExists(helper)) return false;
  // A box without a caption of its own carries the application's title.
  const std::string title = caption.empty() ? "Tidelarn V" + ProgramVersion() : caption;
  int code = 0;
  if (!SpawnAndWait(helper, {HelperArgument(title), HelperArgument(text), IntToStr(flags)},
                    code) ||
      !IsButtonOf(flags, code))
    return false;
  answer = code;
  return true;
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
