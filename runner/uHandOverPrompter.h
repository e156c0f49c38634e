// The runner has no window: the script's error display and input box go to the
// configuration program through hand-over files, and a plain message box to
// the helper program beside the runner when there is a desktop.
#pragma once

// Installs the hand-over prompter; message boxes that the helper cannot show
// go to the prompter that was installed before.
void InstallHandOverPrompter();
