// The rendering pipeline (per-frame framing: projection reset and clear,
// capture of the frame into a square render texture and its full-screen
// redraw, buffer swap) and the overlay effects that draw layered, zoomed and
// optionally turned copies of the captured frame: a radial blur.
//
// W × H is the window's size (engine/window.h), S the render texture's edge:
// the smallest power of two that is at least the size asked for and covers
// both W and H (1024 for every window up to 1024 × 1024, 2048 at 1280 × 960),
// so the whole frame is always captured. The captured frame occupies texture
// coordinates 0 … W/S by 0 … H/S, t = 0 at the window's bottom row.
//
// GL state left behind:
//   beginFrame        projection = perspective(45°, W/H, 0.1, 100); GL_MODELVIEW
//                     selected, identity; colour and depth cleared.
//   captureAndRedraw  projection = glOrtho(0, W, H, 0, -1, 1); GL_MODELVIEW
//                     selected, identity; colour (1, 1, 1, 1); GL_TEXTURE_2D
//                     disabled, the render texture still bound. Blending,
//                     depth test and every other state are used as found.
//   zoomBlur/spinBlur projection = glOrtho(0, W, H, 0, -1, 1.1); GL_MODELVIEW
//                     selected; the enables (texturing, blending, depth test)
//                     restored; the matrix pushed on entry is popped from the
//                     model-view stack, so call them with GL_MODELVIEW selected
//                     (as every scene does) to get the model-view back; blend function
//                     GL_SRC_ALPHA / GL_ONE_MINUS_SRC_ALPHA; current colour the
//                     last pass's; the render texture bound.
// The effects draw nothing with passes <= 0.
#pragma once

#include <cstdint>

#include "engine/texture.h"

class orbPipeline {
 public:
  std::int32_t textureSize = 0;
  orbRenderTexture renderTexture;

  // An S × S render texture (4 components, GL_RGBA, not mipmapped), S =
  // renderTextureSize(size, W, H) for the window's current size. Marks the
  // pipeline as set for orbOverlayFX::create.
  static orbPipeline create(std::int32_t size);

  void beginFrame() const;
  void captureAndRedraw() const;
  // Swaps the window's buffers.
  void presentFrame() const;
};

class orbOverlayFX {
 public:
  // Fatal ("orbOverlayFX", "Rendering Pipeline was not set when FX were
  // initialized") before any pipeline was created. The effect draws from the
  // render texture of the pipeline created last before it.
  static orbOverlayFX create();

  // passes layers; pass i (1-based) cuts spread × i / 100 texture units from
  // each side and is drawn with opacity alpha × (passes − i + 1) / passes.
  void zoomBlur(std::int32_t passes, float spread, float alpha) const;
  // As zoomBlur, each pass drawn about the screen centre, turned by
  // angleStep × i × (i − 1) / 2 degrees (the rotations accumulate).
  void spinBlur(std::int32_t passes, float spread, float angleStep, float alpha) const;

  GLuint textureName() const { return textureName_; }

 private:
  GLuint textureName_ = 0;
  std::int32_t textureSize_ = 0;

  void beginEffect() const;
};

// Whether a pipeline has been created in this process.
bool pipelineIsSet();

// Rehearsal: frames that are run for the state they leave, not for their
// pixels (catching up a start inside the show). While on, captureAndRedraw
// does everything but copy the screen into the render texture: its texels
// are read only after a capture in the same frame, so a frame that draws
// nothing needs none. Off by default.
void setPipelineRehearsal(bool on);

// The smallest power of two that is >= size, >= width and >= height (at
// least 1; sides above 2^30 give 2^30).
std::int32_t renderTextureSize(std::int32_t size, std::int32_t width, std::int32_t height);
