// The runner has no window: the script's error display and input box go to the
// configuration program through hand-over files.
#pragma once

// Installs the hand-over prompter; message boxes stay with the prompter that
// was installed before.
void InstallHandOverPrompter();
