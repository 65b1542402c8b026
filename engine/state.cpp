#include "engine/state.h"

StartupSettings settings;
std::int32_t currentTime = 0;
std::array<float, spectrumSize> spectrum{};
