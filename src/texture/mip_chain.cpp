#include "texture/mip_chain.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gles/gles.h"

namespace {

inline uint8_t Mean(int a, int b) { return static_cast<uint8_t>((a + b + 1) >> 1); }

// One row of the next level from two rows of w texels (the same row twice
// for a level one row high).
void HalveRows(const uint8_t* upper, const uint8_t* lower, int w, uint8_t* out) {
  if (w == 1) {
    for (int c = 0; c < 4; ++c) out[c] = Mean(upper[c], lower[c]);
    return;
  }
  const int half = w / 2;
  int x = 0;
#if defined(__SSE2__)
  // Four texels of the next level from eight of each row: the even and the
  // odd texels of a row side by side, their means, then the rows' means;
  // _mm_avg_epu8 is (x + y + 1) >> 1 on every byte.
  for (; x + 4 <= half; x += 4) {
    auto pairs = [](const uint8_t* row) {
      const __m128 a = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)));
      const __m128 b = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 16)));
      return _mm_avg_epu8(_mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))),
                          _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
    };
    const __m128i m = _mm_avg_epu8(pairs(upper + 8 * x), pairs(lower + 8 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), m);
  }
#endif
  for (; x < half; ++x)
    for (int c = 0; c < 4; ++c)
      out[4 * x + c] = Mean(Mean(upper[8 * x + c], upper[8 * x + 4 + c]), Mean(lower[8 * x + c], lower[8 * x + 4 + c]));
}

}  // namespace

MipChain::MipChain(int width, int height, bool define) {
  int w = width, h = height;
  levels_.emplace_back();
  levels_.back().width = w, levels_.back().height = h;
  while (w > 1 || h > 1) {
    w = std::max(w / 2, 1);
    h = std::max(h / 2, 1);
    levels_.emplace_back();
    levels_.back().width = w, levels_.back().height = h;
    if (define)
      glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(levels_.size() - 1), GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                   nullptr);
  }
}

void MipChain::AddRow(size_t level, const uint8_t* row) {
  if (level + 1 >= levels_.size()) return;
  Level& l = levels_[level];
  const size_t bytes = static_cast<size_t>(l.width) * 4;
  if (l.height > 1 && !l.hasPending) {
    l.pending.assign(row, row + bytes);
    l.hasPending = true;
    return;
  }
  Level& next = levels_[level + 1];
  const size_t at = next.made.size();
  next.made.resize(at + static_cast<size_t>(next.width) * 4);
  HalveRows(l.height > 1 ? l.pending.data() : row, row, l.width, next.made.data() + at);
  ++next.rowsMade;
  l.hasPending = false;
  AddRow(level + 1, next.made.data() + at);
}

void MipChain::AddRows(const uint8_t* rgba, int rows) {
  const size_t stride = static_cast<size_t>(levels_[0].width) * 4;
  for (int r = 0; r < rows; ++r) AddRow(0, rgba + static_cast<size_t>(r) * stride);
  for (size_t k = 1; k < levels_.size(); ++k) {
    Level& l = levels_[k];
    if (l.rowsMade == 0) continue;
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(k), 0, l.firstMade, l.width, l.rowsMade, GL_RGBA,
                    GL_UNSIGNED_BYTE, l.made.data());
    l.firstMade += l.rowsMade;
    l.rowsMade = 0;
    l.made.clear();
  }
}
