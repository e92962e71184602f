// What the GL surface's own files share, in both builds (surface/EAGLView_*.cpp).
// Not for any other caller.
#pragma once

#include <cstdint>
#include <vector>

namespace eagl {

// Pixels of a dimension given in points times the scale, rounded; -1 when
// it is negative, not a number or absurdly large.
int RoundDimension(float v);

// The width x height pixels at (x, y) of the bound framebuffer, RGBA, as GL
// reads them (bottom row first); false on a GL error.
bool ReadBottomUp(int x, int y, int width, int height, std::vector<uint8_t>& raw);

}  // namespace eagl
