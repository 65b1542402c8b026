#include "engine/pipeline.h"

#include <GL/glu.h>

#include <algorithm>

#include "engine/log.h"
#include "engine/window.h"

namespace {

// The process-wide "pipeline set" record: which render texture the overlay
// effects draw from. Zero size until a pipeline is created.
GLuint pipelineTextureName = 0;
std::int32_t pipelineTextureSize = 0;
bool pipelineSet = false;

void loadOrthographic(double W, double H, double zFar) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, W, H, 0.0, -1.0, zFar);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

}  // namespace

bool pipelineIsSet() { return pipelineSet; }

std::int32_t renderTextureSize(std::int32_t size, std::int32_t width, std::int32_t height) {
  const std::int32_t need = std::max({size, width, height});
  std::int32_t edge = 1;
  while (edge < need && edge < (1 << 30)) edge *= 2;
  return edge;
}

orbPipeline orbPipeline::create(std::int32_t size) {
  // A window wider or taller than the asked-for edge would otherwise lose its
  // right or top part, and the redraw would wrap the left edge round into it.
  size = renderTextureSize(size, windowWidth(), windowHeight());
  orbPipeline pipeline;
  pipelineSet = true;
  pipeline.textureSize = size;
  pipeline.renderTexture = orbRenderTexture::create(size, size, 4, GL_RGBA, false);
  pipelineTextureName = pipeline.renderTexture.glName;
  pipelineTextureSize = size;
  return pipeline;
}

void orbPipeline::beginFrame() const {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, static_cast<double>(windowWidth()) / static_cast<double>(windowHeight()), 0.1, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

namespace {
bool rehearsing = false;
}  // namespace

void setPipelineRehearsal(bool on) { rehearsing = on; }

void orbPipeline::captureAndRedraw() const {
  const std::int32_t W = windowWidth();
  const std::int32_t H = windowHeight();
  const float S = static_cast<float>(textureSize);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, renderTexture.glName);
  if (!rehearsing) glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, textureSize, textureSize, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  loadOrthographic(W, H, 1.0);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glBindTexture(GL_TEXTURE_2D, renderTexture.glName);
  const float right = static_cast<float>(W) / S;
  const float top = static_cast<float>(H) / S;
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, top);
  glVertex2f(0.0f, 0.0f);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(0.0f, static_cast<float>(H));
  glTexCoord2f(right, 0.0f);
  glVertex2f(static_cast<float>(W), static_cast<float>(H));
  glTexCoord2f(right, top);
  glVertex2f(static_cast<float>(W), 0.0f);
  glEnd();
  glDisable(GL_TEXTURE_2D);
}

void orbPipeline::presentFrame() const { swapWindowBuffers(); }

orbOverlayFX orbOverlayFX::create() {
  if (!pipelineSet) fatalError("orbOverlayFX", "Rendering Pipeline was not set when FX were initialized");
  orbOverlayFX effect;
  effect.textureName_ = pipelineTextureName;
  effect.textureSize_ = pipelineTextureSize;
  return effect;
}

void orbOverlayFX::beginEffect() const {
  glPushAttrib(GL_ENABLE_BIT);
  glPushMatrix();
  glEnable(GL_TEXTURE_2D);
  loadOrthographic(windowWidth(), windowHeight(), 1.1);
  glBindTexture(GL_TEXTURE_2D, textureName_);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_DEPTH_TEST);
}

void orbOverlayFX::zoomBlur(std::int32_t passes, float spread, float alpha) const {
  beginEffect();
  const float W = static_cast<float>(windowWidth());
  const float H = static_cast<float>(windowHeight());
  const float S = static_cast<float>(textureSize_);
  const float step = passes > 0 ? alpha / static_cast<float>(passes) : 0.0f;
  float a = alpha;
  for (std::int32_t i = 1; i <= passes; ++i) {
    const float o = spread * static_cast<float>(i) / 100.0f;
    glColor4f(1.0f, 1.0f, 1.0f, a);
    glBegin(GL_QUADS);
    glTexCoord2f(o, H / S - o);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(o, o);
    glVertex2f(0.0f, H);
    glTexCoord2f(W / S - o, o);
    glVertex2f(W, H);
    glTexCoord2f(W / S - o, H / S - o);
    glVertex2f(W, 0.0f);
    glEnd();
    a -= step;
  }
  glPopMatrix();
  glPopAttrib();
}

void orbOverlayFX::spinBlur(std::int32_t passes, float spread, float angleStep, float alpha) const {
  beginEffect();
  const std::int32_t width = windowWidth();
  const std::int32_t height = windowHeight();
  const float W = static_cast<float>(width);
  const float H = static_cast<float>(height);
  const float S = static_cast<float>(textureSize_);
  const float step = passes > 0 ? alpha / static_cast<float>(passes) : 0.0f;
  float a = alpha;
  float angle = 0.0f;
  const float hw = static_cast<float>(width / 2);
  const float hh = static_cast<float>(height / 2);
  glTranslatef(hw, hh, 0.0f);
  for (std::int32_t i = 1; i <= passes; ++i) {
    const float o = spread * static_cast<float>(i) / 100.0f;
    glColor4f(1.0f, 1.0f, 1.0f, a);
    glRotatef(angle, 0.0f, 0.0f, 1.0f);  // accumulates: the matrix is not reset between passes
    glBegin(GL_QUADS);
    glTexCoord2f(o, H / S - o);
    glVertex2f(-hw, -hh);
    glTexCoord2f(o, o);
    glVertex2f(-hw, hh);
    glTexCoord2f(W / S - o, o);
    glVertex2f(hw, hh);
    glTexCoord2f(W / S - o, H / S - o);
    glVertex2f(hw, -hh);
    glEnd();
    a -= step;
    angle += angleStep;
  }
  glPopMatrix();
  glPopAttrib();
}
