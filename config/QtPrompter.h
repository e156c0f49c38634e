// The configuration program's prompter: Qt message and input boxes. The
// program's command-line run starts before any window exists, so the Qt
// application is made only when a box is really shown, and never when there
// is no display to show it on: Qt would end the process.
#pragma once

#include "Prompter.h"

class QApplication;

// The program's arguments, for the Qt application made later.
void SetQtArguments(int argc, char** argv);
// True when a Qt application can start: a display (DISPLAY or WAYLAND_DISPLAY)
// or the offscreen platform.
bool DisplayAvailable();
// The program's Qt application, made on the first call; nullptr when there is
// no display. It is set up for the whole program: title, numbers with ".",
// hint time.
QApplication* EnsureQtApplication();
// Ends the application made by EnsureQtApplication (at the end of main).
void ReleaseQtApplication();

class TQtPrompter : public TPrompter {
public:
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  bool InputBox(const std::string& title, const std::string& prompt, std::string& value) override;
  int ShowErrorOrDebug(TErrorDisplay& display) override;

private:
  THeadlessPrompter headless_;
};

void InstallQtPrompter();
