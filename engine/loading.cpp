#include "engine/loading.h"

#include <GL/gl.h>

#include "engine/window.h"

void loadingScreenInit() {
  glViewport(0, 0, windowWidth(), windowHeight());
  glClearColor(0.3f, 0.0f, 0.0f, 1.0f);
}
void loadingProgress(double) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  swapWindowBuffers();
}
void createSharedObjects() {
  loadingProgress(0.1);
  loadingProgress(0.2);
  loadingProgress(0.3);
  loadingProgress(0.4);
  loadingProgress(0.5);
}
void createPipelineAndOverlay() {}
void pipelineBeginFrame() { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }
void pipelineCaptureAndRedraw() {}
void pipelinePresentFrame() { swapWindowBuffers(); }
void disposeSharedObjects() {}
