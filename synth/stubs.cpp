// Placeholder bodies; replaced group by group.
#include "synth/operations.h"

namespace synth {

void embossLayer(Synth&, int, int) {}
void blurLayer(Synth&, int, int) {}
void sharpenLayer(Synth&, int, int) {}
void edgeHLayer(Synth&, int, int) {}
void edgeVLayer(Synth&, int, int) {}
void motionBlur(Synth&, int, int, int) {}
void makeTilable(Synth&, int, int, int) {}
void medianLayer(Synth&, int, int) {}
void sculptureLayer(Synth&, int, int) {}
void erodeLayer(Synth&, int, int) {}
void dilateLayer(Synth&, int, int) {}
void sineDistort(Synth&, int, int, float, float, float, float) {}
void twirlLayer(Synth&, int, int, float, float) {}
void mapDistort(Synth&, int, int, int, float, float) {}
void tileLayer(Synth&, int, int) {}
void noiseDistort(Synth&, int, int, int, int) {}
void moveDistort(Synth&, int, int, int, int) {}
void kaleidLayer(Synth&, int, int, int) {}
void tunnelDistort(Synth&, int, int, float) {}
void logPolLayer(Synth&, int, int) {}

}  // namespace synth
