#include "uHandOverPrompter.h"

#include "Prompter.h"
#include "uHandOver.h"

namespace {

class THandOverPrompter : public TPrompter {
public:
  explicit THandOverPrompter(TPrompter& boxes) : boxes_(boxes) {}

  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    return boxes_.MessageBox(text, caption, flags);
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
