#include "render/render_mesh.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "render/env_light.h"
#include "scene/ModelPOD.h"
#include "texture/texture_library.h"

void GLprintError(unsigned int error, const char* file, int line) {
  const char* name = "UNKNOWN";
  switch (error) {
    case 0x500: name = "GL_INVALID_ENUM"; break;
    case 0x501: name = "GL_INVALID_VALUE"; break;
    case 0x502: name = "GL_INVALID_OPERATION"; break;
    case 0x503: name = "GL_STACK_OVERFLOW"; break;
    case 0x504: name = "GL_STACK_UNDERFLOW"; break;
    case 0x505: name = "GL_OUT_OF_MEMORY"; break;
    default: break;
  }
  std::printf("gl error %s at %s : %i\n", name, file ? file : "", line);
}

const uint32_t TYPE2GL[15] = {
    0,                  // none
    GL_FLOAT,           // float
    0,                  // int
    GL_UNSIGNED_SHORT,  // unsigned short
    GL_RGBA,            // four colour bytes
    0,                  // ARGB
    0,                  // D3D colour
    GL_RGBA,            // four unsigned bytes
    0,                  // packed normal
    GL_FIXED,           // 16.16 fixed point
    GL_UNSIGNED_BYTE,   // unsigned byte
    GL_SHORT,           // short
    GL_SHORT,           // normalised short
    GL_BYTE,            // byte
    GL_BYTE,            // normalised byte
};

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

template <bool kDirection>
inline void BlendVertex(uint8_t* out, const uint8_t* in, const uint8_t* bones,
                        const uint8_t* weights, int slots) {
  float p[3];
  std::memcpy(p, in, sizeof(p));
  v4f acc = {0.0f, 0.0f, 0.0f, 0.0f};
  for (int b = 0; b < slots; ++b) {
    // The mask never changes a valid index (all are below 64) and keeps a
    // damaged one inside the palette.
    const MATRIX& m = matrix_palette[bones[b] & (kMatrixPaletteSize - 1)];
    float w;
    std::memcpy(&w, weights + 4 * b, sizeof(w));
    v4f t = p[0] * LoadColumn(m, 0) + p[1] * LoadColumn(m, 1);
    t = t + p[2] * LoadColumn(m, 2);
    if (!kDirection) t = t + LoadColumn(m, 3);
    acc = acc + w * t;
  }
  float r[4];
  std::memcpy(r, &acc, sizeof(r));
  std::memcpy(out, r, 3 * sizeof(float));
}

template <bool kDirection>
void BlendRange(VECTOR3* out, int outStride, const VECTOR3* in, int inStride, int first, int end,
                const unsigned char* bones, int boneStride, const float* weights,
                int weightStride, int slots) {
  uint8_t* o = reinterpret_cast<uint8_t*>(out);
  const uint8_t* i = reinterpret_cast<const uint8_t*>(in);
  const uint8_t* w = reinterpret_cast<const uint8_t*>(weights);
  for (long k = first; k < end; ++k)
    BlendVertex<kDirection>(o + k * outStride, i + k * inStride, bones + k * boneStride,
                            w + k * weightStride, slots);
}

uint32_t GLType(uint32_t code) { return code < 15 ? TYPE2GL[code] : 0; }

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

}  // namespace

void TransVec3TransformWeightedArray(VECTOR3* out, int outStride, const VECTOR3* in, int inStride,
                                     int count, const unsigned char* bones, int boneStride,
                                     const float* weights, int weightStride, int slots) {
  BlendRange<false>(out, outStride, in, inStride, 0, count, bones, boneStride, weights,
                    weightStride, slots);
}

void TransVec3TransformWeightedArrayN(VECTOR3* out, int outStride, const VECTOR3* in,
                                      int inStride, int count, const unsigned char* bones,
                                      int boneStride, const float* weights, int weightStride,
                                      int slots) {
  BlendRange<true>(out, outStride, in, inStride, 0, count, bones, boneStride, weights,
                   weightStride, slots);
}

void TransVec3TransformWeightedList(VECTOR3* out, int outStride, const VECTOR3* in, int inStride,
                                    const uint32_t* indices, int count, const unsigned char* bones,
                                    int boneStride, const float* weights, int weightStride,
                                    int slots, bool direction) {
  uint8_t* o = reinterpret_cast<uint8_t*>(out);
  const uint8_t* i = reinterpret_cast<const uint8_t*>(in);
  const uint8_t* w = reinterpret_cast<const uint8_t*>(weights);
  for (int n = 0; n < count; ++n) {
    const long k = indices[n];
    if (direction)
      BlendVertex<true>(o + k * outStride, i + k * inStride, bones + k * boneStride,
                        w + k * weightStride, slots);
    else
      BlendVertex<false>(o + k * outStride, i + k * inStride, bones + k * boneStride,
                         w + k * weightStride, slots);
  }
}

void DrawMeshP(const SPODMesh* mesh, bool skinned, int firstTriangle, int triangleCount,
               EnvLight* env) {
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
  bool normalsPacked = false;  // float[3], 12 bytes apart: what the light reads
  if (!skinned) {
    const CPODData& v = mesh->vertices;
    glVertexPointer(v.componentCount, GLType(v.type), v.stride, v.data);
    const CPODData& nr = mesh->normals;
    normalType = GLType(nr.type);
    normalStride = nr.stride;
    normalData = nr.data;
    normalsPacked = nr.type == EPODDataFloat && nr.componentCount == 3 &&
                    (nr.stride == 12 || nr.stride == 0);
  } else {
    EnsureScratch(static_cast<size_t>(n));
    // Only an indexed triangle list draws a part of the mesh; everything
    // else draws (and so needs) every vertex.
    int lo = 0, hi = n;
    if (mesh->stripCount == 0 && indexed) ReferencedRange(*mesh, firstTriangle, triangleCount, &lo, &hi);
    const CPODData& bi = mesh->boneIndices;
    const CPODData& bw = mesh->boneWeights;
    const int slots = static_cast<int>(bi.componentCount);
    const float* weights = reinterpret_cast<const float*>(bw.data);
    BlendRange<false>(g_skinned_positions.data(), 12,
                      reinterpret_cast<const VECTOR3*>(mesh->vertices.data),
                      static_cast<int>(mesh->vertices.stride), lo, hi, bi.data,
                      static_cast<int>(bi.stride), weights, static_cast<int>(bw.stride), slots);
    glVertexPointer(mesh->vertices.componentCount, GL_FLOAT, 12, g_skinned_positions.data());
    // A skinned mesh without normals draws unlit by its normals rather than
    // reading a missing array.
    if (mesh->normals.data) {
      BlendRange<true>(g_skinned_normals.data(), 12,
                       reinterpret_cast<const VECTOR3*>(mesh->normals.data),
                       static_cast<int>(mesh->normals.stride), lo, hi, bi.data,
                       static_cast<int>(bi.stride), weights, static_cast<int>(bw.stride), slots);
      normalType = GL_FLOAT;
      normalStride = 12;
      normalData = g_skinned_normals.data();
      normalsPacked = true;
    }
  }
  GL_CHECK();

  bool normalArrayOn = false;
  // The light reads normals as packed float triples; a mesh whose normals are
  // stored otherwise is drawn with GL lighting instead of misread.
  const bool useEnv = env && normalData && normalsPacked;
  if (normalData) {
    if (useEnv) {
      env->Apply(n, static_cast<const VECTOR3*>(normalData));
      glDisable(GL_LIGHTING);
    } else {
      glEnableClientState(GL_NORMAL_ARRAY);
      glNormalPointer(normalType, normalStride, normalData);
      normalArrayOn = true;
    }
  }

  const uint16_t* indices = reinterpret_cast<const uint16_t*>(mesh->faces.data);
  if (mesh->stripCount == 0) {
    if (indexed) {
      glDrawElements(GL_TRIANGLES, triangleCount * 3, GL_UNSIGNED_SHORT,
                     indices + 3L * firstTriangle);
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

  glDisableClientState(GL_VERTEX_ARRAY);
  if (useEnv) {
    env->Remove();
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_LIGHTING);
  }
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  if (normalArrayOn) glDisableClientState(GL_NORMAL_ARRAY);
  GL_CHECK();
}

void DrawNodeP(CPODScene* scene, SPODNode* node, bool useWorldMatrix, bool bindMaterial,
               EnvLight* env) {
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
      DrawMeshP(mesh, false, 0, static_cast<int>(mesh->faceCount), env);
      glMatrixMode(GL_MODELVIEW);
      glPopMatrix();
    } else {
      DrawMeshP(mesh, false, 0, static_cast<int>(mesh->faceCount), env);
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
    const int end = b + 1 < bb.batchCount ? bb.batchOffsets[b + 1]
                                          : static_cast<int>(mesh->faceCount);
    DrawMeshP(mesh, true, first, end - first, env);
  }
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

void DrawModelWithEnv(CPODScene* scene, float frame, EnvLight* env) {
  // An empty scene (never loaded, or failed to load) has nothing to draw.
  if (!scene || !scene->evalState || !scene->nodes) return;
  scene->SetFrame(frame);
  for (uint32_t i = 0; i < scene->meshNodeCount; ++i)
    DrawNodeP(scene, &scene->nodes[i], true, true, env);
}

void DrawModel(CPODScene* scene, float frame) { DrawModelWithEnv(scene, frame, nullptr); }
