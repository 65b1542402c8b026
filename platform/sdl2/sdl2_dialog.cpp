#include "platform/sdl2/sdl2_dialog.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_opengl.h>
#include <backends/imgui_impl_opengl2.h>
#include <backends/imgui_impl_sdl.h>
#include <imgui.h>
#include <imgui_freetype.h>

#include <cfloat>
#include <cstdio>

namespace platform::sdl2 {
namespace {

// MS Sans Serif 8 pt, the template's font, is 13 pixels high at 96 dpi.
constexpr const char* fontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr float fontPixels = 13.0f;

struct Resolution {
  const char* text;
  int width;
  int height;
};
constexpr Resolution resolutions[] = {
    {"640 x 480", 640, 480}, {"800 x 600", 800, 600}, {"1024 x 768", 1024, 768}, {"1280 x 960", 1280, 960}};
constexpr int resolutionCount = 4;

// The template, in dialog units.
struct UnitRect {
  int x, y, w, h;
};
constexpr int dialogWidth = 142, dialogHeight = 131, dialogX = 100, dialogY = 100;
constexpr UnitRect goRect{5, 111, 50, 14};
constexpr UnitRect cancelRect{85, 111, 50, 14};
constexpr UnitRect listRect{55, 20, 80, 61};  // 61: the height with the list dropped
constexpr UnitRect fullscreenRect{12, 58, 53, 8};
constexpr UnitRect trueColorRect{12, 70, 53, 8};
constexpr UnitRect musicRect{12, 82, 53, 8};
constexpr UnitRect resolutionLabelRect{10, 22, 36, 8};
constexpr UnitRect groupRect{4, 44, 130, 54};
constexpr UnitRect titleRect{7, 5, 120, 8};
// The closed list's field, centred on the "Resolution" label beside it.
constexpr int listFieldHeight = 12;

// The tab order is the template's control order.
enum Control : int { goButton, cancelButton, resolutionList, fullscreenBox, trueColorBox, musicBox, controlCount };

// Dialog units to pixels, rounded as the dialog manager rounds them.
struct Units {
  int baseX = 6;
  int baseY = 13;
  float x(int u) const { return static_cast<float>((u * baseX + 2) / 4); }
  float y(int u) const { return static_cast<float>((u * baseY + 4) / 8); }
  ImVec2 at(int ux, int uy) const { return {x(ux), y(uy)}; }
  ImVec2 size(const UnitRect& r) const { return {x(r.x + r.w) - x(r.x), y(r.y + r.h) - y(r.y)}; }
};

// The average width is that of the 52 Latin letters, rounded, as Windows
// measures a dialog font; the height is the font's pixel height.
Units measure(ImFont* font) {
  const char* letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const int width = static_cast<int>(font->CalcTextSizeA(font->FontSize, FLT_MAX, 0.0f, letters).x + 0.5f);
  Units units;
  units.baseX = (width / 26 + 1) / 2;
  units.baseY = static_cast<int>(font->FontSize + 0.5f);
  return units;
}

ImU32 rgb(unsigned value) {
  return IM_COL32((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF, 0xFF);
}
ImVec4 rgbv(unsigned value) { return ImGui::ColorConvertU32ToFloat4(rgb(value)); }

// A light theme in the manner of the desktop's own settings dialogs.
constexpr unsigned backgroundColour = 0xF3F3F3, textColour = 0x1B1B1B, lineColour = 0xD9D9D9,
                   controlColour = 0xFDFDFD, controlHover = 0xF3F8FD, controlPressed = 0xE3EEF8,
                   controlBorder = 0xC4C4C4, boxBorder = 0x8A8A8A, accent = 0x005FB8, accentHover = 0x196EBF,
                   accentPressed = 0x004E96, focusColour = 0x1B1B1B, selectedItem = 0xDCEBF8;

void applyTheme() {
  ImGuiStyle& style = ImGui::GetStyle();
  style.WindowPadding = ImVec2(0, 0);
  style.WindowRounding = 0;
  style.WindowBorderSize = 0;
  style.FrameRounding = 4;
  style.FrameBorderSize = 1;
  style.PopupRounding = 4;
  style.PopupBorderSize = 1;
  style.ItemSpacing = ImVec2(0, 2);
  style.ItemInnerSpacing = ImVec2(6, 0);
  style.AntiAliasedLines = true;
  style.AntiAliasedFill = true;
  ImVec4* c = style.Colors;
  c[ImGuiCol_WindowBg] = rgbv(backgroundColour);
  c[ImGuiCol_PopupBg] = rgbv(controlColour);
  c[ImGuiCol_Text] = rgbv(textColour);
  c[ImGuiCol_Border] = rgbv(controlBorder);
  c[ImGuiCol_BorderShadow] = ImVec4(0, 0, 0, 0);
  c[ImGuiCol_Button] = rgbv(controlColour);
  c[ImGuiCol_ButtonHovered] = rgbv(controlHover);
  c[ImGuiCol_ButtonActive] = rgbv(controlPressed);
  c[ImGuiCol_FrameBg] = rgbv(controlColour);
  c[ImGuiCol_FrameBgHovered] = rgbv(controlHover);
  c[ImGuiCol_FrameBgActive] = rgbv(controlPressed);
  c[ImGuiCol_Header] = rgbv(selectedItem);
  c[ImGuiCol_HeaderHovered] = rgbv(controlHover);
  c[ImGuiCol_HeaderActive] = rgbv(controlPressed);
  c[ImGuiCol_CheckMark] = rgbv(0xFFFFFF);
}

ImFont* loadFont(ImGuiIO& io) {
  ImFont* font = nullptr;
  if (std::FILE* probe = std::fopen(fontFile, "rb")) {
    std::fclose(probe);
    io.Fonts->FontBuilderIO = ImGuiFreeType::GetBuilderForFreeType();
    io.Fonts->FontBuilderFlags = ImGuiFreeTypeBuilderFlags_LightHinting;
    font = io.Fonts->AddFontFromFileTTF(fontFile, fontPixels);
  }
  if (!font) font = io.Fonts->AddFontDefault();  // still readable, if plainer
  io.Fonts->Build();
  return font;
}

struct Dialog {
  Units units;
  int selection = -1;  // index into resolutions; -1: a size the list does not hold
  bool fullscreen = true;
  bool trueColor = true;
  bool music = true;
  int focus = goButton;
  bool listOpen = false;
  bool closeList = false;
  bool done = false;
  DialogOutcome outcome = DialogOutcome::cancel;
  char otherSize[32] = {};
};

void finish(Dialog& d, DialogOutcome outcome) {
  d.done = true;
  d.outcome = outcome;
}

void moveFocus(Dialog& d, int step) { d.focus = (d.focus + step + controlCount) % controlCount; }

void select(Dialog& d, int index) {
  d.selection = index < 0 ? 0 : (index >= resolutionCount ? resolutionCount - 1 : index);
}

// Space: what a click on the focused control does.
void activate(Dialog& d) {
  switch (d.focus) {
    case goButton: finish(d, DialogOutcome::go); break;
    case cancelButton: finish(d, DialogOutcome::cancel); break;
    case fullscreenBox: d.fullscreen = !d.fullscreen; break;
    case trueColorBox: d.trueColor = !d.trueColor; break;
    case musicBox: d.music = !d.music; break;
    default: break;
  }
}

void onKey(Dialog& d, const SDL_Keysym& key) {
  const bool onList = d.focus == resolutionList;
  switch (key.sym) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      if (d.listOpen) d.closeList = true;
      else finish(d, DialogOutcome::go);
      break;
    case SDLK_ESCAPE:
      // No control answers the cancel command: the dialog stays open.
      if (d.listOpen) d.closeList = true;
      break;
    case SDLK_TAB:
      if (d.listOpen) d.closeList = true;
      moveFocus(d, (key.mod & KMOD_SHIFT) ? -1 : 1);
      break;
    case SDLK_SPACE:
      activate(d);
      break;
    case SDLK_UP:
    case SDLK_LEFT:
      if (onList) select(d, d.selection < 0 ? 0 : d.selection - 1);
      else moveFocus(d, -1);
      break;
    case SDLK_DOWN:
    case SDLK_RIGHT:
      if (onList) select(d, d.selection + 1);
      else moveFocus(d, 1);
      break;
    case SDLK_HOME:
      if (onList) select(d, 0);
      break;
    case SDLK_END:
      if (onList) select(d, resolutionCount - 1);
      break;
    default:
      break;
  }
}

// A 2-pixel ring just outside a focused control.
void focusRing(ImDrawList* draw, ImVec2 min, ImVec2 max, float rounding) {
  draw->AddRect(ImVec2(min.x - 2, min.y - 2), ImVec2(max.x + 2, max.y + 2), rgb(focusColour), rounding + 2, 0, 1.5f);
}

bool pushButton(Dialog& d, const char* label, const UnitRect& r, Control control, bool isDefault) {
  const Units& u = d.units;
  ImGui::SetCursorPos(u.at(r.x, r.y));
  if (isDefault) {
    ImGui::PushStyleColor(ImGuiCol_Button, rgbv(accent));
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, rgbv(accentHover));
    ImGui::PushStyleColor(ImGuiCol_ButtonActive, rgbv(accentPressed));
    ImGui::PushStyleColor(ImGuiCol_Border, rgbv(accentPressed));
    ImGui::PushStyleColor(ImGuiCol_Text, rgbv(0xFFFFFF));
  }
  const bool clicked = ImGui::Button(label, u.size(r));
  if (isDefault) ImGui::PopStyleColor(5);
  if (ImGui::IsItemActivated()) d.focus = control;
  if (d.focus == control) focusRing(ImGui::GetWindowDrawList(), ImGui::GetItemRectMin(), ImGui::GetItemRectMax(), 4);
  return clicked;
}

void checkBox(Dialog& d, const char* label, bool& value, const UnitRect& r, Control control) {
  const Units& u = d.units;
  const ImVec2 size = u.size(r);
  ImGui::SetCursorPos(u.at(r.x, r.y));
  ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(0, (size.y - ImGui::GetFontSize()) / 2));
  ImGui::PushStyleVar(ImGuiStyleVar_FrameRounding, 3);
  ImGui::PushStyleColor(ImGuiCol_FrameBg, value ? rgbv(accent) : rgbv(0xFFFFFF));
  ImGui::PushStyleColor(ImGuiCol_FrameBgHovered, value ? rgbv(accentHover) : rgbv(controlHover));
  ImGui::PushStyleColor(ImGuiCol_FrameBgActive, value ? rgbv(accentPressed) : rgbv(controlPressed));
  ImGui::PushStyleColor(ImGuiCol_Border, value ? rgbv(accent) : rgbv(boxBorder));
  ImGui::Checkbox(label, &value);
  ImGui::PopStyleColor(4);
  ImGui::PopStyleVar(2);
  if (ImGui::IsItemActivated()) d.focus = control;
  if (d.focus == control) {
    // Around the label, as a native check box shows its focus.
    const ImVec2 min = ImGui::GetItemRectMin(), max = ImGui::GetItemRectMax();
    const float labelX = min.x + (max.y - min.y) + ImGui::GetStyle().ItemInnerSpacing.x;
    focusRing(ImGui::GetWindowDrawList(), ImVec2(labelX - 2, min.y), ImVec2(max.x + 2, max.y), 1);
  }
}

void resolutionDropDown(Dialog& d) {
  const Units& u = d.units;
  const UnitRect field{listRect.x, listRect.y, listRect.w, listFieldHeight};
  const ImVec2 size = u.size(field);
  ImGui::SetCursorPos(u.at(field.x, field.y));
  ImGui::SetNextItemWidth(size.x);
  ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(7, (size.y - ImGui::GetFontSize()) / 2));
  ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(0, 0));
  ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(1, 3));
  ImGui::PushStyleColor(ImGuiCol_Button, rgbv(controlColour));
  ImGui::PushStyleColor(ImGuiCol_ButtonHovered, rgbv(controlHover));
  const char* preview = d.selection >= 0 ? resolutions[d.selection].text : d.otherSize;
  // The field's rectangle and draw list, taken before an open list makes its
  // own window the current one.
  ImDrawList* draw = ImGui::GetWindowDrawList();
  const ImVec2 fieldMin = ImGui::GetCursorScreenPos();
  const ImVec2 fieldMax(fieldMin.x + size.x, fieldMin.y + size.y);
  if (ImGui::IsMouseClicked(ImGuiMouseButton_Left) && ImGui::IsMouseHoveringRect(fieldMin, fieldMax))
    d.focus = resolutionList;
  d.listOpen = ImGui::BeginCombo("##resolution", preview, ImGuiComboFlags_NoArrowButton);
  // A small chevron in place of the toolkit's large arrow.
  const ImVec2 tip(fieldMax.x - 13, (fieldMin.y + fieldMax.y) / 2 + 2);
  const ImVec2 chevron[] = {ImVec2(tip.x - 4, tip.y - 4), tip, ImVec2(tip.x + 4, tip.y - 4)};
  draw->AddPolyline(chevron, 3, rgb(textColour), 0, 1.5f);
  if (d.listOpen) {
    const float rowHeight = (u.y(listRect.y + listRect.h) - u.y(listRect.y) - size.y - 6) / resolutionCount;
    for (int i = 0; i < resolutionCount; ++i) {
      ImGui::PushID(i);
      ImGui::SetCursorPosX(1);
      if (ImGui::Selectable("##item", d.selection == i, 0, ImVec2(size.x - 2, rowHeight))) d.selection = i;
      const ImVec2 min = ImGui::GetItemRectMin();
      ImGui::GetWindowDrawList()->AddText(ImVec2(min.x + 6, min.y + (rowHeight - ImGui::GetFontSize()) / 2),
                                          rgb(textColour), resolutions[i].text);
      ImGui::PopID();
    }
    if (d.closeList) ImGui::CloseCurrentPopup();
    ImGui::EndCombo();
  }
  d.closeList = false;
  ImGui::PopStyleColor(2);
  ImGui::PopStyleVar(3);
  if (d.focus == resolutionList) focusRing(draw, fieldMin, fieldMax, 4);
}

void groupBox(const Dialog& d, const char* title, const UnitRect& r) {
  const Units& u = d.units;
  ImDrawList* draw = ImGui::GetWindowDrawList();
  const ImVec2 origin = ImGui::GetWindowPos();
  const ImVec2 min(origin.x + u.x(r.x), origin.y + u.y(r.y));
  const ImVec2 max(origin.x + u.x(r.x + r.w), origin.y + u.y(r.y + r.h));
  const float lineY = min.y + ImGui::GetFontSize() / 2;
  draw->AddRect(ImVec2(min.x + 0.5f, lineY + 0.5f), ImVec2(max.x - 0.5f, max.y - 0.5f), rgb(lineColour), 4);
  const ImVec2 textSize = ImGui::CalcTextSize(title);
  const float textX = min.x + u.x(4);
  draw->AddRectFilled(ImVec2(textX - 3, min.y), ImVec2(textX + textSize.x + 3, min.y + textSize.y), rgb(backgroundColour));
  draw->AddText(ImVec2(textX, min.y), rgb(textColour), title);
}

void staticText(const Dialog& d, const char* text, const UnitRect& r, bool centred) {
  const Units& u = d.units;
  float x = u.x(r.x);
  if (centred) x += (u.x(r.x + r.w) - x - ImGui::CalcTextSize(text).x) / 2;
  ImGui::SetCursorPos(ImVec2(x, u.y(r.y)));
  ImGui::TextUnformatted(text);
}

void drawDialog(Dialog& d) {
  const ImGuiIO& io = ImGui::GetIO();
  ImGui::SetNextWindowPos(ImVec2(0, 0));
  ImGui::SetNextWindowSize(io.DisplaySize);
  ImGui::Begin("##config", nullptr,
               ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                   ImGuiWindowFlags_NoNav | ImGuiWindowFlags_NoBringToFrontOnFocus);
  staticText(d, "Quarrystone - Live at Voltra 2005", titleRect, true);
  staticText(d, "Resolution", resolutionLabelRect, false);
  groupBox(d, "Performance", groupRect);
  checkBox(d, "Fullscreen", d.fullscreen, fullscreenRect, fullscreenBox);
  checkBox(d, "True Color", d.trueColor, trueColorRect, trueColorBox);
  checkBox(d, "Music", d.music, musicRect, musicBox);
  if (pushButton(d, "Go!", goRect, goButton, true)) finish(d, DialogOutcome::go);
  if (pushButton(d, "Cancel", cancelRect, cancelButton, false)) finish(d, DialogOutcome::cancel);
  // Last, so that its list opens over the controls below it.
  resolutionDropDown(d);
  ImGui::End();
}

void handleEvent(Dialog& d, const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT:
      finish(d, DialogOutcome::cancel);
      return;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
        finish(d, DialogOutcome::cancel);
        return;
      }
      break;
    case SDL_KEYDOWN:
      onKey(d, event.key.keysym);
      return;
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
      return;  // the keyboard is this dialog's own, not the toolkit's
    default:
      break;
  }
  ImGui_ImplSDL2_ProcessEvent(&event);
}

// Everything the dialog made, released in reverse order whatever happened.
struct Session {
  ImGuiContext* imgui = nullptr;
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  bool sdlBackend = false;
  bool glBackend = false;

  ~Session() {
    if (glBackend) ImGui_ImplOpenGL2_Shutdown();
    if (sdlBackend) ImGui_ImplSDL2_Shutdown();
    if (imgui) ImGui::DestroyContext(imgui);
    if (context) {
      SDL_GL_MakeCurrent(window, nullptr);
      SDL_GL_DeleteContext(context);
    }
    if (window) SDL_DestroyWindow(window);
    SDL_GL_ResetAttributes();
    SDL_ResetHint(SDL_HINT_X11_WINDOW_TYPE);
    // Nothing of the dialog (a close request, the Return that ended it) may
    // reach the demo's window.
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
};

}  // namespace

DialogOutcome runStartupDialog(StartupChoices& choices) {
  Session session;
  IMGUI_CHECKVERSION();
  session.imgui = ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // the dialog writes no file
  io.LogFilename = nullptr;
  applyTheme();

  Dialog d;
  d.units = measure(loadFont(io));
  d.fullscreen = choices.fullscreen;
  d.trueColor = choices.colorBits != 16;
  d.music = choices.music;
  for (int i = 0; i < resolutionCount; ++i)
    if (resolutions[i].width == choices.width && resolutions[i].height == choices.height) d.selection = i;
  std::snprintf(d.otherSize, sizeof d.otherSize, "%d x %d", choices.width, choices.height);

  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  SDL_SetHint(SDL_HINT_X11_WINDOW_TYPE, "_NET_WM_WINDOW_TYPE_DIALOG");
  const Units& u = d.units;
  session.window = SDL_CreateWindow("Config", static_cast<int>(u.x(dialogX)), static_cast<int>(u.y(dialogY)),
                                    static_cast<int>(u.x(dialogWidth)), static_cast<int>(u.y(dialogHeight)),
                                    SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
  if (!session.window) return DialogOutcome::failed;
  session.context = SDL_GL_CreateContext(session.window);
  if (!session.context) return DialogOutcome::failed;
  SDL_GL_MakeCurrent(session.window, session.context);
  SDL_GL_SetSwapInterval(1);
  session.sdlBackend = ImGui_ImplSDL2_InitForOpenGL(session.window, session.context);
  session.glBackend = session.sdlBackend && ImGui_ImplOpenGL2_Init();
  if (!session.glBackend) return DialogOutcome::failed;
  SDL_RaiseWindow(session.window);

  const ImVec4 clear = rgbv(backgroundColour);
  while (!d.done) {
    SDL_Event event;
    // Redraw at least ten times a second so hover and press states settle.
    bool got = SDL_WaitEventTimeout(&event, 100) != 0;
    while (got && !d.done) {
      handleEvent(d, event);
      got = SDL_PollEvent(&event) != 0;
    }
    if (d.done) break;
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    drawDialog(d);
    ImGui::Render();
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(session.window, &width, &height);
    glViewport(0, 0, width, height);
    glClearColor(clear.x, clear.y, clear.z, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(session.window);
  }

  if (d.outcome == DialogOutcome::go) {
    if (d.selection >= 0) {
      choices.width = resolutions[d.selection].width;
      choices.height = resolutions[d.selection].height;
    }
    choices.colorBits = d.trueColor ? 32 : 16;
    choices.fullscreen = d.fullscreen;
    choices.music = d.music;
  }
  return d.outcome;
}

}  // namespace platform::sdl2
