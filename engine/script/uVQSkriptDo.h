// What the Do and HamsterApp commands may do outside the process.
#pragma once

// Whether script commands may act outside the process: start programs, play
// sounds, open or print documents, write or copy files, save parts and talk
// to the news server. A fuzzing harness says no; the commands are then read
// and checked as usual and only their effect is left out. Without a hook
// everything is allowed.
using TScriptEffectsHook = bool (*)();
void SetScriptEffectsHook(TScriptEffectsHook hook);
