// Scene11: the star-grid background alone.
#include <GL/gl.h>

#include "scenes/common.h"
#include "scenes/scene_list.h"
#include "scenes/scenes_b_common.h"

void scene11Enter() {
  if (scene::alreadyEntered(110)) return;
  scene::standardSetup(false, 0.3f, 0.0f, 0.0f);
}

void scene11Render() {
  scene::starGridBackground({});
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

void scene11Update() {}
