// Headless backend: an EGL pbuffer on Mesa's surfaceless platform. No window,
// no input, no display mode, no start-up dialog; swap only calls the read-back hook.
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <utility>

#include "platform/platform.h"

namespace platform {
namespace {

std::function<void()> swapHook;
std::function<std::uint32_t()> tickSource;

class HeadlessBackend final : public Backend {
 public:
  const char* name() const override { return "headless"; }

  bool displayReachable() override { return true; }  // it needs none

  DialogOutcome runStartupDialog(StartupChoices&) override { return DialogOutcome::failed; }

  bool registerWindowClass(WindowProc proc) override {
    proc_ = std::move(proc);
    return true;
  }

  bool changeDisplayMode(int, int, int) override { return true; }
  void restoreDisplayMode() override {}

  bool createWindow(const WindowRequest& request) override {
    width_ = request.width;
    height_ = request.height;
    exists_ = true;
    if (proc_) proc_(Event{Message::create, 0});
    return true;
  }

  bool createContext(int colorBits, int depthBits) override {
    if (!exists_) return false;
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return false;
    display_ = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, nullptr, nullptr)) return false;
    const EGLint channel = colorBits >= 24 ? 8 : 5;
    const EGLint greenChannel = colorBits >= 24 ? 8 : 6;
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                       EGL_RED_SIZE, channel, EGL_GREEN_SIZE, greenChannel,
                                       EGL_BLUE_SIZE, channel, EGL_DEPTH_SIZE, depthBits, EGL_NONE};
    // EGL lists deeper configs first (10 bits a channel before 8): take one
    // with exactly the channels asked for, and no alpha, as a window has.
    // A deeper one would draw other pixels than the window does, and every
    // read-back and copy would have to convert.
    EGLConfig configs[64];
    EGLint count = 0;
    if (!eglChooseConfig(display_, configAttributes, configs, 64, &count) || count < 1) return false;
    EGLConfig config = configs[0];
    EGLint bestAlpha = 1 << 30;
    for (EGLint i = 0; i < count; ++i) {
      EGLint red = 0, green = 0, blue = 0, alpha = 0;
      eglGetConfigAttrib(display_, configs[i], EGL_RED_SIZE, &red);
      eglGetConfigAttrib(display_, configs[i], EGL_GREEN_SIZE, &green);
      eglGetConfigAttrib(display_, configs[i], EGL_BLUE_SIZE, &blue);
      eglGetConfigAttrib(display_, configs[i], EGL_ALPHA_SIZE, &alpha);
      if (red == channel && green == greenChannel && blue == channel && alpha < bestAlpha) {
        config = configs[i];
        bestAlpha = alpha;
      }
    }
    const EGLint surfaceAttributes[] = {EGL_WIDTH, width_, EGL_HEIGHT, height_, EGL_NONE};
    surface_ = eglCreatePbufferSurface(display_, config, surfaceAttributes);
    if (surface_ == EGL_NO_SURFACE) return false;
    if (!eglBindAPI(EGL_OPENGL_API)) return false;
    context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, nullptr);
    if (context_ == EGL_NO_CONTEXT) return false;
    return eglMakeCurrent(display_, surface_, surface_, context_) == EGL_TRUE;
  }

  void showCursor(bool) override {}

  bool takeEvent(Event&) override { return false; }

  void swapBuffers() override {
    if (swapHook) swapHook();
  }

  void drawableSize(int& width, int& height) const override {
    width = width_;
    height = height_;
  }

  void releaseContext() override {
    if (display_ == EGL_NO_DISPLAY) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
    if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
    eglTerminate(display_);
    context_ = EGL_NO_CONTEXT;
    surface_ = EGL_NO_SURFACE;
    display_ = EGL_NO_DISPLAY;
  }

  void destroyWindow() override {
    if (!exists_) return;
    exists_ = false;
    if (proc_) proc_(Event{Message::destroy, 0});
  }

  std::uint32_t tickCount() const override { return tickSource ? tickSource() : systemTickCount(); }

 private:
  WindowProc proc_;
  int width_ = 0;
  int height_ = 0;
  bool exists_ = false;
  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLSurface surface_ = EGL_NO_SURFACE;
  EGLContext context_ = EGL_NO_CONTEXT;
};

}  // namespace

Backend& headlessBackend() {
  static HeadlessBackend backend;
  return backend;
}

void setHeadlessSwapHook(std::function<void()> hook) { swapHook = std::move(hook); }

void setHeadlessTickSource(std::function<std::uint32_t()> source) { tickSource = std::move(source); }

}  // namespace platform
