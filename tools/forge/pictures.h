// The procedural pictures, one function each. Each returns a fresh picture
// that depends on nothing but its code, so every run gives the same bytes.
#pragma once

#include "forge.h"
#include "text.h"

namespace forge {

Image makeFlower();      // flower1: white-pink flower on black (its own mask)
Image makeStar();        // star: gold rays around a white core
Image makeStarAlpha();   // star_alpha: the star's mask, grey
Image makeHeightmap();   // heightmap: 32 × 32 grey hills (the terrain reads green)
Image makeFinger();      // finger: violet glow behind the scroller panels
Image makeFiveborder();  // fiveborder: five nested frame lines on black
Image makeHandsup();     // handsup: raised hands, white on black
// The logo and the loading picture carry lettering, so they need the fonts.
bool makeLogo(Typesetter& ts, Image& colour, Image& alpha, std::string* reason);
bool makeLoading(Typesetter& ts, Image& out, std::string* reason);

}  // namespace forge
