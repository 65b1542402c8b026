#include "engine/loading.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <utility>

#include "engine/window.h"

namespace {

// Creates a texture as the table gives it, with alpha from alphaSource.
orbTexture makeTexture(int slot, int alphaSource) {
  const TextureSlotInfo& info = textureTable[slot];
  orbTexture made = orbTexture::create(info.fileName, info.components, info.mipmapped);
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

  loadTextureSlot(tex::loading);
  // The logo is shown before its alpha picture is loaded: its own blue is the mask for now.
  replaceTexture(tex::voltra, makeTexture(tex::voltra, tex::voltra));
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

void createSharedObjects() {
  loadingProgress(0.1);

  particles1 = orbParticle::create(200);
  particles2 = orbParticle::create(200);
  loadingProgress(0.2);

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
  loadingProgress(0.3);

  for (int slot = 1; slot < textureSlotCount; ++slot) loadTextureSlot(slot);
  loadingProgress(0.4);

  terrain = orbTerrain::create(30, 30, 1.0f);
  terrain.loadHeights(texture(tex::heightmap), 3.0f);
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
