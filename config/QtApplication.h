// The Qt application of the configuration program and of the message-box
// helper. The configuration program's command-line run starts before any
// window exists, so the application is made only when a box is really shown,
// and never when there is no display to show it on: Qt would end the process.
#pragma once

#include <string>

class QApplication;

// The program's arguments, for the Qt application made later.
void SetQtArguments(int argc, char** argv);
// The program's Qt application, made on the first call; nullptr when there is
// no display Qt can reach (checked once). It is set up by SetUpQtApplication.
QApplication* EnsureQtApplication();
// Why EnsureQtApplication made no application, for stderr (internal charset).
std::string NoDisplayMessage();
// How the process ends when Qt cannot start on the display the check found
// after all (it went away meanwhile), where Qt itself would abort: with
// ExitCode, and NoDisplayMessage on stderr when WithMessage. By default 1 with
// the message.
void SetQtStartFailure(int exitCode, bool withMessage);
// Sets up an application for the whole program: its name, numbers with ".",
// hint time, Qt's own texts in the program's language, Qt's own state in the
// settings folder.
void SetUpQtApplication(QApplication* app);
// Qt's own texts (standard buttons, file dialogs) follow the program's
// language: Qt's German translation with the built-in German texts, English
// otherwise. Without the translation files they stay English.
void ApplyQtLanguage();
// Ends the application made by EnsureQtApplication (at the end of main).
void ReleaseQtApplication();
