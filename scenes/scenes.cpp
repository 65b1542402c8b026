#include "scenes/scenes.h"

void registerScenes() {}
