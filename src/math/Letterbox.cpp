#include "math/Letterbox.h"

#include <algorithm>
#include <cmath>

LetterboxRect Letterbox(int w, int h, float aspect) {
  if (w <= 0 || h <= 0 || !(aspect > 0))
    return {0, 0, static_cast<float>(std::max(w, 0)), static_cast<float>(std::max(h, 0))};
  float bw = static_cast<float>(w), bh = static_cast<float>(h);
  if (w > h * aspect)
    bw = std::max(1.0f, std::round(h * aspect));
  else
    bh = std::max(1.0f, std::round(w / aspect));
  return {std::floor((w - bw) / 2), std::floor((h - bh) / 2), bw, bh};
}
