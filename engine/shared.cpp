#include "engine/shared.h"

const std::array<TextureSlotInfo, textureSlotCount> textureTable = {{
    {"data/loading.kpx", 3, false, noAlphaSource},
    {"data/heightmap.kpx", 3, true, noAlphaSource},
    {"data/fiveborder.kpx", 4, true, tex::fiveborder},
    {"data/handsup.kpx", 4, true, tex::handsup},
    {"data/voltra_alpha.kpx", 3, true, noAlphaSource},
    {"data/voltra.kpx", 4, true, tex::voltra_alpha},
    {"data/text1_1.kpx", 4, true, tex::text1_1},
    {"data/text1_2.kpx", 4, true, tex::text1_2},
    {"data/text1_3.kpx", 4, true, tex::text1_3},
    {"data/text1_4.kpx", 4, true, tex::text1_4},
    {"data/Text2_1.kpx", 4, true, tex::Text2_1},
    {"data/Text2_2.kpx", 4, true, tex::Text2_2},
    {"data/Text2_3.kpx", 4, true, tex::Text2_3},
    {"data/Text2_4.kpx", 4, true, tex::Text2_4},
    {"data/Text2_5.kpx", 4, true, tex::Text2_5},
    {"data/text3_1.kpx", 4, true, tex::text3_1},
    {"data/Text3_2.kpx", 4, true, tex::Text3_2},
    {"data/Text3_3.kpx", 4, true, tex::Text3_3},
    {"data/Text3_4.kpx", 4, true, tex::Text3_4},
    {"data/Text3_5.kpx", 4, true, tex::Text3_5},
    {"data/Text3_6.kpx", 4, true, tex::Text3_6},
    {"data/Text3_7.kpx", 4, true, tex::Text3_7},
    {"data/Text4_1.kpx", 4, true, tex::Text4_1},
    {"data/Text4_2.kpx", 4, true, tex::Text4_2},
    {"data/Text4_3.kpx", 4, true, tex::Text4_3},
    {"data/Text4_4.kpx", 4, true, tex::Text4_4},
    {"data/Text4_5.kpx", 4, true, tex::Text4_5},
    {"data/Text4_6.kpx", 4, true, tex::Text4_6},
    {"data/Text5_1.kpx", 4, true, tex::Text5_1},
    {"data/Text5_2.kpx", 4, true, tex::Text5_2},
    {"data/Text5_3.kpx", 4, true, tex::Text5_3},
    {"data/Text6_1.kpx", 4, true, tex::Text6_1},
    {"data/Text6_2.kpx", 4, true, tex::Text6_2},
    {"data/Text6_3.kpx", 4, true, tex::Text6_3},
    {"data/Text6_4.kpx", 4, true, tex::Text6_4},
    {"data/flower1.kpx", 4, true, tex::flower1},
    {"data/greets_g1.kpx", 4, true, tex::greets_g1},
    {"data/greets_g2.kpx", 4, true, tex::greets_g2},
    {"data/greets_g3.kpx", 4, true, tex::greets_g3},
    {"data/greets_g4.kpx", 4, true, tex::greets_g4},
    {"data/greets_g5.kpx", 4, true, tex::greets_g5},
    {"data/greets_g6.kpx", 4, true, tex::greets_g6},
    {"data/greets_greets.kpx", 4, true, tex::greets_greets},
    {"data/greets_voltra.kpx", 4, true, tex::greets_voltra},
    {"data/greets_g7.kpx", 4, true, tex::greets_g7},
    {"data/star_alpha.kpx", 3, false, noAlphaSource},
    {"data/star.kpx", 4, true, tex::star_alpha},
    {"data/fuckings1.kpx", 4, true, tex::fuckings1},
    {"data/fuckings2.kpx", 4, true, tex::fuckings2},
    {"data/finger.kpx", 3, true, noAlphaSource},
    {"data/credits.kpx", 4, true, tex::credits},
    {"data/credits2.kpx", 4, true, tex::credits2},
    {"data/credits3.kpx", 4, true, tex::credits3},
    {"data/credits4.kpx", 4, true, tex::credits4},
    {"data/credits5.kpx", 4, true, tex::credits5},
}};

std::array<orbTexture, textureSlotCount> textures;
orbLight light;
orbMaterial material1;
orbMaterial material2;
orbCamera camera;
orbParticle particles1;
orbParticle particles2;
orbTerrain terrain;
orbPipeline pipeline;
orbOverlayFX overlayFX;

void bindTexture(tex::Slot slot) { glBindTexture(GL_TEXTURE_2D, textures[slot].glName); }
