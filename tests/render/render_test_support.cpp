#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "codec/wavelet.h"
#include "engine/shared.h"

namespace rendertest {

namespace {
std::string scratch;
}

const std::string& scratchDirectory() {
  if (scratch.empty()) {
    if (const char* inherited = std::getenv("VOLTRA_RENDER_TEST_DIR")) {
      scratch = inherited;
    } else {
      std::string pattern = (std::filesystem::temp_directory_path() / "voltra-render-XXXXXX").string();
      if (!mkdtemp(pattern.data())) std::abort();
      scratch = pattern;
      setenv("VOLTRA_RENDER_TEST_DIR", scratch.c_str(), 1);
    }
  }
  return scratch;
}

std::string readTextFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> debugLines() {
  const std::string text = readTextFile("debug.txt");
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no CR LF>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::vector<FeedbackItem> captureFeedback(const std::function<void()>& draw) {
  std::vector<GLfloat> buffer(1 << 21);
  glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
  glRenderMode(GL_FEEDBACK);
  draw();
  const GLint used = glRenderMode(GL_RENDER);
  EXPECT_GE(used, 0) << "feedback buffer overflow";
  std::vector<FeedbackItem> items;
  auto readVertex = [&](GLint& at) {
    FeedbackVertex v{};
    v.x = buffer[at++];
    v.y = buffer[at++];
    v.z = buffer[at++];
    for (float& c : v.color) c = buffer[at++];
    for (float& t : v.texture) t = buffer[at++];
    return v;
  };
  for (GLint at = 0; at < used;) {
    const GLint token = static_cast<GLint>(buffer[at++]);
    FeedbackItem item;
    int vertexCount = 0;
    switch (token) {
      case GL_POLYGON_TOKEN:
        item.kind = FeedbackItem::polygon;
        vertexCount = static_cast<int>(buffer[at++]);
        break;
      case GL_PASS_THROUGH_TOKEN:
        item.kind = FeedbackItem::passThrough;
        item.marker = buffer[at++];
        break;
      case GL_LINE_TOKEN:
      case GL_LINE_RESET_TOKEN:
        vertexCount = 2;
        break;
      default:  // point, bitmap, pixel tokens: one vertex
        vertexCount = 1;
        break;
    }
    for (int k = 0; k < vertexCount; ++k) item.vertices.push_back(readVertex(at));
    items.push_back(std::move(item));
  }
  return items;
}

std::vector<FeedbackItem> polygonsOf(const std::vector<FeedbackItem>& items) {
  std::vector<FeedbackItem> polygons;
  for (const FeedbackItem& item : items)
    if (item.kind == FeedbackItem::polygon) polygons.push_back(item);
  return polygons;
}

void writePicture(const std::string& fileName, int width, int height, const std::function<Rgb(int x, int y)>& pixel,
                  bool grey) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb p = pixel(x, y);
      bytes.push_back(p.r);
      if (!grey) {
        bytes.push_back(p.g);
        bytes.push_back(p.b);
      }
    }
  }
  codec::EncodeParams params{};
  params.levelCount = 3;
  params.valueBits[0] = params.valueBits[1] = params.valueBits[2] = 8;
  params.threshold = -1.0;
  params.grey = grey;
  std::string reason;
  std::filesystem::create_directories(std::filesystem::path(fileName).parent_path().empty()
                                          ? std::filesystem::path(".")
                                          : std::filesystem::path(fileName).parent_path());
  ASSERT_TRUE(codec::encodeImageFile(fileName, bytes.data(), width, height, params, &reason))
      << fileName << ": " << reason;
}

Rgb loadingPicturePixel(int, int y, int, int height) {
  return y < height / 2 ? Rgb{200, 40, 0} : Rgb{0, 40, 200};
}

void writeTextureSet(const std::string& directory, int sizeDivisor) {
  auto size = [&](int full) { return std::max(32, full / sizeDivisor / 16 * 16); };
  for (int slot = 0; slot < textureSlotCount; ++slot) {
    const TextureSlotInfo& info = textureTable[slot];
    const std::string file = directory + "/" + info.fileName;
    const std::string name = std::filesystem::path(info.fileName).stem().string();
    int width = size(256), height = size(256);
    std::function<Rgb(int, int)> pixel;
    if (slot == tex::loading) {
      width = size(512);
      height = size(256);
      pixel = [=](int x, int y) { return loadingPicturePixel(x, y, width, height); };
    } else if (slot == tex::heightmap) {
      width = height = std::max(48, size(64));
      pixel = [](int x, int y) { return Rgb{0, static_cast<std::uint8_t>((x * 7 + y * 13) % 256), 0}; };
    } else if (slot == tex::voltra || slot == tex::voltra_alpha || name.rfind("text", 0) == 0 ||
               name.rfind("Text", 0) == 0 || name.rfind("credits", 0) == 0) {
      width = size(512);
      height = size(256);
    } else if (slot == tex::fiveborder || slot == tex::handsup) {
      width = height = size(512);
    } else if (slot == tex::star || slot == tex::star_alpha) {
      width = height = size(128);
    }
    if (!pixel) {
      if (info.alphaSource == slot || info.components == 3) {
        // White on black: bands and a disc, like lettering and masks.
        pixel = [=](int x, int y) {
          const int dx = x - width / 2, dy = y - height / 2;
          const bool on = ((x / 8 + y / 16) % 3 == 0) || dx * dx + dy * dy < (height / 4) * (height / 4);
          const std::uint8_t v = on ? 255 : 0;
          return Rgb{v, v, v};
        };
      } else {
        pixel = [=](int x, int y) {
          return Rgb{static_cast<std::uint8_t>(x * 255 / width), static_cast<std::uint8_t>(y * 255 / height),
                     static_cast<std::uint8_t>(slot * 4)};
        };
      }
    }
    writePicture(file, width, height, pixel);
  }
}

}  // namespace rendertest
