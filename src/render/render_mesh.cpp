#include "render/render_mesh.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define OVANTA_SKIN_AVX 1
#endif

#include "gles/gl_check.h"
#include "render/env_light.h"
#include "scene/ModelPOD.h"
#include "texture/gamelib.h"
#include "texture/texture_library.h"

// ---------------------------------------------------------------------------
// Drawing

alignas(16) MATRIX matrix_palette[kMatrixPaletteSize];

namespace {

// Four floats in one SSE register; lane k of a palette column is element
// 4 * column + k, so lanes 0..2 give x', y', z' with exactly the scalar
// operation order ((x*M0 + y*M4) + z*M8) + M12 and the same rounding.
typedef float v4f __attribute__((vector_size(16)));

inline v4f LoadColumn(const MATRIX& m, int column) {
  v4f c;
  std::memcpy(&c, &m.f[4 * column], sizeof(c));
  return c;
}

inline float LoadFloat(const uint8_t* at) {
  float f;
  std::memcpy(&f, at, sizeof(f));
  return f;
}

// Lanes 0..2 to 12 bytes at `at`: the first two lanes in one 8-byte store.
inline void StoreXyz(uint8_t* at, v4f v) {
  const float z = v[2];
  std::memcpy(at, &v, 8);
  std::memcpy(at + 8, &z, sizeof(z));
}

// What to blend: points, directions or both (a null output skips that
// stream), with the per-vertex bone bytes and weights. Strides in bytes.
struct BlendJob {
  uint8_t* pout;  // null: no points
  int poutStride;
  const uint8_t* pin;
  int pinStride;
  uint8_t* nout;  // null: no directions
  int noutStride;
  const uint8_t* nin;
  int ninStride;
  const uint8_t* bones;
  int boneStride;
  const uint8_t* weights;
  int weightStride;
  int slots;
  bool skipZero;  // may leave out zero-weight slots (see SkinMeshP)
};

// How many of the vertex's first slots are blended: all of them, or with
// kSkip those up to its last non-zero weight, but at least two. Zero weights
// before that are blended like the others; always doing two slots keeps the
// branches predictable on a mesh that mixes one- and two-bone vertices.
template <int kSlots, bool kSkip>
inline int SlotsToBlend(const uint8_t* weights, int slots) {
  const int n = kSlots > 0 ? kSlots : slots;
  if (!kSkip) return n;
  int used = n < 2 ? n : 2;
  for (int b = 2; b < n; ++b) {
    float w;
    std::memcpy(&w, weights + 4 * b, sizeof(w));
    used = w != 0.0f ? b + 1 : used;
  }
  return used;
}

// One vertex: blends the point and/or the direction by its slots. The
// accumulators start at +0 and take the weighted terms in slot order, exactly
// as the definition adds them, so the results are bit-identical to it.
// kSlots > 0 fixes the slot count at compile time so the loop unrolls.
// kSkip leaves out trailing zero-weight slots; true when it did.
template <int kSlots, bool kPoint, bool kNormal, bool kSkip>
inline bool BlendVertex(uint8_t* pout, const uint8_t* pin, uint8_t* nout, const uint8_t* nin, const uint8_t* bones,
                        const uint8_t* weights, int slots) {
  // Coordinate by coordinate: through a float array the compiler goes round
  // the stack.
  const float px = kPoint ? LoadFloat(pin) : 0.0f, py = kPoint ? LoadFloat(pin + 4) : 0.0f,
              pz = kPoint ? LoadFloat(pin + 8) : 0.0f;
  const float qx = kNormal ? LoadFloat(nin) : 0.0f, qy = kNormal ? LoadFloat(nin + 4) : 0.0f,
              qz = kNormal ? LoadFloat(nin + 8) : 0.0f;
  v4f accP = {0.0f, 0.0f, 0.0f, 0.0f}, accN = {0.0f, 0.0f, 0.0f, 0.0f};
  const int n = kSlots > 0 ? kSlots : slots;
  const int used = SlotsToBlend<kSlots, kSkip>(weights, slots);
  for (int b = 0; b < n; ++b) {
    if (kSkip && b >= used) break;
    // The mask never changes a valid index (all are below 64) and keeps a
    // damaged one inside the palette.
    const MATRIX& m = matrix_palette[bones[b] & (kMatrixPaletteSize - 1)];
    float w;
    std::memcpy(&w, weights + 4 * b, sizeof(w));
    const v4f c0 = LoadColumn(m, 0), c1 = LoadColumn(m, 1), c2 = LoadColumn(m, 2);
    if (kPoint) {
      v4f t = px * c0 + py * c1;
      t = t + pz * c2;
      t = t + LoadColumn(m, 3);
      accP = accP + w * t;
    }
    if (kNormal) {
      v4f t = qx * c0 + qy * c1;
      t = t + qz * c2;
      accN = accN + w * t;
    }
  }
  if (kPoint) StoreXyz(pout, accP);
  if (kNormal) StoreXyz(nout, accN);
  return used < n;
}

// Returns whether any slot was left out.
template <int kSlots, bool kPoint, bool kNormal, bool kSkip>
bool BlendLoop(const BlendJob& j, long first, long end) {
  uint8_t* pout = kPoint ? j.pout + first * j.poutStride : nullptr;
  const uint8_t* pin = kPoint ? j.pin + first * j.pinStride : nullptr;
  uint8_t* nout = kNormal ? j.nout + first * j.noutStride : nullptr;
  const uint8_t* nin = kNormal ? j.nin + first * j.ninStride : nullptr;
  const uint8_t* bones = j.bones + first * j.boneStride;
  const uint8_t* weights = j.weights + first * j.weightStride;
  bool leftOut = false;
  for (long k = first; k < end; ++k) {
    leftOut |= BlendVertex<kSlots, kPoint, kNormal, kSkip>(pout, pin, nout, nin, bones, weights, j.slots);
    if (kPoint) {
      pout += j.poutStride;
      pin += j.pinStride;
    }
    if (kNormal) {
      nout += j.noutStride;
      nin += j.ninStride;
    }
    bones += j.boneStride;
    weights += j.weightStride;
  }
  return leftOut;
}

template <bool kPoint, bool kNormal, bool kSkip>
bool BlendSlotsAs(const BlendJob& j, long first, long end) {
  switch (j.slots) {
    case 1:
      return BlendLoop<1, kPoint, kNormal, kSkip>(j, first, end);
    case 2:
      return BlendLoop<2, kPoint, kNormal, kSkip>(j, first, end);
    case 3:
      return BlendLoop<3, kPoint, kNormal, kSkip>(j, first, end);
    case 4:
      return BlendLoop<4, kPoint, kNormal, kSkip>(j, first, end);
    default:
      return BlendLoop<0, kPoint, kNormal, kSkip>(j, first, end);
  }
}

template <bool kPoint, bool kNormal>
bool BlendSlots(const BlendJob& j, long first, long end) {
  return j.skipZero ? BlendSlotsAs<kPoint, kNormal, true>(j, first, end)
                    : BlendSlotsAs<kPoint, kNormal, false>(j, first, end);
}

#ifdef OVANTA_SKIN_AVX
// Chosen at run time on CPUs with AVX: about twice the vertices per second of
// the four-lane code, with the same bits.
__attribute__((target("avx"))) inline __m256 Pair(__m128 low, __m128 high) {
  return _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
}

// One vertex in eight lanes: the point in lanes 0..3, the direction in lanes
// 4..7. Each palette column is loaded into both halves with one broadcast;
// the translation column only into the point's half (the other half is
// zero, and x + 0 only turns -0 into +0, which cannot show in a sum that
// starts at +0). Per lane the operations are those of BlendVertex, in the
// same order, so the bits are the same.
template <int kSlots, bool kSkip>
__attribute__((target("avx"))) bool BlendPointNormalAvx(const BlendJob& j, long first, long end) {
  const int n = kSlots > 0 ? kSlots : j.slots;
  const uint8_t* pin = j.pin + first * j.pinStride;
  const uint8_t* nin = j.nin + first * j.ninStride;
  uint8_t* pout = j.pout + first * j.poutStride;
  uint8_t* nout = j.nout + first * j.noutStride;
  const uint8_t* bones = j.bones + first * j.boneStride;
  const uint8_t* weights = j.weights + first * j.weightStride;
  bool leftOut = false;
  for (long k = first; k < end; ++k) {
    // Each coordinate straight from the arrays into both halves (through a
    // float array the compiler goes round the stack).
    const __m256 x = Pair(_mm_set1_ps(LoadFloat(pin)), _mm_set1_ps(LoadFloat(nin)));
    const __m256 y = Pair(_mm_set1_ps(LoadFloat(pin + 4)), _mm_set1_ps(LoadFloat(nin + 4)));
    const __m256 z = Pair(_mm_set1_ps(LoadFloat(pin + 8)), _mm_set1_ps(LoadFloat(nin + 8)));
    __m256 acc = _mm256_setzero_ps();
    const int used = SlotsToBlend<kSlots, kSkip>(weights, n);
    leftOut |= used < n;
    for (int b = 0; b < n; ++b) {
      if (kSkip && b >= used) break;
      const float* m = matrix_palette[bones[b] & (kMatrixPaletteSize - 1)].f;
      float wf;
      std::memcpy(&wf, weights + 4 * b, sizeof(wf));
      const __m256 w = _mm256_set1_ps(wf);
      const __m256 c0 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m));
      const __m256 c1 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m + 4));
      const __m256 c2 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m + 8));
      const __m256 c3 = _mm256_insertf128_ps(_mm256_setzero_ps(), _mm_loadu_ps(m + 12), 0);
      __m256 t = _mm256_add_ps(_mm256_mul_ps(x, c0), _mm256_mul_ps(y, c1));
      t = _mm256_add_ps(t, _mm256_mul_ps(z, c2));
      t = _mm256_add_ps(t, c3);
      acc = _mm256_add_ps(acc, _mm256_mul_ps(w, t));
    }
    StoreXyz(pout, static_cast<v4f>(_mm256_castps256_ps128(acc)));
    StoreXyz(nout, static_cast<v4f>(_mm256_extractf128_ps(acc, 1)));
    pin += j.pinStride;
    nin += j.ninStride;
    pout += j.poutStride;
    nout += j.noutStride;
    bones += j.boneStride;
    weights += j.weightStride;
  }
  return leftOut;
}

template <bool kSkip>
bool BlendPointNormalAvxAs(const BlendJob& j, long first, long end) {
  switch (j.slots) {
    case 1:
      return BlendPointNormalAvx<1, kSkip>(j, first, end);
    case 2:
      return BlendPointNormalAvx<2, kSkip>(j, first, end);
    case 3:
      return BlendPointNormalAvx<3, kSkip>(j, first, end);
    case 4:
      return BlendPointNormalAvx<4, kSkip>(j, first, end);
    default:
      return BlendPointNormalAvx<0, kSkip>(j, first, end);
  }
}

bool CpuHasAvx() {
  // This may run from a static initialiser, before the CPU model is known.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx");
}
bool g_skin_avx = CpuHasAvx();
#else
bool g_skin_avx = false;
#endif

bool BlendPointsAndNormals(const BlendJob& j, long first, long end) {
#ifdef OVANTA_SKIN_AVX
  if (!g_skin_avx) return BlendSlots<true, true>(j, first, end);
  return j.skipZero ? BlendPointNormalAvxAs<true>(j, first, end) : BlendPointNormalAvxAs<false>(j, first, end);
#else
  return BlendSlots<true, true>(j, first, end);
#endif
}

// Vertices [first, end) of the job; points and directions in one pass, so
// the bones, weights and matrix columns are loaded once for both. Returns
// whether any slot was left out (only ever with skipZero).
bool Blend(const BlendJob& j, long first, long end) {
  if (j.pout && j.nout) return BlendPointsAndNormals(j, first, end);
  if (j.pout) return BlendSlots<true, false>(j, first, end);
  if (j.nout) return BlendSlots<false, true>(j, first, end);
  return false;
}

// Whether leaving out zero-weight slots of vertices [first, end) gave the
// same bits as blending every slot would have. A zero weight's term is +0 or
// -0, and adding either leaves the sum as it was (the sum starts at +0, and
// a round-to-nearest sum is never -0 after that), unless the transformed
// point it scales is infinite or NaN: zero times that is NaN. With every
// input coordinate and every palette element at most 2^40 in size, no
// transformed point comes near the end of the float range, so no term can
// be; anything else (a NaN or a huge value anywhere) blends every slot.
bool AllSmall(const uint8_t* floats, long n) {
  // On the bits, so that it vectorises: the magnitude's bits order like the
  // magnitudes, infinities and NaNs above every finite value.
  const int32_t limit = 0x53800000;  // 2^40
  int32_t big = 0;
  for (long i = 0; i < n; ++i) {
    int32_t bits;
    std::memcpy(&bits, floats + 4 * i, sizeof(bits));
    big |= (bits & 0x7FFFFFFF) > limit;
  }
  return big == 0;
}

bool InputsSmall(const uint8_t* data, int stride, long first, long end) {
  if (!data || end <= first) return true;
  // Packed float triples: one run of floats.
  if (stride == 12) return AllSmall(data + first * 12, 3 * (end - first));
  bool ok = true;
  for (long v = first; v < end; ++v) ok &= AllSmall(data + v * stride, 3);
  return ok;
}

bool ZeroWeightsDropOut(const BlendJob& j, long first, long end) {
  return AllSmall(reinterpret_cast<const uint8_t*>(matrix_palette), sizeof(matrix_palette) / 4) &&
         (!j.pout || InputsSmall(j.pin, j.pinStride, first, end)) &&
         (!j.nout || InputsSmall(j.nin, j.ninStride, first, end));
}

uint32_t GLType(uint32_t code) { return code < kPODDataTypeCount ? TYPE2GL[code] : 0; }
static_assert(TYPE2GL[EPODDataFloat] == GL_FLOAT && TYPE2GL[EPODDataUnsignedShort] == GL_UNSIGNED_SHORT &&
                  TYPE2GL[EPODDataRGBA] == GL_RGBA && TYPE2GL[EPODDataFixed16_16] == GL_FIXED &&
                  TYPE2GL[EPODDataUnsignedByte] == GL_UNSIGNED_BYTE && TYPE2GL[EPODDataShort] == GL_SHORT &&
                  TYPE2GL[EPODDataByte] == GL_BYTE,
              "the scene's data-type table holds GL's numbers");

// Skinning output, kept between draws so that a big mesh costs no stack and
// no allocation per frame. Grows only; zero-filled when it grows, so the
// entries a batch does not write are defined.
std::vector<VECTOR3> g_skinned_positions;
std::vector<VECTOR3> g_skinned_normals;

void EnsureScratch(size_t n) {
  if (g_skinned_positions.size() < n) {
    g_skinned_positions.resize(n, VECTOR3{0.0f, 0.0f, 0.0f});
    g_skinned_normals.resize(n, VECTOR3{0.0f, 0.0f, 0.0f});
  }
}

// Morph targets: positions and normals of vertices [lo, hi) with every
// target of non-zero weight added, packed float triples in scratch arrays
// kept between draws (entries outside the range keep what they held).
// False, with nothing written, when no target has a weight: the mesh's own
// arrays are then drawn.
std::vector<VECTOR3> g_morphed_positions;
std::vector<VECTOR3> g_morphed_normals;

bool Morph(const SPODMesh& mesh, int lo, int hi) {
  bool any = false;
  for (uint32_t k = 0; k < mesh.morphCount; ++k) any |= mesh.morphs[k].weight != 0.0f && mesh.morphs[k].count > 0;
  if (!any) return false;
  const size_t n = mesh.vertexCount;
  if (g_morphed_positions.size() < n) {
    g_morphed_positions.resize(n, VECTOR3{0.0f, 0.0f, 0.0f});
    g_morphed_normals.resize(n, VECTOR3{0.0f, 0.0f, 0.0f});
  }
  const CPODData& v = mesh.vertices;
  const CPODData& nr = mesh.normals;
  const size_t vs = v.stride ? v.stride : 12, ns = nr.stride ? nr.stride : 12;
  for (int i = lo; i < hi; ++i) {
    std::memcpy(&g_morphed_positions[i], v.data + i * vs, 12);
    if (nr.data) std::memcpy(&g_morphed_normals[i], nr.data + i * ns, 12);
  }
  for (uint32_t k = 0; k < mesh.morphCount; ++k) {
    const SPODMorph& m = mesh.morphs[k];
    if (m.weight == 0.0f) continue;
    for (uint32_t e = 0; e < m.count; ++e) {
      const int i = static_cast<int>(m.indices[e]);
      if (i < lo || i >= hi) continue;
      const float* d = m.deltas + 6 * static_cast<size_t>(e);
      VECTOR3& p = g_morphed_positions[i];
      p.x += m.weight * d[0], p.y += m.weight * d[1], p.z += m.weight * d[2];
      VECTOR3& q = g_morphed_normals[i];
      q.x += m.weight * d[3], q.y += m.weight * d[4], q.z += m.weight * d[5];
    }
  }
  return true;
}

// The vertices that triangles [first, first + count) reference, as a range.
// Exporters keep each batch's vertices together, so the range is tight.
void ReferencedRange(const SPODMesh& mesh, int first, int count, int* lo, int* hi) {
  const uint16_t* idx = reinterpret_cast<const uint16_t*>(mesh.faces.data) + 3L * first;
  const long n = 3L * count;
  uint16_t mn = 0xFFFF, mx = 0;
  for (long k = 0; k < n; ++k) {
    mn = std::min(mn, idx[k]);
    mx = std::max(mx, idx[k]);
  }
  if (n <= 0) {
    *lo = *hi = 0;
    return;
  }
  *lo = mn;
  *hi = std::min<int>(mx + 1, static_cast<int>(mesh.vertexCount));
}

// ReferencedRange, from the ranges the scene made at load when [first,
// first + count) is one of the mesh's batches (what DrawNodeP draws).
void UsedRange(const SPODMesh& mesh, int first, int count, int* lo, int* hi) {
  const CBoneBatches& bb = mesh.boneBatches;
  if (count > 0 && bb.batchVertexRanges) {
    // The last entry starting at or before `first` (entries are in triangle
    // order; of several starting at `first` only the last holds triangles).
    const CBatchVertexRange* r = bb.batchVertexRanges;
    int a = 0, b = bb.batchVertexRangeCount;
    while (a < b) {
      const int mid = a + (b - a) / 2;
      if (r[mid].firstTriangle <= first)
        a = mid + 1;
      else
        b = mid;
    }
    if (a > 0 && r[a - 1].firstTriangle == first && r[a - 1].endTriangle - first == count) {
      *lo = r[a - 1].firstVertex;
      *hi = r[a - 1].endVertex;
      return;
    }
  }
  ReferencedRange(mesh, first, count, lo, hi);
}

// Triangles [first, first + count) reordered for a draw without culling:
// those that face the viewer first, then those that face away, each group in
// its stored order. Every triangle is still drawn, but a back face behind
// the front of the same surface then fails the depth test before it is
// shaded, where in stored order about half of them were shaded and then
// covered. Only which of two fragments at exactly the same depth wins can
// change. Positions are those the draw uses (after the modelview); facing is
// judged as GL does, in clip space with the projection in force. Kept
// between draws; valid until the next call.
std::vector<uint16_t> g_front_first;
std::vector<float> g_clip_xyw;

const uint16_t* FrontFacesFirst(const SPODMesh& mesh, const VECTOR3* positions, int first, int count) {
  // Only the vertices these triangles use: the ones skinned for this draw.
  int used_lo = 0, used_hi = 0;
  UsedRange(mesh, first, count, &used_lo, &used_hi);
  MATRIX proj;
  MatrixIdentity(proj);
  glGetFloatv(GL_PROJECTION_MATRIX, proj.f);
  GLint frontFace = GL_CCW;
  glGetIntegerv(GL_FRONT_FACE, &frontFace);
  if (g_clip_xyw.size() < 3 * static_cast<size_t>(used_hi)) g_clip_xyw.resize(3 * static_cast<size_t>(used_hi));
  const float* m = proj.f;
  for (int v = used_lo; v < used_hi; ++v) {
    const VECTOR3& p = positions[v];
    float* c = &g_clip_xyw[3 * static_cast<size_t>(v)];
    c[0] = m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12];
    c[1] = m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13];
    c[2] = m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15];
  }
  const size_t total = 3 * static_cast<size_t>(count);
  if (g_front_first.size() < total) g_front_first.resize(total);
  const uint16_t* idx = reinterpret_cast<const uint16_t*>(mesh.faces.data) + 3L * first;
  // Counter-clockwise on screen is a positive determinant of the three
  // corners' (x, y, w) while all lie in front of the eye.
  const float sign = frontFace == GL_CW ? -1.0f : 1.0f;
  size_t front = 0, back = total;
  for (int t = 0; t < count; ++t) {
    const uint16_t* tri = idx + 3L * t;
    const float* a = &g_clip_xyw[3 * static_cast<size_t>(tri[0])];
    const float* b = &g_clip_xyw[3 * static_cast<size_t>(tri[1])];
    const float* c = &g_clip_xyw[3 * static_cast<size_t>(tri[2])];
    const float det =
        a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) + a[2] * (b[0] * c[1] - b[1] * c[0]);
    if (det * sign >= 0.0f) {
      std::memcpy(&g_front_first[front], tri, 3 * sizeof(uint16_t));
      front += 3;
    } else {
      back -= 3;
      std::memcpy(&g_front_first[back], tri, 3 * sizeof(uint16_t));
    }
  }
  // The back faces went in from the end, last first: put them back in order.
  for (size_t lo = front, hi = total; hi - lo >= 6; lo += 3, hi -= 3)
    for (int k = 0; k < 3; ++k) std::swap(g_front_first[lo + k], g_front_first[hi - 3 + k]);
  return g_front_first.data();
}

// Whether blending, on for this draw, leaves every pixel as drawing without
// it would: it weighs by source alpha and every fragment's alpha is exactly
// 1 (lit by a material of diffuse alpha 1 or coloured with alpha 1, and
// either untextured or textured from a texture with no translucent texel).
// The frame update leaves blending on after a translucent part of the room,
// and she is drawn after it; without blending the rasteriser need not read
// back the pixels she covers. Every query here is of state, so nothing is
// waited for.
bool BlendChangesNothing() {
  if (!glIsEnabled(GL_BLEND) || glIsEnabled(GL_COLOR_ARRAY)) return false;
  GLint src = 0, dst = 0;
  glGetIntegerv(GL_BLEND_SRC, &src);
  glGetIntegerv(GL_BLEND_DST, &dst);
  if (src == GL_ONE && dst == GL_ZERO) return true;
  if (src != GL_SRC_ALPHA || dst != GL_ONE_MINUS_SRC_ALPHA) return false;
  if (glIsEnabled(GL_LIGHTING)) {
    if (glIsEnabled(GL_COLOR_MATERIAL)) return false;
    GLfloat diffuse[4] = {0, 0, 0, 0};
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    if (!(diffuse[3] >= 1.0f)) return false;  // lit alpha is clamped to [0, 1]
    GLint twoSided = 0;
    glGetIntegerv(GL_LIGHT_MODEL_TWO_SIDE, &twoSided);
    if (twoSided) {
      glGetMaterialfv(GL_BACK, GL_DIFFUSE, diffuse);
      if (!(diffuse[3] >= 1.0f)) return false;
    }
  } else {
    GLfloat colour[4] = {0, 0, 0, 0};
    glGetFloatv(GL_CURRENT_COLOR, colour);
    if (colour[3] != 1.0f) return false;
  }
  GLint active = GL_TEXTURE0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
  glActiveTexture(GL_TEXTURE1);
  const bool second = glIsEnabled(GL_TEXTURE_2D);
  glActiveTexture(GL_TEXTURE0);
  bool opaque = !second;
  if (opaque && glIsEnabled(GL_TEXTURE_2D)) {
    GLfloat mode = 0;
    GLint bound = 0;
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    opaque = (mode == static_cast<GLfloat>(GL_MODULATE) || mode == static_cast<GLfloat>(GL_REPLACE) ||
              mode == static_cast<GLfloat>(GL_DECAL)) &&
             TextureOpaque(static_cast<GLuint>(bound));
  }
  glActiveTexture(static_cast<GLenum>(active));
  return opaque;
}

}  // namespace

void TransVec3TransformWeightedArray(VECTOR3* out, int outStride, const VECTOR3* in, int inStride, int count,
                                     const unsigned char* bones, int boneStride, const float* weights, int weightStride,
                                     int slots) {
  const BlendJob j = {reinterpret_cast<uint8_t*>(out),
                      outStride,
                      reinterpret_cast<const uint8_t*>(in),
                      inStride,
                      nullptr,
                      0,
                      nullptr,
                      0,
                      bones,
                      boneStride,
                      reinterpret_cast<const uint8_t*>(weights),
                      weightStride,
                      slots,
                      false};
  Blend(j, 0, count);
}

void TransVec3TransformWeightedArrayN(VECTOR3* out, int outStride, const VECTOR3* in, int inStride, int count,
                                      const unsigned char* bones, int boneStride, const float* weights,
                                      int weightStride, int slots) {
  const BlendJob j = {nullptr,
                      0,
                      nullptr,
                      0,
                      reinterpret_cast<uint8_t*>(out),
                      outStride,
                      reinterpret_cast<const uint8_t*>(in),
                      inStride,
                      bones,
                      boneStride,
                      reinterpret_cast<const uint8_t*>(weights),
                      weightStride,
                      slots,
                      false};
  Blend(j, 0, count);
}

const VECTOR3* MorphMeshP(const SPODMesh* mesh) {
  return Morph(*mesh, 0, static_cast<int>(mesh->vertexCount)) ? g_morphed_positions.data() : nullptr;
}

bool SkinUseAvx(bool enable) {
#ifdef OVANTA_SKIN_AVX
  g_skin_avx = enable && CpuHasAvx();
#else
  (void)enable;
#endif
  return g_skin_avx;
}

namespace {

// One blend kept between SkinKeepBegin and SkinKeepEnd: what it was asked
// (mesh, triangle range), the palette it blended with, and its own arrays
// of vertexCount entries that it blended vertices [lo, hi) into.
struct KeptSkin {
  const SPODMesh* mesh = nullptr;
  int first = 0, count = 0, lo = 0, hi = 0;
  MATRIX palette[kMatrixPaletteSize];
  std::vector<VECTOR3> positions, normals;
};
bool g_keeping = false;
// Entries [0, g_kept_count) hold; the rest keep their storage for the next
// frame. Their arrays together hold at most kKeptVertices vertices (6 MB): a
// mesh beyond that is blended twice rather than kept.
std::vector<KeptSkin> g_kept;
size_t g_kept_count = 0;
constexpr size_t kKeptVertices = size_t(1) << 18;

KeptSkin* FindKept(const SPODMesh* mesh, int first, int count) {
  for (size_t i = 0; i < g_kept_count; ++i)
    if (g_kept[i].mesh == mesh && g_kept[i].first == first && g_kept[i].count == count) return &g_kept[i];
  return nullptr;
}

// The palette entries vertices [lo, hi) name, as BlendVertex masks them.
int PaletteUsed(const SPODMesh& mesh, int lo, int hi) {
  const int slots = static_cast<int>(mesh.boneIndices.componentCount);
  const long stride = mesh.boneIndices.stride;
  int used = 0;
  for (long k = lo; k < hi; ++k) {
    const uint8_t* bones = mesh.boneIndices.data + k * stride;
    for (int b = 0; b < slots; ++b) used = std::max(used, (bones[b] & (kMatrixPaletteSize - 1)) + 1);
  }
  return used;
}

// Whether k's blend holds for the palette now. The whole palette is
// compared first (a few hundred instructions); entries the batch does not
// use may differ (another mesh's bones set between), and only then are the
// entries up to the highest its vertices name compared.
bool StillHolds(const KeptSkin& k) {
  // The same bits, not equal values: what was blended from them is reused.
  // NOLINTBEGIN(bugprone-suspicious-memory-comparison)
  return std::memcmp(k.palette, matrix_palette, sizeof matrix_palette) == 0 ||
         std::memcmp(k.palette, matrix_palette, sizeof(MATRIX) * PaletteUsed(*k.mesh, k.lo, k.hi)) == 0;
  // NOLINTEND(bugprone-suspicious-memory-comparison)
}

// The entry to blend mesh's range into (its arrays vertexCount long), or
// null when the arrays would pass the limit.
KeptSkin* KeepSlot(const SPODMesh* mesh, int first, int count, int lo, int hi) {
  if (hi <= lo || !mesh->boneIndices.data) return nullptr;
  KeptSkin* k = FindKept(mesh, first, count);
  if (!k) {
    size_t held = 0;
    for (const KeptSkin& e : g_kept) held += e.positions.capacity();
    if (g_kept_count == g_kept.size()) {
      if (held + mesh->vertexCount > kKeptVertices) return nullptr;
      g_kept.emplace_back();
    } else if (held - g_kept[g_kept_count].positions.capacity() + mesh->vertexCount > kKeptVertices) {
      return nullptr;
    }
    k = &g_kept[g_kept_count++];
  }
  k->mesh = mesh;
  k->first = first;
  k->count = count;
  k->lo = lo;
  k->hi = hi;
  std::memcpy(k->palette, matrix_palette, sizeof matrix_palette);
  k->positions.resize(mesh->vertexCount, VECTOR3{0.0f, 0.0f, 0.0f});
  k->normals.resize(mesh->normals.data ? mesh->vertexCount : 0, VECTOR3{0.0f, 0.0f, 0.0f});
  return k;
}

}  // namespace

void SkinKeepBegin() {
  g_keeping = true;
  g_kept_count = 0;
}

void SkinKeepEnd() {
  g_keeping = false;
  g_kept_count = 0;
}

const VECTOR3* SkinMeshP(const SPODMesh* mesh, int firstTriangle, int triangleCount, const VECTOR3** normalsOut) {
  const int n = static_cast<int>(mesh->vertexCount);
  EnsureScratch(static_cast<size_t>(n));
  // Only an indexed triangle list draws a part of the mesh; everything else
  // draws (and so needs) every vertex.
  int lo = 0, hi = n;
  if (mesh->stripCount == 0 && mesh->faces.data) UsedRange(*mesh, firstTriangle, triangleCount, &lo, &hi);
  const bool hasNormals = mesh->normals.data != nullptr;
  KeptSkin* kept = nullptr;
  if (g_keeping) {
    kept = FindKept(mesh, firstTriangle, triangleCount);
    if (kept && StillHolds(*kept)) {
      if (normalsOut) *normalsOut = hasNormals ? kept->normals.data() : nullptr;
      return kept->positions.data();
    }
    kept = KeepSlot(mesh, firstTriangle, triangleCount, lo, hi);
  }
  VECTOR3* positions = kept ? kept->positions.data() : g_skinned_positions.data();
  VECTOR3* normals = kept ? kept->normals.data() : g_skinned_normals.data();
  const bool morphed = Morph(*mesh, lo, hi);
  BlendJob j = {reinterpret_cast<uint8_t*>(positions),
                12,
                morphed ? reinterpret_cast<const uint8_t*>(g_morphed_positions.data()) : mesh->vertices.data,
                morphed ? 12 : static_cast<int>(mesh->vertices.stride),
                hasNormals ? reinterpret_cast<uint8_t*>(normals) : nullptr,
                12,
                morphed ? reinterpret_cast<const uint8_t*>(g_morphed_normals.data()) : mesh->normals.data,
                morphed ? 12 : static_cast<int>(mesh->normals.stride),
                mesh->boneIndices.data,
                static_cast<int>(mesh->boneIndices.stride),
                mesh->boneWeights.data,
                static_cast<int>(mesh->boneWeights.stride),
                static_cast<int>(mesh->boneIndices.componentCount),
                false};
  // Most of a character's vertices follow one or two bones, so leaving out
  // their zero weights halves the work. Whether that was exact is checked
  // afterwards, and only when a slot was left out (never on a mesh whose
  // vertices all use every slot); where it was not, the range is blended
  // again whole.
  j.skipZero = true;
  if (Blend(j, lo, hi) && !ZeroWeightsDropOut(j, lo, hi)) {
    j.skipZero = false;
    Blend(j, lo, hi);
  }
  if (normalsOut) *normalsOut = hasNormals ? normals : nullptr;
  return positions;
}

void DrawMeshP(const SPODMesh* mesh, bool skinned, int firstTriangle, int triangleCount, EnvLight* light) {
  const int n = static_cast<int>(mesh->vertexCount);
  const bool indexed = mesh->faces.data != nullptr;
  glEnableClientState(GL_VERTEX_ARRAY);
  GL_CHECK();

  if (mesh->uvws) {
    const CPODData& uv = mesh->uvws[0];
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GLType(uv.type), uv.stride, uv.data);
    GL_CHECK();
  }

  uint32_t normalType = 0;
  int normalStride = 0;
  const void* normalData = nullptr;
  bool normalsPacked = false;            // float[3], 12 bytes apart: what the light reads
  const void* drawnPositions = nullptr;  // skinned: the blended positions
  if (!skinned && MorphMeshP(mesh)) {
    glVertexPointer(3, GL_FLOAT, 12, g_morphed_positions.data());
    drawnPositions = g_morphed_positions.data();
    if (mesh->normals.data) {
      normalType = GL_FLOAT;
      normalStride = 12;
      normalData = g_morphed_normals.data();
      normalsPacked = true;
    }
  } else if (!skinned) {
    const CPODData& v = mesh->vertices;
    glVertexPointer(v.componentCount, GLType(v.type), v.stride, v.data);
    const CPODData& nr = mesh->normals;
    normalType = GLType(nr.type);
    normalStride = nr.stride;
    normalData = nr.data;
    normalsPacked = nr.type == EPODDataFloat && nr.componentCount == 3 && (nr.stride == 12 || nr.stride == 0);
  } else {
    const VECTOR3* skinnedNormals = nullptr;
    const VECTOR3* skinnedPositions = SkinMeshP(mesh, firstTriangle, triangleCount, &skinnedNormals);
    glVertexPointer(mesh->vertices.componentCount, GL_FLOAT, 12, skinnedPositions);
    drawnPositions = skinnedPositions;
    // A skinned mesh without normals draws without a normal array rather
    // than reading a missing one.
    if (skinnedNormals) {
      normalType = GL_FLOAT;
      normalStride = 12;
      normalData = skinnedNormals;
      normalsPacked = true;
    }
  }
  GL_CHECK();

  bool normalArrayOn = false;
  // The light reads normals as packed float triples; a mesh whose normals are
  // stored otherwise is drawn with GL lighting instead of misread.
  const bool useEnv = light && normalData && normalsPacked;
  if (normalData) {
    if (useEnv) {
      light->Apply(n, static_cast<const VECTOR3*>(normalData));
      glDisable(GL_LIGHTING);
    } else {
      glEnableClientState(GL_NORMAL_ARRAY);
      glNormalPointer(normalType, normalStride, normalData);
      normalArrayOn = true;
    }
  }

  const bool unblended = !useEnv && BlendChangesNothing();
  if (unblended) glDisable(GL_BLEND);
  const uint16_t* indices = reinterpret_cast<const uint16_t*>(mesh->faces.data);
  if (mesh->stripCount == 0) {
    if (indexed) {
      int first = firstTriangle, count = triangleCount;
      if (!glIsEnabled(GL_CULL_FACE)) {
        // The closed shells' triangles with their back faces culled, which
        // no viewer outside them sees; the rest as below.
        const int closed = std::min(first + count, static_cast<int>(mesh->closedFaces)) - first;
        GLint culled = GL_BACK;
        if (closed > 0) glGetIntegerv(GL_CULL_FACE_MODE, &culled);
        if (closed > 0 && culled == GL_BACK) {
          glEnable(GL_CULL_FACE);
          glDrawElements(GL_TRIANGLES, closed * 3, GL_UNSIGNED_SHORT, indices + 3L * first);
          glDisable(GL_CULL_FACE);
          first += closed;
          count -= closed;
        }
      }
      const uint16_t* ordered = indices + 3L * first;
      if (skinned && count > 0 && !glIsEnabled(GL_CULL_FACE))
        ordered = FrontFacesFirst(*mesh, static_cast<const VECTOR3*>(drawnPositions), first, count);
      if (count > 0) glDrawElements(GL_TRIANGLES, count * 3, GL_UNSIGNED_SHORT, ordered);
    } else {
      glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(mesh->faceCount * 3));
    }
    GL_CHECK();
  } else {
    long offset = 0;
    for (uint32_t s = 0; s < mesh->stripCount; ++s) {
      const GLsizei count = static_cast<GLsizei>(mesh->stripLengths[s] + 2);
      if (indexed)
        glDrawElements(GL_TRIANGLE_STRIP, count, GL_UNSIGNED_SHORT, indices + offset);
      else
        glDrawArrays(GL_TRIANGLE_STRIP, static_cast<GLint>(offset), count);
      GL_CHECK();
      offset += count;
    }
  }

  if (unblended) glEnable(GL_BLEND);
  glDisableClientState(GL_VERTEX_ARRAY);
  if (useEnv) {
    light->Remove();
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_LIGHTING);
  }
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  if (normalArrayOn) glDisableClientState(GL_NORMAL_ARRAY);
  GL_CHECK();
}

namespace {

void DrawNodeBody(CPODScene* scene, SPODNode* node, bool useWorldMatrix, bool bindMaterial, EnvLight* light) {
  const SPODMesh* mesh = &scene->meshes[node->meshIndex];
  if (bindMaterial) LoadMaterialI(scene, node->materialIndex);
  glMatrixMode(GL_MODELVIEW);

  if (!mesh->boneWeights.data) {
    if (useWorldMatrix) {
      glPushMatrix();
      GL_CHECK();
      MATRIX world;
      scene->GetWorldMatrix(world, *node);
      glMultMatrixf(world.f);
      GL_CHECK();
      DrawMeshP(mesh, false, 0, static_cast<int>(mesh->faceCount), light);
      glMatrixMode(GL_MODELVIEW);
      glPopMatrix();
    } else {
      DrawMeshP(mesh, false, 0, static_cast<int>(mesh->faceCount), light);
      glMatrixMode(GL_MODELVIEW);
    }
    return;
  }

  MATRIX view;
  MatrixIdentity(view);
  glGetFloatv(GL_MODELVIEW_MATRIX, view.f);
  GL_CHECK();
  glPushMatrix();
  if (useWorldMatrix) {
    MATRIX world;
    scene->GetWorldMatrix(world, *node);
    glMultMatrixf(world.f);
    GL_CHECK();
  }
  const CBoneBatches& bb = mesh->boneBatches;
  for (int b = 0; b < bb.batchCount; ++b) {
    const int bones = std::min(bb.batchBoneCounts[b], kMatrixPaletteSize);
    for (int j = 0; j < bones; ++j) {
      const SPODNode& bone = scene->nodes[bb.batches[b * bb.batchBoneMax + j]];
      MATRIX m;
      scene->GetBoneWorldMatrix(m, *node, bone);
      MatrixMultiply(matrix_palette[j], m, view);
    }
    const int first = bb.batchOffsets[b];
    const int end = b + 1 < bb.batchCount ? bb.batchOffsets[b + 1] : static_cast<int>(mesh->faceCount);
    DrawMeshP(mesh, true, first, end - first, light);
  }
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

}  // namespace

void DrawNodeP(CPODScene* scene, SPODNode* node, bool useWorldMatrix, bool bindMaterial, EnvLight* light) {
  // A material drawn from both sides is, whatever culling is on; one that
  // tests alpha leaves the test off again after.
  const bool bothSides =
      bindMaterial && MaterialDrawsBothSides(scene, node->materialIndex) && glIsEnabled(GL_CULL_FACE);
  if (bothSides) glDisable(GL_CULL_FACE);
  DrawNodeBody(scene, node, useWorldMatrix, bindMaterial, light);
  if (bothSides) glEnable(GL_CULL_FACE);
  if (bindMaterial && MaterialTestsAlpha(scene, node->materialIndex)) glDisable(GL_ALPHA_TEST);
}

void DrawModelWithEnv(CPODScene* scene, float frame, EnvLight* light) {
  // An empty scene (never loaded, or failed to load) has nothing to draw.
  if (!scene || !scene->evalState || !scene->nodes) return;
  scene->SetFrame(frame);
  for (uint32_t i = 0; i < scene->meshNodeCount; ++i) DrawNodeP(scene, &scene->nodes[i], true, true, light);
}

void DrawModel(CPODScene* scene, float frame) { DrawModelWithEnv(scene, frame, nullptr); }

void DrawBackdrop(CPODScene* scene, float frame, const uint8_t* drawn) {
  if (!scene || !scene->evalState || !scene->nodes) return;
  const GLboolean culling = glIsEnabled(GL_CULL_FACE);
  scene->SetFrame(frame);
  for (uint32_t i = 0; i < scene->meshNodeCount; ++i) {
    if (drawn && !drawn[i]) continue;
    if (!culling) {
      if (MaterialBlends(scene, scene->nodes[i].materialIndex))
        glDisable(GL_CULL_FACE);
      else
        glEnable(GL_CULL_FACE);
    }
    DrawNodeP(scene, &scene->nodes[i], true, true, nullptr);
  }
  if (!culling) glDisable(GL_CULL_FACE);
}
