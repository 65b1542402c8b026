// Natural-looking synthetic pictures (value-noise landscapes, shaded objects,
// clouds) for the codec's tests, benchmarks and quality tables: smooth
// gradients, soft and hard edges, fine texture and a little sensor noise,
// the same on every machine for the same arguments.
#pragma once

#include "png_io.h"

namespace kpx {

enum class Scene { landscape, objects, clouds };

// An RGB picture of the given size; never fails for sizes >= 1.
Picture syntheticPicture(Scene scene, int width, int height, unsigned seed);

const char* sceneName(Scene scene);

}  // namespace kpx
