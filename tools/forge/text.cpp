#include "text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>

namespace forge {

namespace {

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// Decodes UTF-8; a malformed byte becomes U+FFFD so bad input never stalls.
std::vector<char32_t> decodeUtf8(const std::string& s) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + extra >= s.size() + (extra == 0 ? 1 : 0)) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d >> 6) != 2) ok = false;
      cp = (cp << 6) | (d & 0x3F);
    }
    out.push_back(ok ? cp : 0xFFFD);
    i += ok ? extra + 1 : 1;
  }
  return out;
}

}  // namespace

bool parseTextSource(const std::string& text, std::vector<TextSection>& sections,
                     std::string* reason) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  std::set<std::string> names;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '#') continue;
    if (!line.empty() && line[0] == '[') {
      const auto close = line.find(']');
      if (close == std::string::npos || !trim(line.substr(close + 1)).empty()) {
        if (reason) *reason = "line " + std::to_string(number) + ": malformed section header";
        return false;
      }
      std::istringstream words(line.substr(1, close - 1));
      TextSection section;
      words >> section.name;
      if (section.name.empty() || !names.insert(section.name).second) {
        if (reason) *reason = "line " + std::to_string(number) + ": missing or repeated section name";
        return false;
      }
      std::string option;
      while (words >> option) {
        const auto eq = option.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == option.size()) {
          if (reason) *reason = "line " + std::to_string(number) + ": option without a value: " + option;
          return false;
        }
        section.options[option.substr(0, eq)] = option.substr(eq + 1);
      }
      sections.push_back(std::move(section));
      continue;
    }
    if (sections.empty()) {
      if (trim(line).empty()) continue;
      if (reason) *reason = "line " + std::to_string(number) + ": text before the first [section]";
      return false;
    }
    sections.back().lines.push_back(line);
  }
  // Trailing gaps belong to no picture.
  for (auto& s : sections)
    while (!s.lines.empty() && trim(s.lines.back()).empty()) s.lines.pop_back();
  return true;
}

struct Typesetter::State {
  FT_Library library = nullptr;
  FT_Face faces[3] = {nullptr, nullptr, nullptr};
  ~State() {
    for (FT_Face f : faces)
      if (f) FT_Done_Face(f);
    if (library) FT_Done_FreeType(library);
  }
};

Typesetter::Typesetter() : state_(std::make_unique<State>()) {}
Typesetter::~Typesetter() = default;

bool Typesetter::open(const std::string& fontsDir, std::string* reason) {
  if (FT_Init_FreeType(&state_->library) != 0) {
    if (reason) *reason = "FreeType could not be initialised";
    return false;
  }
  const char* files[3] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSansMono.ttf"};
  for (int i = 0; i < 3; ++i) {
    const std::string path = fontsDir + "/" + files[i];
    if (FT_New_Face(state_->library, path.c_str(), 0, &state_->faces[i]) != 0) {
      if (reason) *reason = "cannot open font " + path;
      return false;
    }
  }
  return true;
}

double Typesetter::lineHeight(Font font, int size) {
  FT_Face face = state_->faces[font];
  FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size));
  return static_cast<double>(face->size->metrics.height) / 64.0;
}

double Typesetter::measure(Font font, int size, const std::string& utf8, double squeeze) {
  FT_Face face = state_->faces[font];
  FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size));
  FT_Set_Transform(face, nullptr, nullptr);
  double width = 0;
  FT_UInt previous = 0;
  for (char32_t cp : decodeUtf8(utf8)) {
    const FT_UInt glyph = FT_Get_Char_Index(face, cp);
    if (previous && glyph && FT_HAS_KERNING(face)) {
      FT_Vector k;
      FT_Get_Kerning(face, previous, glyph, FT_KERNING_UNFITTED, &k);
      width += static_cast<double>(k.x) / 64.0;
    }
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING) == 0)
      width += static_cast<double>(face->glyph->linearHoriAdvance) / 65536.0;
    previous = glyph;
  }
  return width * squeeze;
}

void Typesetter::draw(Image& image, Font font, int size, double x, double y, const std::string& utf8,
                      const std::uint8_t colour[3], double squeeze) {
  FT_Face face = state_->faces[font];
  FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size));
  double penX = x;
  FT_UInt previous = 0;
  for (char32_t cp : decodeUtf8(utf8)) {
    const FT_UInt glyph = FT_Get_Char_Index(face, cp);
    if (previous && glyph && FT_HAS_KERNING(face)) {
      FT_Vector k;
      FT_Get_Kerning(face, previous, glyph, FT_KERNING_UNFITTED, &k);
      penX += static_cast<double>(k.x) / 64.0 * squeeze;
    }
    previous = glyph;
    // The fraction of the pen position goes into the glyph's own transform,
    // so letters sit where their advances put them, not on whole pixels.
    const double whole = std::floor(penX);
    FT_Matrix m{static_cast<FT_Fixed>(std::lround(squeeze * 65536.0)), 0, 0, 0x10000};
    FT_Vector delta{static_cast<FT_Pos>(std::lround((penX - whole) * 64.0)), 0};
    FT_Set_Transform(face, &m, &delta);
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_RENDER) == 0) {
      const FT_Bitmap& bm = face->glyph->bitmap;
      const int left = static_cast<int>(whole) + face->glyph->bitmap_left;
      const int top = static_cast<int>(std::lround(y)) - face->glyph->bitmap_top;
      for (unsigned row = 0; row < bm.rows; ++row) {
        const int py = top + static_cast<int>(row);
        if (py < 0 || py >= image.height) continue;
        for (unsigned col = 0; col < bm.width; ++col) {
          const int px = left + static_cast<int>(col);
          if (px < 0 || px >= image.width) continue;
          const unsigned cover = bm.buffer[row * bm.pitch + col];
          if (!cover) continue;
          std::uint8_t* p = image.at(px, py);
          for (int c = 0; c < 3; ++c) {
            const unsigned v = p[c] + (cover * colour[c] + 127) / 255;
            p[c] = static_cast<std::uint8_t>(std::min(255u, v));
          }
        }
      }
      penX += static_cast<double>(face->glyph->linearHoriAdvance) / 65536.0 * squeeze;
    }
  }
  FT_Set_Transform(face, nullptr, nullptr);
}

namespace {

struct SetLine {
  Typesetter::Font font;
  int size;
  std::string text;
  const std::uint8_t* colour;
  double height;  // advance to the next line
  double ascent;
};

const std::uint8_t kBody[3] = {255, 255, 255};
const std::uint8_t kHead[3] = {214, 236, 255};
const std::uint8_t kAccent[3] = {150, 206, 255};
const std::uint8_t kMono[3] = {196, 255, 236};

int optionInt(const TextSection& s, const char* key, int fallback) {
  const auto it = s.options.find(key);
  if (it == s.options.end()) return fallback;
  try {
    return std::stoi(it->second);
  } catch (...) {
    return -1;
  }
}

}  // namespace

bool setTextPicture(Typesetter& ts, const TextSection& section, Image& out, std::string* reason) {
  const int side = optionInt(section, "size", 512);
  const int body = optionInt(section, "body", 30);
  const int head = optionInt(section, "head", body * 2);
  double squeeze = 1.0;
  if (auto it = section.options.find("squeeze"); it != section.options.end())
    squeeze = std::atof(it->second.c_str());
  const bool left = section.options.count("align") && section.options.at("align") == "left";
  const auto optionIs = [&](const char* key, std::initializer_list<const char*> allowed) {
    const auto it = section.options.find(key);
    if (it == section.options.end()) return true;
    for (const char* a : allowed)
      if (it->second == a) return true;
    return false;
  };
  if (!optionIs("align", {"center", "left"}) || !optionIs("valign", {"center", "top", "bottom"})) {
    if (reason) *reason = section.name + ": align is center or left, valign center, top or bottom";
    return false;
  }
  if (side < 32 || side > 2048 || (side & (side - 1)) != 0 || body < 6 || body > 400 || head < 6 ||
      head > 400 || !(squeeze > 0.3 && squeeze <= 2.0)) {
    if (reason) *reason = section.name + ": bad size, body, head or squeeze option";
    return false;
  }
  const double margin = std::ceil(side * 0.06);
  const double column = side - 2 * margin;

  std::vector<SetLine> lines;
  auto add = [&](Typesetter::Font font, int size, const std::uint8_t* colour, const std::string& text,
                 bool wrap) -> bool {
    const double lh = ts.lineHeight(font, size);
    const double ascent = size * 0.78;
    std::istringstream words(text);
    std::string word, current;
    while (words >> word) {
      const std::string candidate = current.empty() ? word : current + " " + word;
      if (ts.measure(font, size, candidate, squeeze) <= column) {
        current = candidate;
        continue;
      }
      if (current.empty() || !wrap) {
        if (reason) *reason = section.name + ": \"" + candidate + "\" is wider than the picture";
        return false;
      }
      lines.push_back({font, size, current, colour, lh, ascent});
      current = word;
      if (ts.measure(font, size, current, squeeze) > column) {
        if (reason) *reason = section.name + ": the word \"" + word + "\" is wider than the picture";
        return false;
      }
    }
    if (!current.empty()) lines.push_back({font, size, current, colour, lh, ascent});
    return true;
  };

  for (const std::string& raw : section.lines) {
    const std::string line = trim(raw);
    bool ok = true;
    if (line.empty()) {
      lines.push_back({Typesetter::regular, body, "", kBody, body * 0.6, 0});
    } else if (line[0] == '!') {
      ok = add(Typesetter::bold, head, kHead, trim(line.substr(1)), true);
    } else if (line[0] == '*') {
      ok = add(Typesetter::bold, body, kAccent, trim(line.substr(1)), true);
    } else if (line[0] == '>') {
      ok = add(Typesetter::mono, body, kMono, trim(line.substr(1)), true);
    } else {
      ok = add(Typesetter::regular, body, kBody, line, true);
    }
    if (!ok) return false;
  }
  double total = 0;
  for (std::size_t i = 0; i < lines.size(); ++i)
    total += i + 1 < lines.size() ? lines[i].height : lines[i].size * 1.0;
  if (total > side - 2 * margin) {
    if (reason) *reason = section.name + ": the text is taller than the picture";
    return false;
  }
  out = Image(side, side);
  double y = std::round((side - total) / 2);
  if (auto it = section.options.find("valign"); it != section.options.end()) {
    if (it->second == "top") {
      y = margin;
    } else if (it->second == "bottom") {
      y = std::round(side - margin - total);
    }
  }
  for (const SetLine& l : lines) {
    if (!l.text.empty()) {
      const double w = ts.measure(l.font, l.size, l.text, squeeze);
      const double x = left ? margin : std::round((side - w) / 2);
      ts.draw(out, l.font, l.size, x, y + l.ascent, l.text, l.colour, squeeze);
    }
    y += l.height;
  }
  return true;
}

}  // namespace forge
