// The pictures drawn by our own code, one function each (the flower, the
// heightmap and the glow come from synthesizer command lists under
// assets/synth/). Each returns a fresh picture that depends on nothing but
// its code, so every run gives the same bytes.
#pragma once

#include "forge.h"
#include "text.h"

namespace forge {

Image makeStar();        // star: gold rays around a white core
Image makeStarAlpha();   // star_alpha: the star's mask, grey
Image makeFiveborder();  // fiveborder: five nested frame lines on black
Image makeHandsup();     // handsup: raised hands, white on black
// The logo and the loading picture carry lettering, so they need the fonts.
bool makeLogo(Typesetter& ts, Image& colour, Image& alpha, std::string* reason);
bool makeLoading(Typesetter& ts, Image& out, std::string* reason);

}  // namespace forge
