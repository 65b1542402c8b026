// The procedures of Scene01 … Scene13. A scene whose update does no work
// registers an empty procedure.
#pragma once

#define VOLTRA_SCENE_PROCS(n) \
  void scene##n##Enter();     \
  void scene##n##Render();    \
  void scene##n##Update();

VOLTRA_SCENE_PROCS(01)
VOLTRA_SCENE_PROCS(02)
VOLTRA_SCENE_PROCS(03)
VOLTRA_SCENE_PROCS(04)
VOLTRA_SCENE_PROCS(05)
VOLTRA_SCENE_PROCS(06)
VOLTRA_SCENE_PROCS(07)
VOLTRA_SCENE_PROCS(08)
VOLTRA_SCENE_PROCS(09)
VOLTRA_SCENE_PROCS(10)
VOLTRA_SCENE_PROCS(11)
VOLTRA_SCENE_PROCS(12)
VOLTRA_SCENE_PROCS(13)

#undef VOLTRA_SCENE_PROCS
