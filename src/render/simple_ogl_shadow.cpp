#include "render/simple_ogl_shadow.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "gles/gl_check.h"

SimpleShadow girl_shadow;

void SimpleShadowCreate(SimpleShadow* shadow, int segments, float h, int r1, float r2) {
  SimpleShadowFree(shadow);
  // Above this the 16-bit indices would wrap and point at the wrong vertices.
  const int kMaxSegments = 32767;
  int s = segments <= 0 ? 32 : segments;
  if (s > kMaxSegments) {
    std::fprintf(stderr, "Shadow: %d segments is too many, using %d\n", s, kMaxSegments);
    s = kMaxSegments;
  }
  shadow->vertexCount = 2 * s + 1;
  shadow->indexCount = 9 * s;
  shadow->indices = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * 9 * s));
  shadow->positions = static_cast<float*>(std::malloc(sizeof(float) * 3 * shadow->vertexCount));
  shadow->colours = static_cast<uint8_t*>(std::calloc(shadow->vertexCount, 4));
  shadow->innerRadius = static_cast<float>(r1);
  shadow->outerRadius = r2;
  if (!shadow->indices || !shadow->positions || !shadow->colours) {
    std::fprintf(stderr, "Shadow: out of memory for %d segments\n", s);
    SimpleShadowFree(shadow);
    return;
  }

  float* p = shadow->positions;
  uint8_t* c = shadow->colours;
  p[0] = 0.0f;
  p[1] = h;
  p[2] = 0.0f;
  c[3] = 204;

  const float step = static_cast<float>(6.283185307179586 / s);
  for (int i = 0; i < s; ++i) {
    const float a = step * static_cast<float>(i);
    float* inner = p + 3 * (1 + i);
    inner[0] = static_cast<float>(std::cos(static_cast<double>(a)) * r1);
    inner[1] = h;
    inner[2] = static_cast<float>(std::sin(static_cast<double>(a)) * r1);
    c[4 * (1 + i) + 3] = 153;

    // The outer ring is turned back by half a segment, so the ring triangles
    // fan out evenly instead of forming radial slivers.
    const float b = static_cast<float>(static_cast<double>(a) + static_cast<double>(step) * -0.5);
    float* outer = p + 3 * (s + 1 + i);
    outer[0] = static_cast<float>(std::cos(static_cast<double>(b)) * r2);
    outer[1] = h;
    outer[2] = static_cast<float>(std::sin(static_cast<double>(b)) * r2);
    // Outer alpha stays 0 from calloc.
  }

  uint16_t* idx = shadow->indices;
  auto next = [s](int k) { return k < s ? k + 1 : 1; };
  for (int k = 1; k <= s; ++k) {
    *idx++ = 0;
    *idx++ = static_cast<uint16_t>(k);
    *idx++ = static_cast<uint16_t>(next(k));
  }
  for (int k = 1; k <= s; ++k) {
    *idx++ = static_cast<uint16_t>(k);
    *idx++ = static_cast<uint16_t>(s + k);
    *idx++ = static_cast<uint16_t>(s + next(k));
    *idx++ = static_cast<uint16_t>(k);
    *idx++ = static_cast<uint16_t>(s + next(k));
    *idx++ = static_cast<uint16_t>(next(k));
  }
}

void SimpleShadowDraw(SimpleShadow* shadow) {
  if (!shadow || !shadow->positions || !shadow->indices || !shadow->colours) return;
  glEnable(GL_BLEND);
  glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glColorPointer(4, GL_UNSIGNED_BYTE, 4, shadow->colours);
  glVertexPointer(3, GL_FLOAT, 0, shadow->positions);
  GL_CHECK();
  glDrawElements(GL_TRIANGLES, shadow->indexCount, GL_UNSIGNED_SHORT, shadow->indices);
  GL_CHECK();
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisable(GL_BLEND);
}

void SimpleShadowFree(SimpleShadow* shadow) {
  if (!shadow) return;
  if (shadow->positions) {
    std::free(shadow->positions);
    shadow->positions = nullptr;
  }
  if (shadow->indices) {
    std::free(shadow->indices);
    shadow->indices = nullptr;
  }
  if (shadow->colours) {
    std::free(shadow->colours);
    shadow->colours = nullptr;
  }
}
