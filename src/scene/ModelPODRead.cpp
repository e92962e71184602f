// The scene file reader, and the checks that make a read scene safe to use.
//
// A file is a flat run of blocks: an 8-byte marker (tag, length), then the
// payload; containers end with their tag | 0x80000000. Unknown blocks are
// skipped by length (but a tag of another container's kind, or a field of
// fixed size whose length says otherwise, is damage). Files may come from
// anywhere, so after a structurally complete read every index and array size
// that later code follows is checked (Validate), then every float of the
// vertices and nodes is held to what a model can hold (Plausible: what one
// damaged byte makes of a float mostly is not), and any violation fails the
// read like every other failure: false, the scene empty and zeroed, the
// reason in readError(), no message at this level.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "scene/ModelPOD.h"
#include "scene/PODTags.h"
#include "scene/PODWriter.h"
#include "scene/ResourceFile.h"
#include "scene/Streaming.h"

void PODReleaseRecords(SPODScene& s);

namespace {

using pod_tag::kEnd;
const unsigned int kMinContainerBytes = 16;  // start and end markers

const char* const kNoVersion = "not a scene file of version AB.POD.2.0";

// Why the read under way failed; null until something says.
thread_local const char* t_why = nullptr;

// Fails the read for `why`; the first reason given stands.
bool No(const char* why) {
  if (!t_why) t_why = why;
  return false;
}

// A field of fixed size: its block must be of that length.
bool Fixed(CStreamResource& s, unsigned int len, void* field, unsigned int size) {
  if (len != size) return No("a block of fixed size holds another length");
  return s.Read(field, size);
}

// A block of a kind unknown here is skipped, as the format wants; one of
// another container's kind (a tag of another thousand) is damage.
bool SkipUnknown(CStreamResource& s, unsigned int tag, unsigned int len, unsigned int kinds) {
  if (tag / 1000 != kinds / 1000) return No("a block of a kind that does not belong where it is");
  return s.Skip(len);
}

// What the reader learns while it reads: the byte length of every array it
// allocated, which the records themselves do not keep.
struct ReadContext {
  std::unordered_map<const void*, uint64_t> sizes;
  uint64_t size(const void* p) const {
    auto it = sizes.find(p);
    return it == sizes.end() ? 0 : it->second;
  }
};

unsigned int Remaining(CStreamResource& s) {
  CSourceStream* src = dynamic_cast<CSourceStream*>(&s);
  return src ? src->Remaining() : 0xFFFFFFFFu;
}

// Reads `length` payload bytes into a new buffer. Strings get a terminating
// zero of their own, so a name stored without one cannot run past its end.
bool ReadAlloc(CStreamResource& s, unsigned int length, void*& out, bool isString, ReadContext* ctx) {
  if (length > Remaining(s)) return false;
  const size_t n = (size_t)length + (isString ? 1 : 0);
  uint8_t* buf = static_cast<uint8_t*>(std::malloc(n ? n : 1));
  if (!buf) return false;
  if (!s.Read(buf, length)) {
    std::free(buf);
    return false;
  }
  if (isString) buf[length] = 0;
  std::free(out);  // a repeated block replaces the earlier one
  out = buf;
  if (ctx) ctx->sizes[buf] = length;
  return true;
}

template <typename T>
bool ReadArray(CStreamResource& s, unsigned int length, T*& out, ReadContext* ctx) {
  void* p = out;
  const bool ok = ReadAlloc(s, length, p, false, ctx);
  out = static_cast<T*>(p);
  return ok;
}

bool ReadString(CStreamResource& s, unsigned int length, char*& out, ReadContext* ctx) {
  void* p = out;
  const bool ok = ReadAlloc(s, length, p, true, ctx);
  out = static_cast<char*>(p);
  return ok;
}

bool ReadDataImpl(CPODData& block, CStreamResource& s, unsigned int tag, bool ownData, ReadContext* ctx) {
  unsigned int t, len;
  for (;;) {
    if (!s.ReadMarker(t, len)) return false;
    if (t == (tag | kEnd)) return true;
    switch (t) {
      case pod_tag::kDataType:
        if (!Fixed(s, len, &block.type, 4)) return false;
        break;
      case pod_tag::kDataComponents:
        if (!Fixed(s, len, &block.componentCount, 4)) return false;
        break;
      case pod_tag::kDataStride:
        if (!Fixed(s, len, &block.stride, 4)) return false;
        break;
      case pod_tag::kDataBytes:
        if (ownData) {
          if (!ReadArray(s, len, block.data, ctx)) return false;
        } else {
          uint32_t offset;
          if (!s.Read(&offset, 4)) return false;
          block.data = reinterpret_cast<uint8_t*>((uintptr_t)offset);
        }
        break;
      default:
        if (!SkipUnknown(s, t, len, pod_tag::kDataType)) return false;
    }
  }
}

bool ReadNodeImpl(SPODNode& node, CStreamResource& s, ReadContext* ctx) {
  float pos[3] = {0, 0, 0};
  float rot[4] = {0, 0, 0, 1};
  float scale[7] = {1, 1, 1, 0, 0, 0, 0};
  bool hasStatic = false;
  unsigned int t, len;
  for (;;) {
    if (!s.ReadMarker(t, len)) return false;
    if (t == (pod_tag::kNode | kEnd)) break;
    switch (t) {
      case pod_tag::kNodeMesh:
        if (!Fixed(s, len, &node.meshIndex, 4)) return false;
        break;
      case pod_tag::kNodeName:
        if (!ReadString(s, len, node.name, ctx)) return false;
        break;
      case pod_tag::kNodeMaterial:
        if (!Fixed(s, len, &node.materialIndex, 4)) return false;
        break;
      case pod_tag::kNodeParent:
        if (!Fixed(s, len, &node.parentIndex, 4)) return false;
        break;
      case pod_tag::kNodeStaticPosition:
        if (!Fixed(s, len, pos, 12)) return false;
        hasStatic = true;
        break;
      case pod_tag::kNodeStaticRotation:
        if (!Fixed(s, len, rot, 16)) return false;
        hasStatic = true;
        break;
      case pod_tag::kNodeStaticScale:
        if (!Fixed(s, len, scale, 12)) return false;
        hasStatic = true;
        break;
      case pod_tag::kNodePositions:
        if (!ReadArray(s, len, node.positions, ctx)) return false;
        break;
      case pod_tag::kNodeRotations:
        if (!ReadArray(s, len, node.rotations, ctx)) return false;
        break;
      case pod_tag::kNodeScales:
        if (!ReadArray(s, len, node.scales, ctx)) return false;
        break;
      case pod_tag::kNodeMatrices:
        if (!ReadArray(s, len, node.matrices, ctx)) return false;
        break;
      case pod_tag::kNodeAnimationFlags:
        if (!Fixed(s, len, &node.animationFlags, 4)) return false;
        break;
      case pod_tag::kNodeInverseBind:
        if (!ReadArray(s, len, node.inverseBind, ctx)) return false;
        break;
      default:
        if (!SkipUnknown(s, t, len, pod_tag::kNodeMesh)) return false;
    }
  }
  if (hasStatic) {
    struct Settle {
      float*& array;
      const float* value;
      unsigned int n;
      uint32_t bit;
    };
    Settle settle[3] = {{node.positions, pos, 3, 1u}, {node.rotations, rot, 4, 2u}, {node.scales, scale, 7, 4u}};
    for (Settle& st : settle) {
      if (st.array) {
        node.animationFlags |= st.bit;
      } else {
        st.array = static_cast<float*>(std::malloc(st.n * sizeof(float)));
        if (!st.array) return false;
        std::memcpy(st.array, st.value, st.n * sizeof(float));
        if (ctx) ctx->sizes[st.array] = st.n * sizeof(float);
      }
    }
  }
  return true;
}

// Reads a record container of the simpler kinds: fields by tag until `endTag`.
bool ReadCamera(SPODCameraEntry& c, CStreamResource& s, ReadContext* ctx) {
  unsigned int t, len;
  for (;;) {
    if (!s.ReadMarker(t, len)) return false;
    if (t == (pod_tag::kCamera | kEnd)) return true;
    switch (t) {
      case pod_tag::kCameraTarget:
        if (!Fixed(s, len, &c.targetIndex, 4)) return false;
        break;
      case pod_tag::kCameraFieldOfView:
        if (!Fixed(s, len, &c.fieldOfView, 4)) return false;
        break;
      case pod_tag::kCameraFar:
        if (!Fixed(s, len, &c.farDistance, 4)) return false;
        break;
      case pod_tag::kCameraNear:
        if (!Fixed(s, len, &c.nearDistance, 4)) return false;
        break;
      case pod_tag::kCameraFieldOfViewAnimation:
        if (!ReadArray(s, len, c.fieldOfViewAnimation, ctx)) return false;
        break;
      default:
        if (!SkipUnknown(s, t, len, pod_tag::kCameraTarget)) return false;
    }
  }
}

bool ReadLight(SPODLightEntry& l, CStreamResource& s) {
  unsigned int t, len;
  for (;;) {
    if (!s.ReadMarker(t, len)) return false;
    if (t == (pod_tag::kLight | kEnd)) return true;
    switch (t) {
      case pod_tag::kLightTarget:
        if (!Fixed(s, len, &l.targetIndex, 4)) return false;
        break;
      case pod_tag::kLightColour:
        if (!Fixed(s, len, l.colour, 12)) return false;
        break;
      case pod_tag::kLightType:
        if (!Fixed(s, len, &l.lightType, 4)) return false;
        break;
      default:
        if (!SkipUnknown(s, t, len, pod_tag::kLightTarget)) return false;
    }
  }
}

bool ReadTexture(char*& name, CStreamResource& s, ReadContext* ctx) {
  unsigned int t, len;
  for (;;) {
    if (!s.ReadMarker(t, len)) return false;
    if (t == (pod_tag::kTexture | kEnd)) return true;
    if (t == pod_tag::kTextureName) {
      if (!ReadString(s, len, name, ctx)) return false;
    } else if (!SkipUnknown(s, t, len, pod_tag::kTextureName)) {
      return false;
    }
  }
}

bool ReadMaterial(SPODMaterial& m, CStreamResource& s, ReadContext* ctx) {
  unsigned int t, len;
  for (;;) {
    if (!s.ReadMarker(t, len)) return false;
    if (t == (pod_tag::kMaterial | kEnd)) return true;
    switch (t) {
      case pod_tag::kMaterialName:
        if (!ReadString(s, len, m.name, ctx)) return false;
        break;
      case pod_tag::kMaterialTexture:
        if (!Fixed(s, len, &m.textureIndex, 4)) return false;
        break;
      case pod_tag::kMaterialOpacity:
        if (!Fixed(s, len, &m.opacity, 4)) return false;
        break;
      case pod_tag::kMaterialAmbient:
        if (!Fixed(s, len, m.ambient, 12)) return false;
        break;
      case pod_tag::kMaterialDiffuse:
        if (!Fixed(s, len, m.diffuse, 12)) return false;
        break;
      case pod_tag::kMaterialSpecular:
        if (!Fixed(s, len, m.specular, 12)) return false;
        break;
      case pod_tag::kMaterialShininess:
        if (!Fixed(s, len, &m.shininess, 4)) return false;
        break;
      case pod_tag::kMaterialEffectFile:
        if (!ReadString(s, len, m.effectFile, ctx)) return false;
        break;
      case pod_tag::kMaterialEffectName:
        if (!ReadString(s, len, m.effectName, ctx)) return false;
        break;
      case pod_tag::kMaterialAlphaMode:
        if (!Fixed(s, len, &m.alphaMode, 4)) return false;
        break;
      case pod_tag::kMaterialAlphaCutoff:
        if (!Fixed(s, len, &m.alphaCutoff, 4)) return false;
        break;
      case pod_tag::kMaterialFlags:
        if (!Fixed(s, len, &m.flags, 4)) return false;
        break;
      default:
        if (!SkipUnknown(s, t, len, pod_tag::kMaterialName)) return false;
    }
  }
}

template <typename T>
bool ReadCount(CStreamResource& s, unsigned int len, uint32_t& count, T*& array) {
  uint32_t n;
  if (!Fixed(s, len, &n, 4)) return false;
  if (array) return No("a count given twice");  // a second count block would orphan the records read so far
  if (n > Remaining(s) / kMinContainerBytes) return No("a count larger than the file could hold");
  if (n) {
    array = PODAlloc<T>(n);
    if (!array) return false;
  }
  count = n;
  return true;
}

bool ReadMorph(SPODMorph& m, CStreamResource& s, ReadContext* ctx) {
  unsigned int t, len;
  for (;;) {
    if (!s.ReadMarker(t, len)) return false;
    if (t == (pod_tag::kMeshMorph | kEnd)) return true;
    switch (t) {
      case pod_tag::kMorphName:
        if (!ReadString(s, len, m.name, ctx)) return false;
        break;
      case pod_tag::kMorphWeight:
        if (!Fixed(s, len, &m.weight, 4)) return false;
        break;
      case pod_tag::kMorphIndices:
        if (!ReadArray(s, len, m.indices, ctx)) return false;
        m.count = len / 4;
        break;
      case pod_tag::kMorphDeltas:
        if (!ReadArray(s, len, m.deltas, ctx)) return false;
        break;
      default:
        if (!SkipUnknown(s, t, len, pod_tag::kMorphName)) return false;
    }
  }
}

bool ReadMesh(SPODMesh& m, CStreamResource& s, ReadContext* ctx) {
  uint32_t uvwRead = 0, morphsRead = 0;
  unsigned int t, len;
  for (;;) {
    if (!s.ReadMarker(t, len)) return false;
    if (t == (pod_tag::kMesh | kEnd))
      return (uvwRead == m.uvwCount || No("fewer texture coordinate sets than it says")) &&
             (morphsRead == m.morphCount || No("fewer morph targets than it says"));
    switch (t) {
      case pod_tag::kMeshVertexCount:
        if (!Fixed(s, len, &m.vertexCount, 4)) return false;
        break;
      case pod_tag::kMeshFaceCount:
        if (!Fixed(s, len, &m.faceCount, 4)) return false;
        break;
      case pod_tag::kMeshUvwCount: {
        uint32_t n;
        if (!Fixed(s, len, &n, 4)) return false;
        if (m.uvws) return No("a count given twice");  // a second list would orphan the first
        if (n > Remaining(s) / kMinContainerBytes) return No("a count larger than the file could hold");
        if (n) {
          m.uvws = PODAlloc<CPODData>(n);
          if (!m.uvws) return false;
        }
        m.uvwCount = n;
        break;
      }
      case pod_tag::kMeshFaces:
        if (!ReadDataImpl(m.faces, s, t, true, ctx)) return false;
        break;
      case pod_tag::kMeshStripLengths:
        if (!ReadArray(s, len, m.stripLengths, ctx)) return false;
        break;
      case pod_tag::kMeshStripCount:
        if (!Fixed(s, len, &m.stripCount, 4)) return false;
        break;
      case pod_tag::kMeshVertices:
        if (!ReadDataImpl(m.vertices, s, t, true, ctx)) return false;
        break;
      case pod_tag::kMeshNormals:
        if (!ReadDataImpl(m.normals, s, t, true, ctx)) return false;
        break;
      case pod_tag::kMeshTangents:
        if (!ReadDataImpl(m.tangents, s, t, true, ctx)) return false;
        break;
      case pod_tag::kMeshBinormals:
        if (!ReadDataImpl(m.binormals, s, t, true, ctx)) return false;
        break;
      case pod_tag::kMeshUvw:
        if (uvwRead >= m.uvwCount) return No("more texture coordinate sets than it says");
        if (!ReadDataImpl(m.uvws[uvwRead++], s, t, true, ctx)) return false;
        break;
      case pod_tag::kMeshColours:
        if (!ReadDataImpl(m.colours, s, t, true, ctx)) return false;
        break;
      case pod_tag::kMeshBoneIndices:
        if (!ReadDataImpl(m.boneIndices, s, t, true, ctx)) return false;
        break;
      case pod_tag::kMeshBoneWeights:
        if (!ReadDataImpl(m.boneWeights, s, t, true, ctx)) return false;
        break;
      case pod_tag::kMeshInterleaved:
        // Offsets into an interleaved block are never turned into addresses,
        // and drawing would follow them as pointers: such a mesh is refused.
        return No("a mesh of interleaved data, which is not read");
      case pod_tag::kMeshBatches:
        if (!ReadArray(s, len, m.boneBatches.batches, ctx)) return false;
        break;
      case pod_tag::kMeshBatchBoneCounts:
        if (!ReadArray(s, len, m.boneBatches.batchBoneCounts, ctx)) return false;
        break;
      case pod_tag::kMeshBatchOffsets:
        if (!ReadArray(s, len, m.boneBatches.batchOffsets, ctx)) return false;
        break;
      case pod_tag::kMeshBatchBoneMax:
        if (!Fixed(s, len, &m.boneBatches.batchBoneMax, 4)) return false;
        break;
      case pod_tag::kMeshBatchCount:
        if (!Fixed(s, len, &m.boneBatches.batchCount, 4)) return false;
        break;
      case pod_tag::kMeshClosedFaces:
        if (!Fixed(s, len, &m.closedFaces, 4)) return false;
        break;
      case pod_tag::kMeshMorphCount:
        if (!ReadCount(s, len, m.morphCount, m.morphs)) return false;
        break;
      case pod_tag::kMeshMorph:
        if (morphsRead >= m.morphCount) return No("more morph targets than it says");
        if (!ReadMorph(m.morphs[morphsRead++], s, ctx)) return false;
        break;
      default:
        if (!SkipUnknown(s, t, len, pod_tag::kMeshVertexCount)) return false;
    }
  }
}

// ---- checks after a complete read ---------------------------------------------

bool IsGLArrayType(uint32_t type) {
  return type == EPODDataFloat || type == EPODDataFixed16_16 || type == EPODDataShort || type == EPODDataShortNorm ||
         type == EPODDataByte || type == EPODDataByteNorm;
}

// A per-vertex block holds `count` vertices of `components` values each.
bool DataFits(const ReadContext& ctx, const CPODData& d, uint32_t count, uint32_t components) {
  if (!d.data) return true;
  if (d.type >= kPODDataTypeCount || PODDataTypeSize(d.type) == 0) return false;
  if (d.stride > (1u << 24)) return false;
  if (count == 0) return true;
  const uint64_t elem = (uint64_t)PODDataTypeSize(d.type) * components;
  const uint64_t stride = d.stride ? d.stride : elem;
  return (uint64_t)(count - 1) * stride + elem <= ctx.size(d.data);
}

uint64_t EntriesNeeded(uint32_t flags, uint32_t bit, uint32_t frameCount) {
  return (flags & bit) && frameCount > 1 ? frameCount : 1;
}

// The largest of `count` little-endian 16-bit indices. This scan runs over
// every index of every file read, so it goes eight at a time where it can
// (SSE2 has only a signed 16-bit max: flipping the top bit maps unsigned
// order onto signed order).
uint32_t LargestIndex(const uint8_t* p, uint64_t count) {
  uint64_t i = 0;
  uint32_t top = 0;
#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  const __m128i flip = _mm_set1_epi16((short)0x8000);
  __m128i best = _mm_set1_epi16((short)0x8000);  // 0 after the flip
  for (; i + 8 <= count; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
    best = _mm_max_epi16(best, _mm_xor_si128(v, flip));
  }
  alignas(16) uint16_t lanes[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_xor_si128(best, flip));
  for (uint16_t l : lanes) top = l > top ? l : top;
#endif
  for (; i < count; ++i) {
    const uint32_t v = (uint32_t)(p[2 * i] | (p[2 * i + 1] << 8));
    top = v > top ? v : top;
  }
  return top;
}

// The largest bone slot each of `n` vertices names, into top, and the
// largest of all. Four slots packed four bytes apart is what every skinned
// file holds; that case takes four vertices at a time.
uint8_t TopBoneSlots(const uint8_t* data, uint32_t n, uint32_t slots, uint32_t stride, uint8_t* top) {
  uint32_t v = 0;
  uint8_t highest = 0;
#if defined(__SSE2__)
  if (slots == 4 && stride == 4) {
    __m128i all = _mm_setzero_si128();
    for (; v + 4 <= n; v += 4) {
      __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + (size_t)v * 4));
      x = _mm_max_epu8(x, _mm_srli_epi32(x, 8));
      x = _mm_max_epu8(x, _mm_srli_epi32(x, 16));  // each vertex's largest in its low byte
      all = _mm_max_epu8(all, x);
      alignas(16) uint8_t b[16];
      _mm_store_si128(reinterpret_cast<__m128i*>(b), x);
      top[v] = b[0];
      top[v + 1] = b[4];
      top[v + 2] = b[8];
      top[v + 3] = b[12];
    }
    alignas(16) uint8_t b[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(b), all);
    highest = std::max(std::max(b[0], b[4]), std::max(b[8], b[12]));
  }
#endif
  for (; v < n; ++v) {
    const uint8_t* b = data + (size_t)v * stride;
    uint8_t t = 0;
    for (uint32_t k = 0; k < slots; ++k) t = b[k] > t ? b[k] : t;
    top[v] = t;
    highest = t > highest ? t : highest;
  }
  return highest;
}

const char* const kShortData = "a mesh's vertex data is shorter than its vertices";
const char* const kShortAnimation = "an animation is shorter than its frames";
const char* const kBadBatches = "a mesh's bone batches do not fit its bones or triangles";
const char* const kBadBone = "a vertex names a bone its batch does not have";

// Values no model holds, which a damaged byte makes of a float: not a
// number, infinite, further than this from the origin (her world is a few
// thousand units across), or so near zero without being zero that only a
// damaged zero is (a flipped low byte of 0 is 1e-43 or 1e-40).
constexpr float kFarthest = 1e6f, kNearest = 1e-30f;
bool Plausible(float v) {
  const float a = std::fabs(v);
  return a <= kFarthest && (a == 0 || a >= kNearest);  // false for NaN too
}
// Unit vectors (normals, rotations) and bone weights that add up to one, to
// within what a float keeps of them after an export.
constexpr float kUnitSlack = 0.001f;
bool Unit(float lengthSquared) { return lengthSquared >= 1 - 2 * kUnitSlack && lengthSquared <= 1 + 2 * kUnitSlack; }

const char* ValidateMesh(const SPODScene& sc, const SPODMesh& m, const ReadContext& ctx) {
  const uint32_t n = m.vertexCount;
  if (m.uvwCount && !m.uvws) return "a mesh without the texture coordinates it counts";
  if (m.stripCount && (!m.stripLengths || ctx.size(m.stripLengths) < (uint64_t)m.stripCount * 4))
    return "a mesh with fewer strip lengths than strips";
  const uint64_t indexCount = PODIndexCount(m);

  // Geometry that a draw call would read.
  const bool drawsSomething = indexCount > 0;
  if (drawsSomething && !m.vertices.data) return "a mesh of triangles without vertices";
  if (m.vertices.data) {
    if (!IsGLArrayType(m.vertices.type) || m.vertices.componentCount < 2 || m.vertices.componentCount > 4)
      return "a mesh's vertices are of a kind that is not drawn";
    if (!DataFits(ctx, m.vertices, n, m.vertices.componentCount)) return kShortData;
  }
  if (m.normals.data && (!IsGLArrayType(m.normals.type) || !DataFits(ctx, m.normals, n, 3))) return kShortData;
  for (uint32_t k = 0; k < m.uvwCount; ++k) {
    const CPODData& uv = m.uvws[k];
    // The first set is handed to GL as it stands.
    if (k == 0 && (!uv.data || !IsGLArrayType(uv.type))) return "a mesh's texture coordinates are of a kind not drawn";
    const uint32_t comps = uv.componentCount > 2 ? uv.componentCount : 2;
    if (!DataFits(ctx, uv, n, k == 0 ? comps : uv.componentCount)) return kShortData;
  }
  if (!DataFits(ctx, m.tangents, n, m.tangents.componentCount) ||
      !DataFits(ctx, m.binormals, n, m.binormals.componentCount) ||
      !DataFits(ctx, m.colours, n, m.colours.componentCount) ||
      !DataFits(ctx, m.boneIndices, n, m.boneIndices.componentCount) ||
      !DataFits(ctx, m.boneWeights, n, m.boneWeights.componentCount))
    return kShortData;

  // Morph targets: each entry names a vertex and has its six offsets; they
  // are added to float[3] positions (and normals).
  for (uint32_t k = 0; k < m.morphCount; ++k) {
    const SPODMorph& mo = m.morphs[k];
    if (mo.count == 0) continue;
    if (!mo.indices || !mo.deltas || ctx.size(mo.deltas) < (uint64_t)mo.count * 24) return kShortData;
    if (!m.vertices.data || m.vertices.type != EPODDataFloat || m.vertices.componentCount != 3 ||
        (m.normals.data && (m.normals.type != EPODDataFloat || m.normals.componentCount != 3)))
      return "a morph target of a mesh whose vertices are not float triples";
    for (uint32_t e = 0; e < mo.count; ++e)
      if (mo.indices[e] >= n) return "a morph target names a vertex the mesh does not have";
  }

  // Indices: always read as 16-bit, each naming a vertex.
  if (m.faces.data) {
    if (ctx.size(m.faces.data) < indexCount * 2) return "a mesh with fewer face indices than its triangles need";
    if (LargestIndex(m.faces.data, indexCount) >= n) return "a face index names no vertex";
  } else if (indexCount > n) {
    return "a mesh with more triangles than its vertices make";
  }

  if (m.closedFaces && (m.closedFaces > m.faceCount || m.stripCount || !m.faces.data))
    return "closed triangles that are not among a list of its triangles";

  // Bone batches.
  const CBoneBatches& bb = m.boneBatches;
  if (bb.batchCount < 0 || bb.batchBoneMax < 0) return kBadBatches;
  int32_t maxBones = 0;
  if (bb.batchCount > 0) {
    const uint64_t cnt = (uint64_t)bb.batchCount;
    if (!bb.batches || !bb.batchBoneCounts || !bb.batchOffsets) return kBadBatches;
    if (ctx.size(bb.batches) < cnt * (uint64_t)bb.batchBoneMax * 4) return kBadBatches;
    if (ctx.size(bb.batchBoneCounts) < cnt * 4 || ctx.size(bb.batchOffsets) < cnt * 4) return kBadBatches;
    int32_t prev = 0;
    for (int32_t b = 0; b < bb.batchCount; ++b) {
      const int32_t c = bb.batchBoneCounts[b];
      if (c < 0 || c > bb.batchBoneMax || c > 64) return kBadBatches;
      if (c > maxBones) maxBones = c;
      for (int32_t j = 0; j < c; ++j) {
        const int32_t node = bb.batches[(size_t)b * bb.batchBoneMax + j];
        if (node < 0 || (uint32_t)node >= sc.nodeCount) return "a bone batch names a node it does not have";
      }
      const int32_t off = bb.batchOffsets[b];
      if (off < prev || (uint32_t)off > m.faceCount) return kBadBatches;
      prev = off;
    }
  }

  // Skinning reads positions and normals as float[3], one byte and one float per bone slot.
  if (m.boneWeights.data) {
    const char* const kSkinData = "a skinned mesh without the vertex data skinning reads";
    if (m.vertices.type != EPODDataFloat || m.vertices.componentCount != 3) return kSkinData;
    if (!m.normals.data || m.normals.type != EPODDataFloat || m.normals.componentCount != 3) return kSkinData;
    if (!m.boneIndices.data || m.boneIndices.type != EPODDataUnsignedByte) return kSkinData;
    if (m.boneWeights.type != EPODDataFloat) return kSkinData;
    const uint32_t slots = m.boneIndices.componentCount;
    if (slots == 0 || m.boneWeights.componentCount != slots) return kSkinData;
    const uint32_t bstride = m.boneIndices.stride ? m.boneIndices.stride : slots;
    // The largest bone slot each vertex uses, so triangles need one look per corner.
    std::vector<uint8_t> top(n);
    const uint8_t highest = TopBoneSlots(m.boneIndices.data, n, slots, bstride, top.data());
    if (highest >= 64) return kBadBone;
    if (bb.batchCount > 0) {
      if (m.stripCount == 0 && m.faces.data) {
        // Each batch's triangles may only name bones of that batch; a batch
        // holding more bones than any vertex names cannot fail.
        for (int32_t b = 0; b < bb.batchCount; ++b) {
          if (bb.batchBoneCounts[b] > highest) continue;
          const uint32_t first = (uint32_t)bb.batchOffsets[b];
          const uint32_t end = b + 1 < bb.batchCount ? (uint32_t)bb.batchOffsets[b + 1] : m.faceCount;
          const int32_t c = bb.batchBoneCounts[b];
          const uint8_t* p = m.faces.data;
          bool bad = false;
          for (uint64_t i = (uint64_t)first * 3; i < (uint64_t)end * 3; ++i)
            bad |= top[p[2 * i] | (p[2 * i + 1] << 8)] >= c;
          if (bad) return kBadBone;
        }
      } else if (highest >= maxBones) {
        return kBadBone;
      }
    }
  }
  return nullptr;
}

const char* Validate(const SPODScene& sc, const ReadContext& ctx) {
  if (sc.meshNodeCount > sc.nodeCount) return "more mesh nodes than nodes";
  for (uint32_t i = 0; i < sc.textureCount; ++i)
    if (!sc.textures[i]) return "a texture without a name";
  for (uint32_t i = 0; i < sc.materialCount; ++i)
    if (sc.materials[i].textureIndex >= 0 && (uint32_t)sc.materials[i].textureIndex >= sc.textureCount)
      return "a material names a texture it does not have";
  for (uint32_t i = 0; i < sc.cameraCount; ++i) {
    const float* a = sc.cameras[i].fieldOfViewAnimation;
    if (a && ctx.size(a) < (uint64_t)sc.frameCount * 4) return kShortAnimation;
  }
  for (uint32_t i = 0; i < sc.nodeCount; ++i) {
    const SPODNode& nd = sc.nodes[i];
    // Only mesh nodes are drawn, so only their mesh and material are followed.
    if (i < sc.meshNodeCount) {
      if (nd.meshIndex < 0 || (uint32_t)nd.meshIndex >= sc.meshCount) return "a node names a mesh it does not have";
      if (nd.materialIndex >= 0 && (uint32_t)nd.materialIndex >= sc.materialCount)
        return "a node names a material it does not have";
    }
    if (nd.parentIndex >= 0 && (uint32_t)nd.parentIndex >= sc.nodeCount)
      return "a node names a parent it does not have";
    const uint32_t f = nd.animationFlags;
    if ((nd.positions && ctx.size(nd.positions) < 12 * EntriesNeeded(f, 1u, sc.frameCount)) ||
        (nd.rotations && ctx.size(nd.rotations) < 16 * EntriesNeeded(f, 2u, sc.frameCount)) ||
        (nd.scales && ctx.size(nd.scales) < 28 * EntriesNeeded(f, 4u, sc.frameCount)) ||
        (nd.matrices && ctx.size(nd.matrices) < 64 * EntriesNeeded(f, 8u, sc.frameCount)) ||
        (nd.inverseBind && ctx.size(nd.inverseBind) < 64))
      return kShortAnimation;
  }
  // Parent chains must end at a root: walk each chain once, marking nodes
  // on the current walk; meeting one again is a loop.
  std::vector<uint8_t> state(sc.nodeCount, 0);  // 0 unseen, 1 on this walk, 2 known good
  for (uint32_t i = 0; i < sc.nodeCount; ++i) {
    int32_t p = (int32_t)i;
    while (p >= 0 && state[p] == 0) {
      state[p] = 1;
      p = sc.nodes[p].parentIndex;
    }
    if (p >= 0 && state[p] == 1) return "the nodes' parents go round in a loop";
    for (p = (int32_t)i; p >= 0 && state[p] == 1; p = sc.nodes[p].parentIndex) state[p] = 2;
  }
  for (uint32_t i = 0; i < sc.meshCount; ++i)
    if (const char* why = ValidateMesh(sc, sc.meshes[i], ctx)) return why;
  return nullptr;
}

// The float data of a read scene (after any fixed point was converted):
// plausible numbers, unit normals and rotations, bone weights of 0 to 1 that
// add up to one. Data of other types is not looked at.
const char* Plausible(const SPODScene& sc) {
  auto floatAt = [](const uint8_t* p) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
  };
  for (uint32_t i = 0; i < sc.meshCount; ++i) {
    const SPODMesh& m = sc.meshes[i];
    const CPODData* const checked[] = {&m.vertices, &m.normals, m.uvwCount ? &m.uvws[0] : nullptr, &m.boneWeights};
    for (const CPODData* d : checked) {
      if (!d || !d->data || d->type != EPODDataFloat) continue;
      // As many values a vertex as Validate saw fit (drawing reads three of a normal).
      const uint32_t comps = d == &m.normals ? 3 : d->componentCount;
      const uint32_t stride = d->stride ? d->stride : 4 * comps;
      for (uint32_t v = 0; v < m.vertexCount; ++v) {
        const uint8_t* x = d->data + (size_t)v * stride;
        float sum = 0, squares = 0;
        for (uint32_t k = 0; k < comps; ++k) {
          const float c = floatAt(x + 4 * k);
          if (!Plausible(c)) return "a vertex position, normal, texture coordinate or weight is no plausible number";
          if (d == &m.boneWeights && !(c >= -kUnitSlack && c <= 1 + kUnitSlack)) return "a bone weight outside 0 to 1";
          sum += c;
          squares += c * c;
        }
        if (d == &m.normals && !Unit(squares)) return "a normal is not of unit length";
        if (d == &m.boneWeights && !Unit(sum * sum)) return "a vertex's bone weights do not add up to one";
      }
    }
  }
  for (uint32_t i = 0; i < sc.nodeCount; ++i) {
    const SPODNode& nd = sc.nodes[i];
    const uint32_t f = nd.animationFlags;
    const struct {
      const float* values;
      uint64_t count;
    } all[] = {{nd.positions, 3 * EntriesNeeded(f, 1u, sc.frameCount)},
               {nd.rotations, 4 * EntriesNeeded(f, 2u, sc.frameCount)},
               {nd.scales, 7 * EntriesNeeded(f, 4u, sc.frameCount)},
               {nd.matrices, 16 * EntriesNeeded(f, 8u, sc.frameCount)}};
    for (const auto& a : all)
      for (uint64_t k = 0; a.values && k < a.count; ++k)
        if (!Plausible(a.values[k])) return "a node's placement is no plausible number";
    for (uint64_t k = 0; nd.rotations && k < all[1].count; k += 4) {
      const float* q = nd.rotations + k;
      if (!Unit(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]))
        return "a node's rotation is not of unit length";
    }
  }
  return nullptr;
}

}  // namespace

bool ReadNode(SPODNode& node, CStreamResource& stream) { return ReadNodeImpl(node, stream, nullptr); }

bool ReadCPODData(CPODData& block, CStreamResource& stream, unsigned int tag, bool ownData) {
  return ReadDataImpl(block, stream, tag, ownData, nullptr);
}

bool CPODScene::ReadFromFile(const char* fileName, char* optionsBuffer, unsigned long optionsCapacity) {
  CResourceFile file(fileName);
  if (!file.IsOpen()) {
    // Kept with the scene: the file's own words, not one of the reader's.
    m_fileProblem = file.Problem();
    m_readError = m_fileProblem.c_str();
    return false;
  }
  return ReadFromMemory(file.StringPtr(), file.Size(), optionsBuffer, optionsCapacity);
}

bool CPODScene::ReadFromMemory(const void* data, size_t size, char* optionsBuffer, unsigned long optionsCapacity) {
  // Stream positions are 32-bit, as in a file of ours.
  CSourceStream stream;
  if (size >= 0xFFFFFFFFu || !stream.InitFromMemory(data, static_cast<unsigned int>(size))) return false;
  static_cast<SPODScene&>(*this) = SPODScene();
  evalState = nullptr;
  const bool optionsMode = optionsBuffer != nullptr;
  ReadContext ctx;
  bool versionSeen = false, complete = false;

  t_why = nullptr;
  m_readError = nullptr;
  auto fail = [&](const char* why = nullptr) {
    PODReleaseRecords(*this);
    evalState = nullptr;
    m_readError = why ? why : t_why ? t_why : "cut short, or a block runs past the end of what holds it";
    return false;
  };
  auto more = [](uint32_t read, uint32_t count) { return read < count || No("more records than its counts say"); };

  unsigned int tag, len;
  for (;;) {
    if (!stream.ReadMarker(tag, len)) break;  // end of the data
    if (tag == pod_tag::kVersion) {
      char v[11];
      if (len != 11 || !stream.Read(v, 11) || std::memcmp(v, "AB.POD.2.0", 11) != 0) return fail(kNoVersion);
      versionSeen = true;
    } else if (tag == pod_tag::kScene) {
      if (optionsMode) continue;  // the scene's blocks are then skipped one by one
      uint32_t camsRead = 0, lightsRead = 0, meshesRead = 0, nodesRead = 0, texsRead = 0, matsRead = 0;
      for (;;) {
        if (!stream.ReadMarker(tag, len)) return fail();
        if (tag == (pod_tag::kScene | kEnd)) {
          if (camsRead != cameraCount || lightsRead != lightCount || matsRead != materialCount ||
              meshesRead != meshCount || texsRead != textureCount || nodesRead != nodeCount)
            return fail("fewer records than its counts say");
          complete = true;
          break;
        }
        bool ok = true;
        switch (tag) {
          case pod_tag::kBackgroundColour:
            ok = Fixed(stream, len, backgroundColour, 12);
            break;
          case pod_tag::kAmbientColour:
            ok = Fixed(stream, len, ambientColour, 12);
            break;
          case pod_tag::kCameraCount:
            ok = ReadCount(stream, len, cameraCount, cameras);
            break;
          case pod_tag::kLightCount:
            ok = ReadCount(stream, len, lightCount, lights);
            break;
          case pod_tag::kMeshCount:
            ok = ReadCount(stream, len, meshCount, meshes);
            break;
          case pod_tag::kNodeCount:
            ok = ReadCount(stream, len, nodeCount, nodes);
            break;
          case pod_tag::kMeshNodeCount:
            ok = Fixed(stream, len, &meshNodeCount, 4);
            break;
          case pod_tag::kTextureCount:
            ok = ReadCount(stream, len, textureCount, textures);
            break;
          case pod_tag::kMaterialCount:
            ok = ReadCount(stream, len, materialCount, materials);
            break;
          case pod_tag::kFrameCount:
            ok = Fixed(stream, len, &frameCount, 4);
            break;
          case pod_tag::kCamera:
            ok = more(camsRead, cameraCount) && ReadCamera(cameras[camsRead++], stream, &ctx);
            break;
          case pod_tag::kLight:
            ok = more(lightsRead, lightCount) && ReadLight(lights[lightsRead++], stream);
            break;
          case pod_tag::kMesh:
            ok = more(meshesRead, meshCount) && ReadMesh(meshes[meshesRead++], stream, &ctx);
            break;
          case pod_tag::kNode:
            ok = more(nodesRead, nodeCount) && ReadNodeImpl(nodes[nodesRead++], stream, &ctx);
            break;
          case pod_tag::kTexture:
            ok = more(texsRead, textureCount) && ReadTexture(textures[texsRead++], stream, &ctx);
            break;
          case pod_tag::kMaterial:
            ok = more(matsRead, materialCount) && ReadMaterial(materials[matsRead++], stream, &ctx);
            break;
          case pod_tag::kFlags:
            ok = Fixed(stream, len, &flags, 4);
            break;
          default:
            ok = SkipUnknown(stream, tag, len, pod_tag::kBackgroundColour);
        }
        if (!ok) return fail();
      }
    } else if (tag == pod_tag::kExportOptions) {
      if (optionsMode) {
        const unsigned int n = (unsigned long)len < optionsCapacity ? len : (unsigned int)optionsCapacity;
        if (!stream.Read(optionsBuffer, n)) return fail();
        return InitImpl() ? true : fail();
      }
      if (!stream.Skip(len)) return fail();
    } else if (tag == (pod_tag::kScene | kEnd)) {
      // A scene end met at the top level ends the data, without the fixed-point step.
      if (optionsMode || !versionSeen || !complete) return fail(versionSeen ? nullptr : kNoVersion);
      if (const char* why = Validate(*this, ctx)) return fail(why);
      // (Fixed-point values, left unconverted here, are no floats to judge.)
      if (const char* why = flags & 1u ? nullptr : Plausible(*this)) return fail(why);
      return InitImpl() ? true : fail("no memory");
    } else {
      if (!stream.Skip(len)) return fail();
    }
  }
  if (optionsMode || !versionSeen || !complete) return fail(versionSeen ? nullptr : kNoVersion);
  if (const char* why = Validate(*this, ctx)) return fail(why);
  if (flags & 1u) ModelPODToggleFixedPoint(*this);
  if (const char* why = Plausible(*this)) return fail(why);
  return InitImpl() ? true : fail("no memory");
}
