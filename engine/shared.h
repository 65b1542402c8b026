// The shared engine objects of the show: one instance each, created by the
// start-up sequence (engine/loading.h), read and changed by the scenes,
// disposed at shutdown. The scenes own none of them.
#pragma once

#include <array>
#include <cstdint>

#include "engine/camera.h"
#include "engine/particle.h"
#include "engine/pipeline.h"
#include "engine/terrain.h"
#include "engine/texture.h"

// Texture slots, named after their files' stems (the case of the files kept).
namespace tex {
enum Slot : int {
  loading, heightmap, fiveborder, handsup, voltra_alpha, voltra,
  text1_1, text1_2, text1_3, text1_4,
  Text2_1, Text2_2, Text2_3, Text2_4, Text2_5,
  text3_1, Text3_2, Text3_3, Text3_4, Text3_5, Text3_6, Text3_7,
  Text4_1, Text4_2, Text4_3, Text4_4, Text4_5, Text4_6,
  Text5_1, Text5_2, Text5_3,
  Text6_1, Text6_2, Text6_3, Text6_4,
  flower1,
  greets_g1, greets_g2, greets_g3, greets_g4, greets_g5, greets_g6,
  greets_greets, greets_voltra, greets_g7,
  star_alpha, star,
  fuckings1, fuckings2,
  finger,
  credits, credits2, credits3, credits4, credits5,
};
}  // namespace tex

inline constexpr int textureSlotCount = 55;

// How start-up makes each slot. A 4-component texture gets alpha 255, then the
// B byte of its alpha source as alpha, then is uploaded again.
inline constexpr int noAlphaSource = -1;
struct TextureSlotInfo {
  const char* fileName;
  std::int32_t components;
  bool mipmapped;
  int alphaSource;  // a slot (the slot itself for a white-on-black mask), or noAlphaSource
};
extern const std::array<TextureSlotInfo, textureSlotCount> textureTable;

extern std::array<orbTexture, textureSlotCount> textures;
inline orbTexture& texture(tex::Slot slot) { return textures[slot]; }
// glBindTexture(GL_TEXTURE_2D, the slot's GL name).
void bindTexture(tex::Slot slot);

extern orbLight light;           // GL_LIGHT0
extern orbMaterial material1;
extern orbMaterial material2;
extern orbCamera camera;
extern orbParticle particles1;   // 200 records; the one the scenes use
extern orbParticle particles2;   // 200 records; unused by the scenes
extern orbTerrain terrain;       // 30 × 30 cells
extern orbPipeline pipeline;     // 1024 render texture
extern orbOverlayFX overlayFX;
