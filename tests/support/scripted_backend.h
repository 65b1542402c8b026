// A backend for tests of the window and the frame loop: the headless backend's
// real GL context, plus input queued by the test, a record of every call in
// calls.txt (so a child process that ended in a fatal error can be examined),
// and switches that make single steps fail.
#pragma once

#include <deque>
#include <fstream>
#include <string>

#include "platform/platform.h"

namespace testsupport {

class ScriptedBackend final : public platform::Backend {
 public:
  bool failRegister = false;
  bool failDisplayMode = false;
  bool failCreate = false;
  bool failContext = false;
  bool noDisplay = false;  // register fails and the display is unreachable
  std::deque<platform::Event> queue;
  int swaps = 0;

  const char* name() const override { return "scripted"; }
  bool displayReachable() override { return !noDisplay; }
  platform::DialogOutcome runStartupDialog(platform::StartupChoices&) override {
    record("startupDialog");
    return platform::DialogOutcome::failed;
  }
  bool registerWindowClass(platform::WindowProc proc) override {
    record("register");
    proc_ = proc;
    return !failRegister && !noDisplay && inner().registerWindowClass(proc);
  }
  bool changeDisplayMode(int w, int h, int bits) override {
    record("changeDisplayMode " + std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(bits));
    return !failDisplayMode;
  }
  void restoreDisplayMode() override { record("restoreDisplayMode"); }
  bool createWindow(const platform::WindowRequest& request) override {
    record(std::string("createWindow ") + request.title + (request.fullscreen ? " fullscreen" : " windowed"));
    return !failCreate && inner().createWindow(request);
  }
  bool createContext(int colorBits, int depthBits) override {
    record("createContext " + std::to_string(colorBits) + " " + std::to_string(depthBits));
    return !failContext && inner().createContext(colorBits, depthBits);
  }
  void showCursor(bool visible) override { record(visible ? "showCursor" : "hideCursor"); }
  bool takeEvent(platform::Event& event) override {
    if (queue.empty()) return false;
    event = queue.front();
    queue.pop_front();
    return true;
  }
  void swapBuffers() override {
    ++swaps;
    inner().swapBuffers();
  }
  void drawableSize(int& w, int& h) const override { inner().drawableSize(w, h); }
  void releaseContext() override {
    record("releaseContext");
    inner().releaseContext();
  }
  void destroyWindow() override {
    record("destroyWindow");
    inner().destroyWindow();
  }
  std::uint32_t tickCount() const override { return platform::systemTickCount(); }

 private:
  static platform::Backend& inner() { return platform::headlessBackend(); }
  static void record(const std::string& call) {
    std::ofstream("calls.txt", std::ios::app) << call << "\n";
  }
  platform::WindowProc proc_;
};

}  // namespace testsupport
