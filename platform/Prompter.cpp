#include "Prompter.h"

#include <cstdio>

#include "SysUtils.h"
#include "Translate.h"

namespace {

THeadlessPrompter gHeadless;
TPrompter* gPrompter = nullptr;

void WriteStderr(const std::string& internal) {
  std::string text = ToUtf8(internal);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

// The buttons of each set in their order; shorter sets repeat their last.
const int kButtons[][3] = {
    {id::Ok, id::Ok, id::Ok},             {id::Ok, id::Cancel, id::Cancel},
    {id::Abort, id::Retry, id::Ignore},   {id::Yes, id::No, id::Cancel},
    {id::Yes, id::No, id::No},            {id::Retry, id::Cancel, id::Cancel},
};

const int* ButtonsOf(unsigned flags) {
  unsigned kind = flags & mb::ButtonsMask;
  return kButtons[kind > mb::RetryCancel ? mb::Ok : kind];
}

}  // namespace

int DefaultButton(unsigned flags) {
  unsigned def = (flags & mb::DefButtonMask) >> 8;
  if (def > 2) def = 0;
  return ButtonsOf(flags)[def];
}

bool IsButtonOf(unsigned flags, int button) {
  const int* buttons = ButtonsOf(flags);
  return button == buttons[0] || button == buttons[1] || button == buttons[2];
}

std::string ButtonName(int button) {
  switch (button) {
    case id::Ok: return Translate("Button.Ok", "OK");
    case id::Cancel: return Translate("Button.Cancel", "Abbrechen");
    case id::Abort: return Translate("Button.Abort", "Abbrechen");
    case id::Retry: return Translate("Button.Retry", "Wiederholen");
    case id::Ignore: return Translate("Button.Ignore", "Ignorieren");
    case id::Yes: return Translate("Button.Yes", "Ja");
    case id::No: return Translate("Button.No", "Nein");
    default: return IntToStr(button);
  }
}

int THeadlessPrompter::MessageBox(const std::string& text, const std::string& caption,
                                  unsigned flags) {
  WriteStderr(caption.empty() ? text : caption + ": " + text);
  const int answer = DefaultButton(flags);
  // A question answered by nobody: whoever reads the log learns what was done.
  if ((flags & mb::ButtonsMask) != mb::Ok)
    WriteStderr(TranslateFmt("Headless.Answer", "Ohne Anzeige beantwortet mit \"%s\".",
                             {ButtonName(answer)}));
  return answer;
}

bool THeadlessPrompter::InputBox(const std::string& title, const std::string& prompt,
                                 std::string& /*value*/) {
  WriteStderr(title.empty() ? prompt : title + ": " + prompt);
  return true;
}

int TPrompter::ShowErrorOrDebug(TErrorDisplay& display) { return ShowErrorOnStderr(display); }

int ShowErrorOnStderr(const TErrorDisplay& display) {
  std::string where;
  if (display.lineNo > 0) where = display.fileName + ":" + IntToStr(display.lineNo) + ": ";
  WriteStderr(where + (display.errorMsg.empty() ? display.lineText : display.errorMsg));
  return ErrorChoice::End;
}

void SayOnStderr(const std::string& text) { WriteStderr(text); }

TPrompter& Prompter() { return gPrompter ? *gPrompter : gHeadless; }

void SetPrompter(TPrompter* prompter) { gPrompter = prompter; }
