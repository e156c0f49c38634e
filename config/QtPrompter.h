// The configuration program's prompter: Qt message and input boxes. The
// program's command-line run starts before any window exists, so the Qt
// application is made only when a box is really shown, and never when there
// is no display to show it on: Qt would end the process.
#pragma once

#include <string>

#include "Prompter.h"

class QApplication;

// The program's arguments, for the Qt application made later.
void SetQtArguments(int argc, char** argv);
// The program's Qt application, made on the first call; nullptr when there is
// no display Qt can reach (checked once). It is set up by SetUpQtApplication.
QApplication* EnsureQtApplication();
// Why EnsureQtApplication made no application, for stderr (internal charset).
std::string NoDisplayMessage();
// Sets up an application for the whole program: its name, numbers with ".",
// hint time, Qt's own texts in the program's language.
void SetUpQtApplication(QApplication* app);
// Qt's own texts (standard buttons, file dialogs) follow the program's
// language: Qt's German translation with the built-in German texts, English
// otherwise. Without the translation files they stay English.
void ApplyQtLanguage();
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
