// The shared render objects' life: the loading screen, their creation during
// start-up, the per-frame pipeline calls, and their disposal at shutdown
// (placeholder bodies until the render objects land).
#pragma once

// First GL state, textures 0 and 5.
void loadingScreenInit();
// Draws one loading-screen frame at fraction 0 … 1 and swaps.
void loadingProgress(double fraction);
// Particle containers, light, materials, camera, the texture table and the
// terrain, with the loading frames 0.1 … 0.5 between them.
void createSharedObjects();
// The pipeline and the overlay effect.
void createPipelineAndOverlay();

// The frame's pipeline steps.
void pipelineBeginFrame();
void pipelineCaptureAndRedraw();
void pipelinePresentFrame();

// Textures, camera, light, materials and particle containers, in that order.
void disposeSharedObjects();
