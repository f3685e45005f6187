#pragma once
// The simulated camera's picture: a door in a wall, a clock whose hand turns and a frame
// counter, so that every still differs from the one before.

#include <cstdint>
#include <vector>

namespace vantorel::camsim {

// Red-green-blue pixels, rows top to bottom, for frame number `frame`.
std::vector<uint8_t> RenderScene(uint64_t frame, int width, int height);

}  // namespace vantorel::camsim
