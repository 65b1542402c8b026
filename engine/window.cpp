#include "engine/window.h"

#include "engine/log.h"

bool running = false;

namespace {

platform::Backend* backend = nullptr;

struct WindowState {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t colorBits = 32;
  bool fullscreen = false;  // recorded only once the window is being created
} window;

}  // namespace

void setWindowBackend(platform::Backend& chosen) { backend = &chosen; }

platform::Backend& windowBackend() {
  if (!backend) backend = &platform::sdl2Backend();
  return *backend;
}

std::int32_t windowWidth() { return window.width; }
std::int32_t windowHeight() { return window.height; }

bool orbCreateWindow(const char* title, std::int32_t width, std::int32_t height, std::int32_t colorBits,
                     bool fullscreen) {
  logLine("orbCreateWindow", 0);
  setFatalTeardown(windowTeardownAfterFatal);
  window.width = width;
  window.height = height;
  window.colorBits = colorBits;
  window.fullscreen = fullscreen;
  if (!WindowRegister())
    fatalError("orbWinAPI", "Could not register orbWindow!",
               windowBackend().displayReachable() ? nullptr : noDisplayRemedy);
  if (!WindowCreate(title)) fatalError("orbWinAPI", "Could not create orbWindow!");
  if (!WindowInit()) fatalError("orbWinAPI", "Could not initialise orbWindow!");
  logLine("Initialisation done.", 0);
  return true;
}

bool WindowRegister() {
  logLine("WindowRegister", 0);
  return windowBackend().registerWindowClass(windowProc);
}

bool WindowCreate(const char* title) {
  logLine("WindowCreate", 0);
  platform::Backend& b = windowBackend();
  if (window.fullscreen) {
    if (!b.changeDisplayMode(window.width, window.height, window.colorBits))
      fatalError("orbWinAPI", "Screen resolution is not supported by your gfx card!");
  }
  const platform::WindowRequest request{title, window.width, window.height, window.colorBits, window.fullscreen};
  const bool created = b.createWindow(request);
  if (created && window.fullscreen) b.showCursor(false);
  return created;
}

bool WindowInit() {
  logLine("WindowInit", 0);
  return windowBackend().createContext(window.colorBits, 16);
}

void windowProc(const platform::Event& event) {
  using platform::Message;
  switch (event.message) {
    case Message::create:
      running = true;
      break;
    case Message::destroy:
      running = false;
      break;
    case Message::keyDown:
      // Escape only ends the loop; the window itself is torn down after the frame.
      if (event.wParam == platform::keyEscape) windowProc(platform::Event{Message::destroy, 0});
      break;
    case Message::close:
      // What the default procedure does with a close request: destroy the window.
      windowBackend().destroyWindow();
      running = false;
      break;
    case Message::paint:
    case Message::screenSaver:
    case Message::monitorPower:
    case Message::other:
      break;
  }
}

void dispatchOneEvent() {
  platform::Event event;
  if (windowBackend().takeEvent(event)) windowProc(event);
}

void swapWindowBuffers() { windowBackend().swapBuffers(); }

void windowDestroy() {
  platform::Backend& b = windowBackend();
  b.releaseContext();
  b.destroyWindow();
  if (window.fullscreen) b.restoreDisplayMode();
}

void windowTeardownAfterFatal() {
  // Before the window exists the steps have nothing to release; fullscreen is
  // recorded only once window creation starts.
  if (!backend) return;
  windowDestroy();
  if (window.fullscreen) backend->showCursor(true);
}
