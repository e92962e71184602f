// The plain per-vertex blend, written exactly as the weighted transform is
// defined: for every slot, transform the point by the palette matrix, scale
// by the weight, add. The shipped skinning must give bit-identical results;
// the benchmark measures how much faster it is on the same vertices.
#pragma once

#include <cstdint>
#include <cstring>

#include "math/Matrix.h"
#include "math/Vector.h"

inline void ReferenceWeightedTransform(VECTOR3* out, int outStride, const VECTOR3* in, int inStride, int count,
                                       const unsigned char* bones, int boneStride, const float* weights,
                                       int weightStride, int slots, const MATRIX* palette, bool direction) {
  auto* o = reinterpret_cast<uint8_t*>(out);
  auto* i = reinterpret_cast<const uint8_t*>(in);
  auto* w = reinterpret_cast<const uint8_t*>(weights);
  for (int v = 0; v < count; ++v) {
    float p[3];
    std::memcpy(p, i + static_cast<long>(v) * inStride, sizeof(p));
    float sx = 0.0f, sy = 0.0f, sz = 0.0f;
    for (int b = 0; b < slots; ++b) {
      const MATRIX& M = palette[bones[static_cast<long>(v) * boneStride + b]];
      float wt;
      std::memcpy(&wt, w + static_cast<long>(v) * weightStride + 4 * b, sizeof(wt));
      float x = p[0] * M.f[0] + p[1] * M.f[4] + p[2] * M.f[8];
      float y = p[0] * M.f[1] + p[1] * M.f[5] + p[2] * M.f[9];
      float z = p[0] * M.f[2] + p[1] * M.f[6] + p[2] * M.f[10];
      if (!direction) {
        x = x + M.f[12];
        y = y + M.f[13];
        z = z + M.f[14];
      }
      sx = sx + wt * x;
      sy = sy + wt * y;
      sz = sz + wt * z;
    }
    const float r[3] = {sx, sy, sz};
    std::memcpy(o + static_cast<long>(v) * outStride, r, sizeof(r));
  }
}
