// The start-up dialog of the SDL2 backend: a small "Config" window drawn with
// Dear ImGui, laid out from the dialog template's units (142 × 131; one unit
// is a quarter of the font's average character width across and an eighth of
// its height down) and worked from the keyboard like a native dialog:
//   Return / keypad Enter   Go! from any control (closes an open list first)
//   Escape                  nothing (closes an open list); the dialog stays
//   Tab / Shift+Tab         focus in template order: Go!, Cancel, the
//                           resolution list, Fullscreen, True Color, Music
//   Space                   presses the focused button, toggles the focused box
//   arrow keys, Home, End   change the resolution when the list has the focus;
//                           elsewhere they move the focus like Tab
// The close box is Cancel.
#pragma once

#include "platform/platform.h"

namespace platform::sdl2 {

// Runs the dialog; SDL's video subsystem must be initialised on a real
// display. Returns failed when the window or its GL context cannot be made;
// leaves no window, GL context or queued event behind.
DialogOutcome runStartupDialog(StartupChoices& choices);

}  // namespace platform::sdl2
