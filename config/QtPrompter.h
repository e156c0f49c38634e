// The configuration program's prompter: Qt message and input boxes, the error
// and debug dialog. It makes the Qt application only when a box is really
// shown and there is a display (see QtApplication.h); otherwise it answers
// headless.
#pragma once

#include <string>

#include "Prompter.h"
#include "QtApplication.h"

class TQtPrompter : public TPrompter {
public:
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  bool InputBox(const std::string& title, const std::string& prompt, std::string& value) override;
  int ShowErrorOrDebug(TErrorDisplay& display) override;

private:
  THeadlessPrompter headless_;
};

void InstallQtPrompter();
