// Ground shadow: a flat disc of triangles under the character, black and
// opaque towards the middle, fading to nothing at its rim, drawn with a blend
// that only darkens what is already on screen.
//
// The application creates the global `girl_shadow` once at start-up, the frame
// update draws it after the character and the shutdown frees it. A zero-filled
// record is a valid empty shadow.
#pragma once

#include <cstdint>

struct SimpleShadow {
  int vertexCount;  // 2 * segments + 1
  int indexCount;   // 9 * segments
  float innerRadius;
  float outerRadius;
  float* positions;   // vertexCount x (x, y, z)
  uint16_t* indices;  // indexCount, triangles
  uint8_t* colours;   // vertexCount x (R, G, B, A)
};

// Builds (or rebuilds) the disc in the plane y = height; segments <= 0 means 32.
// Centre alpha 204, inner ring 153, outer ring 0, so the ground keeps 20 %,
// 40 % and all of its brightness there.
void SimpleShadowCreate(SimpleShadow* shadow, int segments, float height, int innerRadius, float outerRadius);
// One indexed draw with glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA); leaves
// blending and the vertex and colour arrays off. A shadow never built draws nothing.
void SimpleShadowDraw(SimpleShadow* shadow);
// Releases the arrays; safe on an empty shadow and twice.
void SimpleShadowFree(SimpleShadow* shadow);

extern SimpleShadow girl_shadow;
