// Whether Qt will find a display. Qt ends the process when its platform cannot
// reach one, so the configuration program asks before it makes its
// application, and answers headless instead.
#pragma once

#include <string>

enum class TDisplayState { Available, Missing, Unreachable };

struct TDisplayCheck {
  TDisplayState state = TDisplayState::Missing;
  // The display that could not be reached, as "DISPLAY=:55"; empty otherwise.
  std::string name;
};

// Checks the platform Qt will use: an explicit QT_QPA_PLATFORM (each of a
// ";" list in turn; one that needs no display, such as offscreen, is taken
// unchecked), else the X display and then the Wayland display. A reachable
// Wayland display with an unreachable X one makes QT_QPA_PLATFORM "wayland",
// since Qt would otherwise try X alone. A display that has not answered
// within a few seconds counts as unreachable.
TDisplayCheck CheckDisplay();
