// Placeholders until these scenes are drawn.
#include "scenes/scene_list.h"

void scene02Enter() {}
void scene02Render() {}
void scene02Update() {}
void scene03Enter() {}
void scene03Render() {}
void scene03Update() {}
void scene04Enter() {}
void scene04Render() {}
void scene04Update() {}
void scene05Enter() {}
void scene05Render() {}
void scene05Update() {}
void scene06Enter() {}
void scene06Render() {}
void scene06Update() {}
void scene07Enter() {}
void scene07Render() {}
void scene07Update() {}
