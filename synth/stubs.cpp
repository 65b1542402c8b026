// Placeholder bodies; replaced group by group.
#include "synth/operations.h"

namespace synth {

void addLayers(Synth&, int, int, int, float, float) {}
void mulLayers(Synth&, int, int, int, float, float) {}
void randCombineLayers(Synth&, int, int, int, float, float) {}
void minCombineLayers(Synth&, int, int, int, float, float) {}
void maxCombineLayers(Synth&, int, int, int, float, float) {}
void xorLayers(Synth&, int, int, int, float, float) {}
void orLayers(Synth&, int, int, int, float, float) {}
void andLayers(Synth&, int, int, int, float, float) {}
void scaleLayerRGB(Synth&, int, int, float, float, float) {}
void scaleLayerHSV(Synth&, int, int, float, float, float) {}
void adjustLayerRGB(Synth&, int, int, int, int, int) {}
void adjustLayerHSV(Synth&, int, int, float, float, float) {}
void sineLayerRGB(Synth&, int, int, float, float, float) {}
void equalizeRGB(Synth&, int, int) {}
void stretchRGB(Synth&, int, int) {}
void invertLayer(Synth&, int, int) {}
void woodLayer(Synth&, int, int, int) {}
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
void rgbToHsv(float, float, float, float&, float&, float&) {}
void hsvToRgb(float, float, float, float&, float&, float&) {}

}  // namespace synth
