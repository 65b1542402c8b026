// Placeholders until these scenes are drawn.
#include "scenes/scene_list.h"

void scene11Enter() {}
void scene11Render() {}
void scene11Update() {}
void scene12Enter() {}
void scene12Render() {}
void scene12Update() {}
void scene13Enter() {}
void scene13Render() {}
void scene13Update() {}
