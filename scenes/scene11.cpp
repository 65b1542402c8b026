// Scene11: the star-grid background alone.
//
// GL state: enter sets the dark red clear colour and switches the light and
// materials off, camera untouched. render leaves GL_BLEND off, GL_DEPTH_TEST
// on and the rest as scenes_b_common.h says. Nothing here fails.
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
