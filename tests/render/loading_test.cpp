// The loading screen and the start-up and shutdown of the shared objects, on
// the engine window's own context (800 × 600) with a synthetic texture set.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <set>

#include "engine/loading.h"
#include "engine/log.h"
#include "engine/window.h"
#include "tests/render/render_test_support.h"
#include "tests/support/gl_context.h"

namespace {

constexpr int W = 800, H = 600;

struct Frame {
  std::vector<std::uint8_t> rgba;  // bottom row first
  std::array<int, 3> at(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * W + x) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2]};
  }
};

// Window position of loading-screen object point (x, y, z): perspective(45°,
// 4/3, 0.1, 100) after translate(0, -0.3, -4).
std::pair<double, double> project(double x, double y, double z) {
  const double f = 1.0 / std::tan(22.5 * M_PI / 180.0);
  const double ez = z - 4.0;
  const double nx = (f / (4.0 / 3.0)) * x / -ez, ny = f * (y - 0.3) / -ez;
  return {(nx + 1) / 2 * W, (ny + 1) / 2 * H};
}

// Level 0 of a slot's GL texture as B, G, R, A bytes (start-up has released
// the pixel copies; GL's are what the scenes draw). The test set's pictures
// are powers of two, so GL holds them unscaled.
std::vector<std::uint8_t> texelsOf(int slot) {
  const orbImage& image = textures[slot].image;
  std::vector<std::uint8_t> texels(static_cast<std::size_t>(image.width) * image.height * 4);
  glBindTexture(GL_TEXTURE_2D, textures[slot].glName);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return texels;
}

class LoadingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!std::filesystem::exists("data/credits5.kpx")) rendertest::writeTextureSet(".", 4);
  }
  void SetUp() override {
    ASSERT_EQ(windowWidth(), W);
    while (glGetError() != GL_NO_ERROR) {
    }
    if (textures[tex::loading].glName != 0) disposeSharedObjects();
    resetLogForTesting();
  }
  void TearDown() override {
    platform::setHeadlessSwapHook(nullptr);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }

  // Start-up steps 4 to 11, 17 and 18 as the program runs them; every swap
  // records the frame.
  std::vector<Frame> runStartUp() {
    std::vector<Frame> frames;
    platform::setHeadlessSwapHook([&] { frames.push_back({testsupport::readFramebuffer(W, H)}); });
    loadingScreenInit();
    firstVoltraName = textures[tex::voltra].glName;
    EXPECT_TRUE(frames.empty()) << "the loading screen's set-up draws nothing";
    createSharedObjects();
    loadingProgress(1.0);
    createPipelineAndOverlay();
    platform::setHeadlessSwapHook(nullptr);
    return frames;
  }

  GLuint firstVoltraName = 0;
};

}  // namespace

TEST_F(LoadingTest, SixFramesEachEndingInASwapWithTheBarGrowing) {
  const auto frames = runStartUp();
  ASSERT_EQ(frames.size(), 6u);
  const double fractions[6] = {0.1, 0.2, 0.3, 0.4, 0.5, 1.0};
  const int barRow = static_cast<int>(std::lround((project(0, -0.5, 0.1).second + project(0, -0.4, 0.1).second) / 2));
  const int barStart = static_cast<int>(std::ceil(project(-1, -0.45, 0.1).first));
  for (int k = 0; k < 6; ++k) {
    const int barEnd = static_cast<int>(project(fractions[k] * 2 - 1, -0.45, 0.1).first);
    EXPECT_EQ(frames[k].at(barStart + 2, barRow), (std::array<int, 3>{255, 255, 255})) << "frame " << k;
    EXPECT_EQ(frames[k].at(barEnd - 2, barRow), (std::array<int, 3>{255, 255, 255})) << "frame " << k;
    EXPECT_NE(frames[k].at(barEnd + 3, barRow), (std::array<int, 3>{255, 255, 255})) << "frame " << k;
  }
}

TEST_F(LoadingTest, LastFrameShowsThePictureUprightAndTheFullBar) {
  const auto frames = runStartUp();
  ASSERT_EQ(frames.size(), 6u);
  const Frame& last = frames.back();
  auto near = [](std::array<int, 3> actual, std::array<int, 3> expected) {
    for (int c = 0; c < 3; ++c)
      if (std::abs(actual[c] - expected[c]) > 6) return false;
    return true;
  };
  const std::array<int, 3> clear{77, 0, 0};  // 0.3 × 255
  // Upper half of the picture: the file's first rows (red-ish) added onto the clear colour.
  auto [ux, uy] = project(0, 0.5, 0);
  EXPECT_TRUE(near(last.at(int(ux), int(uy)), {255, 40, 0}));
  auto [lx, ly] = project(0.5, -0.8, 0);
  EXPECT_TRUE(near(last.at(int(lx), int(ly)), {77, 40, 200}));
  // The picture's edges: x ±1, y -1 … 1 at z = 0.
  auto [left, bottom] = project(-1, -1, 0);
  auto [right, top] = project(1, 1, 0);
  EXPECT_TRUE(near(last.at(int(left) + 2, int(uy)), {255, 40, 0}));
  EXPECT_TRUE(near(last.at(int(left) - 2, int(uy)), clear));
  EXPECT_TRUE(near(last.at(int(right) + 2, int(uy)), clear));
  EXPECT_TRUE(near(last.at(int(ux), int(top) + 2), clear));
  EXPECT_TRUE(near(last.at(int(ux), int(bottom) - 2), clear));
  // Well inside the top edge: the texture wraps, so the edge rows mix with the opposite edge.
  EXPECT_TRUE(near(last.at(int(ux), int(top) - 12), {255, 40, 0})) << last.at(int(ux), int(top) - 12)[2];
  // The bar reaches from x = -1 to 1 (at z = 0.1, so a little wider than the picture).
  const int barRow = static_cast<int>(std::lround((project(0, -0.5, 0.1).second + project(0, -0.4, 0.1).second) / 2));
  const double barLeft = project(-1, -0.45, 0.1).first, barRight = project(1, -0.45, 0.1).first;
  EXPECT_TRUE(near(last.at(int(barLeft) + 2, barRow), {255, 255, 255}));
  EXPECT_TRUE(near(last.at(int(barRight) - 2, barRow), {255, 255, 255}));
  EXPECT_TRUE(near(last.at(int(barLeft) - 2, barRow), clear));
  EXPECT_TRUE(near(last.at(int(barRight) + 3, barRow), clear));
  EXPECT_TRUE(near(last.at(10, 10), clear));
}

TEST_F(LoadingTest, StartUpLeavesTheFirstFrameStateAndTheObjectsDefaults) {
  runStartUp();
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  GLint source = 0, destination = 0, shade = 0, viewport[4] = {};
  glGetIntegerv(GL_BLEND_SRC, &source);
  glGetIntegerv(GL_BLEND_DST, &destination);
  glGetIntegerv(GL_SHADE_MODEL, &shade);
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(source, GL_SRC_ALPHA);
  EXPECT_EQ(destination, GL_ONE);
  EXPECT_EQ(shade, GL_SMOOTH);
  EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, W, H}));
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  GLfloat colour[4], clearColour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
  EXPECT_EQ(std::vector<float>(colour, colour + 4), (std::vector<float>{1, 1, 1, 1}));
  EXPECT_NEAR(clearColour[0], 0.3f, 1e-6);
  EXPECT_EQ(clearColour[1], 0.0f);
  GLint depthFunction = 0;
  glGetIntegerv(GL_DEPTH_FUNC, &depthFunction);
  EXPECT_EQ(depthFunction, GL_LEQUAL);

  EXPECT_EQ(particles1.count, 200);
  EXPECT_EQ(particles2.count, 200);
  EXPECT_EQ(particles1.particles.size(), 5001u);
  EXPECT_EQ(light.lightId, static_cast<GLenum>(GL_LIGHT0));
  EXPECT_FALSE(light.enabled);
  EXPECT_EQ(std::vector<float>(light.position, light.position + 4), (std::vector<float>{0, 0, 1, 1}));
  EXPECT_EQ(std::vector<float>(light.ambient, light.ambient + 4), (std::vector<float>{0, 0, 0, 1}));
  EXPECT_EQ(light.spotDirection[2], -1.0f);
  EXPECT_EQ(light.spotCutoff, 180.0f);
  EXPECT_EQ(light.constantAttenuation, 1.0f);
  for (const orbMaterial* m : {&material1, &material2}) {
    EXPECT_FALSE(m->enabled);
    EXPECT_EQ(m->shininess, 100);
    EXPECT_EQ(m->diffuse[0], 0.8f);
    EXPECT_EQ(m->ambient[3], 1.0f);
  }
  EXPECT_TRUE(camera.active);
  EXPECT_EQ(camera.center[2], -1.0f);
  EXPECT_EQ(terrain.heightCount, 961);
  EXPECT_TRUE(glIsList(terrain.listId));
  // The heightmap's pixel copy is released after the terrain read it: decode the file again.
  const DecodedTexture heightmap = decodeTextureFile(textureTable[tex::heightmap].fileName);
  const std::size_t at = (static_cast<std::size_t>(1 + 7) * heightmap.header.width + 1 + 30) * 4;
  EXPECT_FLOAT_EQ(terrain.height(30, 7), heightmap.pixels[at + 1] / 255.0f * 3.0f);
  EXPECT_EQ(pipeline.textureSize, 1024);
  EXPECT_EQ(overlayFX.textureName(), pipeline.renderTexture.glName);
}

TEST_F(LoadingTest, TexturesCarryTheirAlphaSourcesAndSlotFiveIsOneObject) {
  runStartUp();
  std::set<GLuint> names;
  for (int slot = 0; slot < textureSlotCount; ++slot) {
    const orbTexture& t = textures[slot];
    ASSERT_TRUE(glIsTexture(t.glName)) << "slot " << slot;
    names.insert(t.glName);
    // The pixel copies are gone once start-up is done; the sizes stay.
    EXPECT_TRUE(t.image.pixels.empty()) << "slot " << slot;
    EXPECT_GT(t.image.width, 0);
    const TextureSlotInfo& info = textureTable[slot];
    if (info.components == 3) continue;  // GL keeps no alpha for them
    const auto texels = texelsOf(slot);
    const auto source = texelsOf(info.alphaSource);
    for (std::size_t i = 0; i < texels.size(); i += 4)
      ASSERT_EQ(texels[i + 3], source[i]) << "slot " << slot << " pixel " << i / 4;
  }
  EXPECT_EQ(names.size(), 55u);
  EXPECT_NE(firstVoltraName, textures[tex::voltra].glName);
  EXPECT_TRUE(!glIsTexture(firstVoltraName) || names.count(firstVoltraName))
      << "the loading screen's voltra texture still exists";
  // Voltra's mask is the alpha picture, not its own blue: the test set makes them differ.
  const auto voltraTexels = texelsOf(tex::voltra);
  bool differs = false;
  for (std::size_t i = 0; i < voltraTexels.size(); i += 4) differs |= voltraTexels[i + 3] != voltraTexels[i];
  EXPECT_TRUE(differs);
}

TEST_F(LoadingTest, LogHasOneBlockPerTextureThenShutdownDisposesInSlotOrder) {
  runStartUp();
  const auto lines = rendertest::debugLines();
  // Files in the order they were loaded: slot 0, slot 5 for the loading
  // screen, then slots 1 … 54; the first slot-5 texture disposed when replaced.
  std::vector<int> order = {tex::loading, tex::voltra};
  for (int slot = 1; slot < textureSlotCount; ++slot) order.push_back(slot);
  std::size_t at = 0;
  for (std::size_t k = 0; k < order.size(); ++k) {
    const int slot = order[k];
    const orbTexture& t = textures[slot];
    ASSERT_LE(at + 5, lines.size());
    ASSERT_EQ(lines[at].rfind("Loading new Texture | ", 0), 0u) << lines[at];
    // A 4-component texture is uploaded again after its alpha: it logs the
    // name it had when created. A 3-component one keeps it.
    if (textureTable[slot].components == 3) {
      EXPECT_EQ(lines[at], "Loading new Texture | " + std::to_string(t.glName));
    }
    EXPECT_EQ(lines[at + 1], std::string(textureTable[slot].fileName) + " | 0");
    EXPECT_EQ(lines[at + 2], "Width:  | " + std::to_string(t.image.width));
    EXPECT_EQ(lines[at + 3], "Height:  | " + std::to_string(t.image.height));
    EXPECT_EQ(lines[at + 4], "-------------------------- | 0");
    at += 5;
    if (k >= 2 && slot == tex::voltra) {
      ASSERT_LE(at + 2, lines.size());
      EXPECT_EQ(lines[at], "Disposing Texture | " + std::to_string(firstVoltraName));
      EXPECT_EQ(lines[at + 1], "-------------------------- | 0");
      at += 2;
    }
  }
  EXPECT_EQ(at, lines.size()) << "more lines than the texture blocks";

  std::vector<std::string> expected;
  auto append = [&](const std::vector<std::string>& block) { expected.insert(expected.end(), block.begin(), block.end()); };
  std::vector<GLuint> names;
  for (const orbTexture& t : textures) names.push_back(t.glName);
  resetLogForTesting();
  disposeSharedObjects();
  expected.clear();
  for (GLuint name : names)
    append({"Disposing Texture | " + std::to_string(name), "-------------------------- | 0"});
  EXPECT_EQ(rendertest::debugLines(), expected);
  for (GLuint name : names) EXPECT_FALSE(glIsTexture(name));
  EXPECT_TRUE(particles1.particles.empty());
  EXPECT_TRUE(particles2.particles.empty());
  EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
  // The camera's dispose leaves the default camera projection.
  GLdouble projection[16];
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  EXPECT_NEAR(projection[0], 1.0 / std::tan(22.5 * M_PI / 180.0) / (4.0 / 3.0), 1e-6);
  EXPECT_NEAR(projection[8], 0.0, 1e-9);
}

TEST_F(LoadingTest, MissingLoadingPictureStopsWithNonZeroExit) {
  std::filesystem::create_directories("empty");
  EXPECT_EXIT(
      {
        if (chdir("empty") == 0) loadingScreenInit();
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(textureIoExitCode), "data/loading.kpx");
}

namespace {

// A copy of the test set in folder, with slot's file changed by damage. Made
// once: a death-test child runs the test body again up to its own statement
// and must find the folders, and the logs in them, as the parent left them.
void copyTextureSet(const std::string& folder, int slot, const std::function<void(const std::string&)>& damage) {
  if (std::filesystem::exists(folder)) return;
  std::filesystem::create_directories(folder);
  std::filesystem::copy("data", folder + "/data", std::filesystem::copy_options::recursive);
  if (damage) damage(folder + "/" + textureTable[slot].fileName);
}

// Start-up steps 4 to 11 in a fresh process (a death-test child) in folder,
// with threads decode threads; the child ends with exitCode and a stderr
// matching pattern. Returns the folder's debug.txt lines and error.txt.
std::pair<std::vector<std::string>, std::string> startUpInChild(const std::string& folder, int threads,
                                                                 int exitCode, const std::string& pattern) {
  EXPECT_EXIT(
      {
        if (chdir(folder.c_str()) != 0) std::_Exit(98);
        resetLogForTesting();
        setTextureDecodeThreads(threads);
        loadingScreenInit();
        createSharedObjects();
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(exitCode), pattern);
  const std::string base = rendertest::scratchDirectory() + "/" + folder;
  std::vector<std::string> lines;
  std::istringstream log(rendertest::readTextFile(base + "/debug.txt"));
  for (std::string line; std::getline(log, line);) lines.push_back(line.substr(0, line.size() - 1));
  return {lines, rendertest::readTextFile(base + "/error.txt")};
}

void breakHeader(const std::string& file) {
  std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(7);
  f.put(5);  // bits per pixel: neither grey nor colour
}

}  // namespace

TEST_F(LoadingTest, DecodingAheadKeepsTheLogAndTheNamesOfDecodingOneByOne) {
  copyTextureSet("serial", 0, nullptr);
  copyTextureSet("ahead", 0, nullptr);
  const auto [serial, serialError] = startUpInChild("serial", 0, 0, "");
  const auto [ahead, aheadError] = startUpInChild("ahead", 3, 0, "");
  // 56 texture blocks and the disposal of the first slot-5 texture.
  EXPECT_EQ(serial.size(), 56u * 5 + 2);
  EXPECT_EQ(ahead, serial);
  EXPECT_EQ(serialError, "");
  EXPECT_EQ(aheadError, "");
}

TEST_F(LoadingTest, ATextureThatFailsStopsAtItsOwnPlaceInTheLogWithOrWithoutDecodingAhead) {
  constexpr int broken = tex::Text3_4;
  for (int threads : {0, 3}) {
    const std::string folder = "broken" + std::to_string(threads);
    copyTextureSet(folder, broken, breakHeader);
    const auto [lines, error] = startUpInChild(folder, threads, 1, "orbTexture: Could not load Texture");
    EXPECT_EQ(error, "Sorry, but the following module had something to say:\r\n\r\norbTexture\r\nCould not load Texture\r\n")
        << threads << " threads";
    // Slots 0 and 5, the disposal, slots 1 … broken - 1; nothing after.
    ASSERT_EQ(lines.size(), (2u + broken - 1) * 5 + 2) << threads << " threads";
    EXPECT_EQ(lines[lines.size() - 4], std::string(textureTable[broken - 1].fileName) + " | 0");
  }
  // A missing file ends the run with the I/O exit code at the same place.
  for (int threads : {0, 3}) {
    const std::string folder = "missing" + std::to_string(threads);
    copyTextureSet(folder, broken, [](const std::string& file) { std::filesystem::remove(file); });
    const auto [lines, error] = startUpInChild(folder, threads, textureIoExitCode, textureTable[broken].fileName);
    EXPECT_EQ(lines.size(), (2u + broken - 1) * 5 + 2) << threads << " threads";
    EXPECT_EQ(error, "");
  }
}
