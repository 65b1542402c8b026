// The platform contract: the small layer that stands where the demo would call
// the operating system's window, display-mode, cursor and GL-context services.
//
// Every backend implements all of it:
//   platform/sdl2/      a real window and an OpenGL 2.1 compatibility context,
//                       and the start-up dialog drawn with Dear ImGui
//   platform/headless/  an EGL surfaceless pbuffer on Mesa; no window, no input,
//                       no dialog
// A native Windows backend would show the program's own dialog resource in
// runStartupDialog and keep the same contract.
//
// The engine's window code (engine/window.h) drives a backend step by step in
// the order of its start-up and teardown; the backend does what one step asks
// and nothing more. Every call is made on the one thread that owns the window.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// What a backend can deliver to the window procedure. The names follow the
// messages the window procedure distinguishes.
enum class Message : std::uint8_t {
  create,        // the window now exists (delivered from inside createWindow)
  destroy,       // the window is going away
  paint,         // the window wants repainting
  keyDown,       // key press; wParam holds the key code (keyEscape for Escape)
  close,         // the user asked to close the window (close box, Alt+F4)
  screenSaver,   // the system wants to start the screen saver
  monitorPower,  // the system wants to power the monitor down
  other,         // anything else: handled by the default procedure
};

inline constexpr std::uint32_t keyEscape = 0x1B;

struct Event {
  Message message = Message::other;
  std::uint32_t wParam = 0;
};

struct WindowRequest {
  const char* title = "";
  int width = 800;
  int height = 600;
  int colorBits = 32;
  bool fullscreen = false;
};

// The start-up settings as the dialog shows and edits them.
struct StartupChoices {
  int width = 800;
  int height = 600;
  int colorBits = 32;  // 32 (True Color on) or 16
  bool fullscreen = true;
  bool music = true;
};

enum class DialogOutcome : std::uint8_t {
  go,        // Go!: the choices hold what the user set
  cancel,    // Cancel or the close box: the program ends without doing anything
  failed,    // the dialog could not be shown
};

// Receives messages: from dispatch (one per frame) and from inside
// createWindow (Message::create).
using WindowProc = std::function<void(const Event&)>;

class Backend {
 public:
  virtual ~Backend() = default;

  // Short name for logs and errors ("sdl2", "headless").
  virtual const char* name() const = 0;

  // True when windows can be shown: a display is reachable. The headless
  // backend needs none and answers true.
  virtual bool displayReachable() = 0;

  // Shows the start-up dialog modally, initialised from choices, and returns
  // when the user leaves it. choices is written only on go. Leaves no window
  // behind. Never writes a file.
  virtual DialogOutcome runStartupDialog(StartupChoices& choices) = 0;

  // Prepares the backend for a window (loads the video subsystem).
  // Returns false when no window can be made at all (no display reachable).
  virtual bool registerWindowClass(WindowProc proc) = 0;

  // Switches the display to width × height at colorBits for fullscreen use.
  // Returns false when the mode cannot be set. Restored by restoreDisplayMode.
  virtual bool changeDisplayMode(int width, int height, int colorBits) = 0;

  // Returns the display to the mode it had before changeDisplayMode; does
  // nothing when the mode was never changed. Safe to call more than once.
  virtual void restoreDisplayMode() = 0;

  // Creates and shows the window (borderless at 0,0 when fullscreen). Delivers
  // Message::create to the window procedure before it returns true.
  virtual bool createWindow(const WindowRequest& request) = 0;

  // Creates the GL context on the window with the requested pixel format
  // (double-buffered RGBA, colorBits colour, depthBits depth) and makes it
  // current. Returns false when no context could be made.
  virtual bool createContext(int colorBits, int depthBits) = 0;

  // Shows or hides the mouse cursor over the window.
  virtual void showCursor(bool visible) = 0;

  // Takes at most one pending event off the queue; false when none waits.
  virtual bool takeEvent(Event& event) = 0;

  // Presents the back buffer.
  virtual void swapBuffers() = 0;

  // The size of what GL draws into, in pixels.
  virtual void drawableSize(int& width, int& height) const = 0;

  // Teardown steps, in the order they are called. Each is safe to call when
  // the thing it releases does not exist (never created, or already gone).
  virtual void releaseContext() = 0;
  virtual void destroyWindow() = 0;

  // Milliseconds since an arbitrary start, wrapping at 2^32.
  virtual std::uint32_t tickCount() const = 0;
};

// The monotonic system clock in milliseconds, wrapping at 2^32: what both
// backends answer tickCount with.
std::uint32_t systemTickCount();

// The backends. Each returns the one instance of its kind.
Backend& sdl2Backend();
Backend& headlessBackend();

// Called once per swap by the headless backend (frame read-back); empty by default.
void setHeadlessSwapHook(std::function<void()> hook);

// Where the headless backend's tickCount comes from; the system clock when
// empty (the default). A renderer that must give the same frames on every
// run sets a virtual clock here.
void setHeadlessTickSource(std::function<std::uint32_t()> source);

}  // namespace platform
