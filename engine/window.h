// The demo's one window and its GL context, on top of the platform contract.
//
// orbCreateWindow runs WindowRegister, WindowCreate and WindowInit, logging each
// step ("orbCreateWindow", "WindowRegister", "WindowCreate", "WindowInit", then
// "Initialisation done.") and turning each failure into a fatal error under
// module "orbWinAPI" (naming the remedy when no display is reachable), and
// registers the window's teardown as the log's fatal teardown. windowProc answers the messages the demo cares about:
// create sets `running`, destroy clears it, Escape sends destroy (so the frame
// loop ends after the current frame), a close request destroys the window,
// screen-saver and monitor-power requests are swallowed.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// true from window creation until the window receives its destroy message.
extern bool running;

// Selects the backend the window is made with; must be called before
// orbCreateWindow. The default is the SDL2 backend.
void setWindowBackend(platform::Backend& backend);
platform::Backend& windowBackend();

// Every failure is fatal, so this returns only with true.
bool orbCreateWindow(const char* title, std::int32_t width, std::int32_t height, std::int32_t colorBits,
                     bool fullscreen);
bool WindowRegister();
bool WindowCreate(const char* title);
bool WindowInit();

// The window procedure: acts on one message as described above.
void windowProc(const platform::Event& event);

// Takes at most one waiting event and dispatches it to windowProc.
void dispatchOneEvent();

// Presents the back buffer.
void swapWindowBuffers();

// Normal teardown at the end of the run: context, window, display mode.
void windowDestroy();

// The teardown of the fatal path: as windowDestroy, then the cursor is shown
// again when fullscreen was chosen. Safe before any window exists.
void windowTeardownAfterFatal();

// Width and height the window was created with (0 before creation).
std::int32_t windowWidth();
std::int32_t windowHeight();
