// A texture's mipmap levels, made by our code instead of the driver's.
//
// Asked to generate the levels of an RGBA texture (GL_GENERATE_MIPMAP),
// Mesa makes each from the one above in a slow general path, some 30 ms a
// start for the room's pictures and hers. Its rule is simple: a texel is the
// rounded mean, (x + y + 1) >> 1, of the rounded means of its two pairs of
// texels, each pair side by side on a row (a side of 1 pairs a texel with
// itself). Made here by that rule, with one vector instruction per four
// channels, the levels are the same bytes (a test holds them to the
// driver's), and a texture made a band of rows at a time gets its levels a
// band at a time too.
//
// Callers: the texture uploads (texture/gamelib.cpp), with the texture bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Uploads levels 1 and on of the texture bound to GL_TEXTURE_2D as rows of
// its level 0 (w x h, powers of two) come in, top row first: each band of
// rows makes the rows of the other levels it completes, uploaded with
// glTexSubImage2D. With `define` the levels are given their storage first
// (glTexImage2D without pixels); without, the texture has them already.
class MipChain {
 public:
  MipChain(int width, int height, bool define);
  // The next `rows` rows of level 0 (4 bytes a texel).
  void AddRows(const uint8_t* rgba, int rows);

 private:
  struct Level {
    int width = 0, height = 0;
    std::vector<uint8_t> pending;  // a row waiting for the one under it
    bool hasPending = false;
    std::vector<uint8_t> made;  // rows made since the last upload
    int firstMade = 0, rowsMade = 0;
  };
  void AddRow(size_t level, const uint8_t* row);
  std::vector<Level> levels_;  // levels_[0] is level 0 (only its size is used)
};
