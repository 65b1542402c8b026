// The pictures drawn by our own code, one function each (the flower, the
// heightmap and the glow come from synthesizer command lists under
// assets/synth/). Each returns a fresh picture that depends on nothing but
// its code, so every run gives the same bytes.
#pragma once

#include "forge.h"
#include "text.h"

namespace forge {

Image makeStar();        // star: gold rays around a white core, over a field of dust
Image makeStarAlpha();   // star_alpha: the star's mask, grey
Image makeFiveborder();  // fiveborder: five nested frame lines on black
Image makeHandsup();     // handsup: raised hands, white on black
// Scene05's sheet puts texture row v = j / 80 upward on the screen, unlike
// every other quad of the show, so the pictures it shows (the flower it starts
// with and the greetings) are stored upside down to read upright from the
// front. True for those names.
bool storedFlipped(const std::string& name);
// Turns a picture upside down (first row last).
void flipVertically(Image& image);

// The logo and the loading picture carry lettering, so they need the fonts.
bool makeLogo(Typesetter& ts, Image& colour, Image& alpha, std::string* reason);
bool makeLoading(Typesetter& ts, Image& out, std::string* reason);

}  // namespace forge
