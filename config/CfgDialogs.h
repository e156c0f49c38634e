// The dialogs that the settings form and the prompter open. Each is reached
// through exactly one function here, so the forms never name a dialog class.
#pragma once

#include "Prompter.h"

class QWidget;
class TProfileList;

// The news-server assistant: adds and changes profiles in Profiles.
void ExecuteAssistent(QWidget* owner, TProfileList& profiles);
// The dialogs of the special settings files; each writes its own file.
void ExecuteDefCharsets(QWidget* owner);
void ExecuteCfgBQ(QWidget* owner);
void ExecuteCfgFN(QWidget* owner);
void ExecuteCfgOL_RF(QWidget* owner);
void ExecutePGP(QWidget* owner);
// The script's error and debug display; returns the user's choice (ErrorChoice::...).
int ShowErrorOrDebugDialog(TErrorDisplay& display);
