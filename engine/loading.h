// The shared render objects' life: the loading screen, their creation during
// start-up, the per-frame pipeline calls, and their disposal at shutdown.
// The objects themselves are in engine/shared.h. Everything here needs the
// window and its GL context (engine/window.h).
#pragma once

#include "engine/shared.h"

// The first GL state: viewport to the window, projection perspective(45°,
// 4/3, 0.1, 100), model-view identity, clear colour (0.3, 0, 0, 1), smooth
// shading, clear depth 1, depth function GL_LEQUAL, depth test off, perspective
// hint GL_NICEST, colour (1, 1, 1, 1), blending on with GL_SRC_ALPHA / GL_ONE.
// Then texture slot 0 (loading picture) and slot 5 (voltra, its own blue as
// alpha). Nothing later changes the viewport. Their pixel copies are released
// once made (see createSharedObjects).
void loadingScreenInit();

// One loading frame: the loading picture as a quad from (-1, -1) to (1, 1) at
// z = -4 (shifted down 0.3), below it a bar from x = -1 to fraction × 2 - 1,
// y = -0.5 … -0.4, added onto the clear colour; then a buffer swap. Leaves
// GL_TEXTURE_2D disabled with slot 0 bound and the model-view translated.
void loadingProgress(double fraction);

// Start-up, after the loading screen: particle containers, light, materials,
// camera (progress 0.1 before them, 0.2 and 0.3 between), the texture table
// in slot order (0.4), the terrain (0.5). Slot 5 is made again with alpha from
// slot 4; the loading screen's slot-5 texture is disposed when it is replaced.
// Each texture's pixel copy is released as soon as start-up no longer reads
// it: right after its upload, the alpha pictures (slots 4 and 45) after the
// texture that takes their alpha, the heightmap after the terrain. GL keeps
// its own copy, and nothing after start-up reads the pixels; on a software
// renderer the two copies would otherwise hold the textures' memory twice.
// The decoder's working block kept for this thread is freed after the last file.
void createSharedObjects();

// The part of createSharedObjects between progress 0.2 and 0.3: the light,
// the two materials and the camera with their start-up values, the light and
// materials off, the camera active.
void createLightMaterialsAndCamera();

// Threads that decode the texture files ahead of the uploads, from
// loadingScreenInit on (the GL thread decodes as well whenever it would wait).
// 0: every file is decoded on the GL thread when its slot is made; negative:
// one per core beyond the first (the default). The log, the GL names and the
// failures are the same either way.
void setTextureDecodeThreads(int threads);

// Starts decoding the texture files ahead now; needs no window or GL context,
// so the start-up calls it before creating the window and the first files
// decode while the context comes up. loadingScreenInit starts it when this
// was not called (or a start-up before used the files).
void startTextureDecoding();

// Makes slot's texture as the texture table says (alpha operations and the
// second upload for 4 components), disposing what the slot held before.
void loadTextureSlot(int slot);

// The pipeline (1024 render texture) and the overlay effect.
void createPipelineAndOverlay();

// The frame's pipeline steps.
void pipelineBeginFrame();
void pipelineCaptureAndRedraw();
void pipelinePresentFrame();

// Shutdown: textures 0 … 54 in slot order (a "Disposing Texture" block each),
// then camera, light, material 1, material 2, particle containers 1 and 2.
// The terrain, the pipeline and the overlay effect live until the process ends.
void disposeSharedObjects();
