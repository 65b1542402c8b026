// SDL2 backend: a real window with an OpenGL 2.1 compatibility context.
//
// Fullscreen: changeDisplayMode picks the display mode closest to the request
// (SDL cannot switch the mode before a window exists), createWindow opens a
// fullscreen window with it, and restoreDisplayMode leaves fullscreen, which
// returns the display to the desktop mode.
//
// Without a display SDL falls back to its offscreen or dummy video driver,
// which would "succeed" with windows nobody sees: those count as no display
// unless SDL_VIDEODRIVER asked for them by name. With neither DISPLAY,
// WAYLAND_DISPLAY nor SDL_VIDEODRIVER set there is no display to try (and
// probing for one only prints the Wayland library's complaints).
#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/platform.h"
#include "platform/sdl2/sdl2_dialog.h"

namespace platform {
namespace {

bool named(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

class Sdl2Backend final : public Backend {
 public:
  const char* name() const override { return "sdl2"; }

  bool displayReachable() override {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
      if (!named("DISPLAY") && !named("WAYLAND_DISPLAY") && !named("SDL_VIDEODRIVER")) return false;
      if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver) return false;
    if (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0) return true;
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    return asked && std::strcmp(asked, driver) == 0;
  }

  DialogOutcome runStartupDialog(StartupChoices& choices) override {
    if (!displayReachable()) return DialogOutcome::failed;
    return sdl2::runStartupDialog(choices);
  }

  bool registerWindowClass(WindowProc proc) override {
    proc_ = std::move(proc);
    if (!displayReachable()) return false;
    SDL_DisableScreenSaver();
    return true;
  }

  bool changeDisplayMode(int width, int height, int colorBits) override {
    SDL_DisplayMode wanted{};
    wanted.w = width;
    wanted.h = height;
    wanted.format = colorBits == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
    SDL_DisplayMode closest{};
    if (!SDL_GetClosestDisplayMode(0, &wanted, &closest)) return false;
    mode_ = closest;
    modeChosen_ = true;
    return true;
  }

  void restoreDisplayMode() override {
    if (!modeChosen_) return;
    modeChosen_ = false;
    if (window_) SDL_SetWindowFullscreen(window_, 0);
  }

  bool createWindow(const WindowRequest& request) override {
    const bool sixteen = request.colorBits == 16;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, sixteen ? 5 : 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, sixteen ? 6 : 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, sixteen ? 5 : 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN;
    int x = 10, y = 10;
    if (request.fullscreen) {
      flags |= SDL_WINDOW_FULLSCREEN | SDL_WINDOW_BORDERLESS;
      x = y = 0;
    }
    window_ = SDL_CreateWindow(request.title, x, y, request.width, request.height, flags);
    if (!window_) return false;
    if (request.fullscreen && modeChosen_) SDL_SetWindowDisplayMode(window_, &mode_);
    if (proc_) proc_(Event{Message::create, 0});
    return true;
  }

  bool createContext(int, int) override {
    if (!window_) return false;
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) return false;
    SDL_GL_MakeCurrent(window_, context_);
    SDL_GL_SetSwapInterval(0);  // frames are not paced; may fail under Xvfb, harmlessly
    return true;
  }

  void showCursor(bool visible) override { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }

  bool takeEvent(Event& event) override {
    SDL_Event sdl;
    if (!SDL_PollEvent(&sdl)) return false;
    event = Event{};
    switch (sdl.type) {
      case SDL_KEYDOWN:
        event.message = Message::keyDown;
        event.wParam = sdl.key.keysym.sym == SDLK_ESCAPE ? keyEscape : static_cast<std::uint32_t>(sdl.key.keysym.sym);
        break;
      case SDL_QUIT:
        event.message = Message::close;
        break;
      case SDL_WINDOWEVENT:
        if (sdl.window.event == SDL_WINDOWEVENT_CLOSE) event.message = Message::close;
        else if (sdl.window.event == SDL_WINDOWEVENT_EXPOSED) event.message = Message::paint;
        break;
      default:
        break;
    }
    return true;
  }

  void swapBuffers() override {
    if (window_) SDL_GL_SwapWindow(window_);
  }

  void drawableSize(int& width, int& height) const override {
    width = height = 0;
    if (window_) SDL_GL_GetDrawableSize(window_, &width, &height);
  }

  void releaseContext() override {
    if (!context_) return;
    SDL_GL_MakeCurrent(window_, nullptr);
    SDL_GL_DeleteContext(context_);
    context_ = nullptr;
  }

  void destroyWindow() override {
    if (!window_) return;
    SDL_DestroyWindow(window_);
    window_ = nullptr;
    if (proc_) proc_(Event{Message::destroy, 0});
  }

  std::uint32_t tickCount() const override { return systemTickCount(); }

 private:
  WindowProc proc_;
  SDL_Window* window_ = nullptr;
  SDL_GLContext context_ = nullptr;
  SDL_DisplayMode mode_{};
  bool modeChosen_ = false;
};

}  // namespace

Backend& sdl2Backend() {
  static Sdl2Backend backend;
  return backend;
}

}  // namespace platform
