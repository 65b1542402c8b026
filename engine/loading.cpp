#include "engine/loading.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "codec/wavelet.h"
#include "engine/window.h"

namespace {

int decodeThreadSetting = -1;  // -1: one per core

// The texture files of a start-up, decoded ahead of the GL thread. Jobs are
// the files in the order start-up makes the textures (slot 0, slot 5 for the
// loading screen, then slots 1 … 54); workers and the GL thread claim them in
// that order, so when the GL thread needs a file that nobody has claimed yet
// it is the next one and the GL thread decodes it itself instead of waiting.
// The GL thread takes the results in the same order and does everything that
// logs, uploads or fails, so the log and the failures are those of decoding
// one file after another.
class DecodeAhead {
 public:
  DecodeAhead(std::vector<int> slots, int threads) : slots_(std::move(slots)), done_(slots_.size()) {
    results_.resize(slots_.size());
    for (int t = 0; t < threads; ++t)
      workers_.emplace_back([this] {
        while (decodeNext()) {
        }
      });
  }
  ~DecodeAhead() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      next_.store(slots_.size());  // nothing more is claimed
      changed_.notify_all();
    }
    for (std::thread& worker : workers_) worker.join();
  }

  // The next job's file when it is slot's, decoded; false when the start-up
  // asks for another slot (the caller then decodes it itself).
  bool take(int slot, DecodedTexture& out) {
    if (taken_ >= slots_.size() || slots_[taken_] != slot) return false;
    const std::size_t job = taken_;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++taken_;
      changed_.notify_all();
    }
    // Nobody has claimed it: every earlier job was taken, so it is the next.
    std::size_t expected = job;
    if (next_.compare_exchange_strong(expected, job + 1)) {
      decode(job);
    } else {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return done_[job] != 0; });
    }
    out = std::move(results_[job]);
    return true;
  }

  bool finished() const { return taken_ >= slots_.size(); }
  bool untouched() const { return taken_ == 0; }

 private:
  bool decodeNext() {
    {
      // A decoded file waits in memory until the GL thread takes it: keep few.
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return next_.load() >= slots_.size() || next_.load() < taken_ + maxAhead; });
    }
    const std::size_t job = next_.fetch_add(1);
    if (job >= slots_.size()) return false;
    decode(job);
    return true;
  }
  void decode(std::size_t job) {
    DecodedTexture decoded = decodeTextureFile(textureTable[slots_[job]].fileName);
    std::lock_guard<std::mutex> lock(mutex_);
    results_[job] = std::move(decoded);
    done_[job] = 1;
    changed_.notify_all();
  }

  const std::vector<int> slots_;
  std::vector<DecodedTexture> results_;  // job i's, guarded by mutex_ until done_[i]
  std::vector<char> done_;
  std::atomic<std::size_t> next_{0};
  static constexpr std::size_t maxAhead = 4;
  std::size_t taken_ = 0;  // written by the GL thread under mutex_
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> workers_;
};

std::unique_ptr<DecodeAhead> decodeAhead;

int decodeThreads() {
  if (decodeThreadSetting >= 0) return decodeThreadSetting;
  // The GL thread decodes too whenever it would wait, so one thread fewer than cores.
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 2u, 8u)) - 1;
}

void startDecodingAhead() {
  decodeAhead.reset();
  if (decodeThreads() == 0) return;
  std::vector<int> slots = {tex::loading, tex::voltra};
  for (int slot = 1; slot < textureSlotCount; ++slot) slots.push_back(slot);
  decodeAhead = std::make_unique<DecodeAhead>(std::move(slots), decodeThreads());
}

DecodedTexture decodedFile(int slot) {
  DecodedTexture decoded;
  if (decodeAhead && decodeAhead->take(slot, decoded)) {
    if (decodeAhead->finished()) decodeAhead.reset();
    return decoded;
  }
  return decodeTextureFile(textureTable[slot].fileName);
}

// Creates a texture as the table gives it, with alpha from alphaSource.
orbTexture makeTexture(int slot, int alphaSource) {
  const TextureSlotInfo& info = textureTable[slot];
  // A 4-component texture is uploaded once, with its alpha: the upload create
  // would make first is replaced before anything could draw it.
  orbTexture made =
      orbTexture::create(info.fileName, decodedFile(slot), info.components, info.mipmapped, info.components != 4);
  if (info.components == 4) {
    fillAlpha(made.image, 255);
    copyAlpha(made.image, alphaSource == slot ? made.image : textures[alphaSource].image);
    made.upload();
  }
  return made;
}

void replaceTexture(int slot, orbTexture made) {
  if (textures[slot].glName != 0) textures[slot].dispose();
  textures[slot] = std::move(made);
}

}  // namespace

void loadTextureSlot(int slot) { replaceTexture(slot, makeTexture(slot, textureTable[slot].alphaSource)); }

namespace {

// True while a later step of start-up reads slot's pixels.
bool pixelsStillRead(int slot, int lastMade) {
  if (slot == tex::heightmap) return true;  // until the terrain has read it
  for (int later = lastMade + 1; later < textureSlotCount; ++later)
    if (later != slot && textureTable[later].alphaSource == slot) return true;
  return false;
}

// After slot was made: frees what start-up reads no more.
void releaseReadPixels(int slot) {
  if (!pixelsStillRead(slot, slot)) textures[slot].releasePixels();
  const int source = textureTable[slot].alphaSource;
  if (source != noAlphaSource && source != slot && !pixelsStillRead(source, slot)) textures[source].releasePixels();
}

}  // namespace

void setTextureDecodeThreads(int threads) { decodeThreadSetting = threads < 0 ? -1 : threads; }

void startTextureDecoding() { startDecodingAhead(); }

void loadingScreenInit() {
  glViewport(0, 0, windowWidth(), windowHeight());
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 4.0 / 3.0, 0.1, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  glClearColor(0.3f, 0.0f, 0.0f, 1.0f);
  glShadeModel(GL_SMOOTH);
  glClearDepth(1.0);
  glDepthFunc(GL_LEQUAL);
  glDisable(GL_DEPTH_TEST);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);

  if (!decodeAhead || !decodeAhead->untouched()) startDecodingAhead();
  loadTextureSlot(tex::loading);
  textures[tex::loading].releasePixels();
  // The logo is shown before its alpha picture is loaded: its own blue is the mask for now.
  replaceTexture(tex::voltra, makeTexture(tex::voltra, tex::voltra));
  textures[tex::voltra].releasePixels();
}

void loadingProgress(double fraction) {
  const float x = static_cast<float>(fraction * 2.0 - 1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  glTranslatef(0.0f, -0.3f, -4.0f);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

  glEnable(GL_TEXTURE_2D);
  bindTexture(tex::loading);
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glTexCoord2f(0.0f, 1.0f);
  glVertex3f(-1.0f, -1.0f, 0.0f);
  glTexCoord2f(1.0f, 1.0f);
  glVertex3f(1.0f, -1.0f, 0.0f);
  glTexCoord2f(1.0f, 0.0f);
  glVertex3f(1.0f, 1.0f, 0.0f);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3f(-1.0f, 1.0f, 0.0f);
  glEnd();
  glDisable(GL_TEXTURE_2D);

  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glVertex3f(-1.0f, -0.5f, 0.1f);
  glVertex3f(x, -0.5f, 0.1f);
  glVertex3f(x, -0.4f, 0.1f);
  glVertex3f(-1.0f, -0.4f, 0.1f);
  glEnd();

  swapWindowBuffers();
}

void createLightMaterialsAndCamera() {
  light = orbLight::create(GL_LIGHT0, 2);
  light.setAmbient(0.0f, 0.0f, 0.0f, 1.0f);
  light.setDiffuse(1.0f, 1.0f, 1.0f, 1.0f);
  light.setSpecular(1.0f, 1.0f, 1.0f, 1.0f);
  light.setPosition(0.0f, 0.0f, 1.0f);
  light.setSpotDirection(0.0f, 0.0f, -1.0f);
  light.setSpotCutoff(180.0f);
  light.setSpotExponent(0.0f);
  light.setAttenuation(1.0f, 0.0f, 0.0f);
  light.setEnabled(false);

  for (orbMaterial* material : {&material1, &material2}) {
    *material = orbMaterial::create();
    material->setAmbient(0.2f, 0.2f, 0.2f, 1.0f);
    material->setDiffuse(0.8f, 0.8f, 0.8f, 1.0f);
    material->setSpecular(1.0f, 1.0f, 1.0f, 1.0f);
    material->setShininess(100);
    material->setEnabled(false);
  }

  camera = orbCamera::create(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 0.0f);
  camera.setActive(true);
}

void createSharedObjects() {
  loadingProgress(0.1);

  particles1 = orbParticle::create(200);
  particles2 = orbParticle::create(200);
  loadingProgress(0.2);

  createLightMaterialsAndCamera();
  loadingProgress(0.3);

  for (int slot = 1; slot < textureSlotCount; ++slot) {
    loadTextureSlot(slot);
    releaseReadPixels(slot);
  }
  codec::releaseDecoderWorkspace();  // this thread decodes no more files
  loadingProgress(0.4);

  terrain = orbTerrain::create(30, 30, 1.0f);
  terrain.loadHeights(texture(tex::heightmap), 3.0f);
  textures[tex::heightmap].releasePixels();
  terrain.build();
  loadingProgress(0.5);
}

void createPipelineAndOverlay() {
  pipeline = orbPipeline::create(1024);
  overlayFX = orbOverlayFX::create();
}

void pipelineBeginFrame() { pipeline.beginFrame(); }
void pipelineCaptureAndRedraw() { pipeline.captureAndRedraw(); }
void pipelinePresentFrame() { pipeline.presentFrame(); }

void disposeSharedObjects() {
  for (orbTexture& slot : textures) slot.dispose();
  camera.dispose();
  light.dispose();
  material1.dispose();
  material2.dispose();
  particles1.dispose();
  particles2.dispose();
}
