// The desktop's "open" and "print" of a document or program, and playing a
// sound file. Everything is started with an argument vector, never through a
// shell, and detached unless the caller waits.
#pragma once

#include <string_view>

// Results of ShellExecute, with the values the Windows shell used, so that a
// script's error message shows the same numbers: above 32 means started.
namespace se {
enum : int {
  FileNotFound = 2,
  PathNotFound = 3,
  AccessDenied = 5,
  NoAssociation = 31,
  Started = 42,
};
}  // namespace se

// Verb "open": an executable file (or a program found on PATH) is started
// directly with Params split by the Windows command-line rules; any other file,
// a folder or a URL goes to xdg-open. Verb "print": the file goes to lp. Work
// dir: the folder the started program runs in (empty: the caller's). Nothing is
// waited for. Another verb gives NoAssociation.
int ShellExecute(std::string_view verb, std::string_view file, std::string_view params,
                 std::string_view workDir);

// Plays a sound file with the first of pw-play, paplay and aplay on PATH. With
// Wait the call returns when the player has ended and is true only when it
// succeeded; without, the player runs on its own and the result tells whether
// it started. False when the file or every player is missing.
bool PlaySoundFile(std::string_view file, bool wait);
