// Scene records: release, evaluation of node transforms with the two world
// caches, and the fixed-point conversion. The reader is in ModelPODRead.cpp.
#include "scene/ModelPOD.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

unsigned int PODDataTypeSize(uint32_t type) {
  switch (type) {
    case EPODDataFloat:
    case EPODDataInt:
    case EPODDataRGBA:
    case EPODDataARGB:
    case EPODDataD3DCOLOR:
    case EPODDataUBYTE4:
    case EPODDataDEC3N:
    case EPODDataFixed16_16:
      return 4;
    case EPODDataUnsignedShort:
    case EPODDataShort:
    case EPODDataShortNorm:
      return 2;
    case EPODDataUnsignedByte:
    case EPODDataByte:
    case EPODDataByteNorm:
      return 1;
    default:
      return 0;
  }
}

CPODScene::CPODScene() : SPODScene(), evalState(nullptr), m_worldComputations(0) {}

CPODScene::~CPODScene() { Destroy(); }

// Frees everything hanging from the records whatever state they are in; the
// reader's failure path uses it on half-read scenes, which have no evalState.
void PODReleaseRecords(SPODScene& s) {
  for (uint32_t i = 0; s.cameras && i < s.cameraCount; ++i) std::free(s.cameras[i].fieldOfViewAnimation);
  std::free(s.cameras);
  std::free(s.lights);
  for (uint32_t i = 0; s.materials && i < s.materialCount; ++i) {
    std::free(s.materials[i].name);
    std::free(s.materials[i].effectFile);
    std::free(s.materials[i].effectName);
  }
  std::free(s.materials);
  for (uint32_t i = 0; s.meshes && i < s.meshCount; ++i) {
    SPODMesh& m = s.meshes[i];
    std::free(m.faces.data);
    std::free(m.stripLengths);
    // The reader never keeps offsets into an interleaved block, so every
    // data pointer is an array of its own.
    std::free(m.interleaved);
    std::free(m.vertices.data);
    std::free(m.normals.data);
    std::free(m.tangents.data);
    std::free(m.binormals.data);
    for (uint32_t k = 0; m.uvws && k < m.uvwCount; ++k) std::free(m.uvws[k].data);
    std::free(m.colours.data);
    std::free(m.boneIndices.data);
    std::free(m.boneWeights.data);
    std::free(m.uvws);
    std::free(m.boneBatches.batches);
    std::free(m.boneBatches.batchBoneCounts);
    std::free(m.boneBatches.batchOffsets);
    std::free(m.boneBatches.batchVertexRanges);
    for (uint32_t k = 0; m.morphs && k < m.morphCount; ++k) {
      std::free(m.morphs[k].name);
      std::free(m.morphs[k].indices);
      std::free(m.morphs[k].deltas);
    }
    std::free(m.morphs);
  }
  std::free(s.meshes);
  for (uint32_t i = 0; s.nodes && i < s.nodeCount; ++i) {
    std::free(s.nodes[i].name);
    std::free(s.nodes[i].positions);
    std::free(s.nodes[i].rotations);
    std::free(s.nodes[i].scales);
    std::free(s.nodes[i].matrices);
    std::free(s.nodes[i].inverseBind);
  }
  std::free(s.nodes);
  for (uint32_t i = 0; s.textures && i < s.textureCount; ++i) std::free(s.textures[i]);
  std::free(s.textures);
  s = SPODScene();
}

void CPODScene::Destroy() {
  if (evalState) {
    PODReleaseRecords(*this);
    std::free(evalState->cacheStamps);
    std::free(evalState->worldCache);
    std::free(evalState->worldCacheFrame0);
    std::free(evalState);
  }
  static_cast<SPODScene&>(*this) = SPODScene();
  evalState = nullptr;
  m_poseLayer = nullptr;
}

bool PODMakeBatchVertexRanges(SPODMesh& m) {
  CBoneBatches& bb = m.boneBatches;
  std::free(bb.batchVertexRanges);
  bb.batchVertexRanges = nullptr;
  bb.batchVertexRangeCount = 0;
  if (bb.batchCount <= 0 || !bb.batchOffsets || m.stripCount != 0 || !m.faces.data) return true;
  for (int32_t b = 0; b < bb.batchCount; ++b) {
    const int32_t end = b + 1 < bb.batchCount ? bb.batchOffsets[b + 1] : (int32_t)m.faceCount;
    // Offsets out of order or past the faces: no ranges, the drawing scans.
    if (bb.batchOffsets[b] < 0 || bb.batchOffsets[b] > end || (uint32_t)end > m.faceCount) return true;
  }
  CBatchVertexRange* r =
      static_cast<CBatchVertexRange*>(std::malloc(sizeof(CBatchVertexRange) * (size_t)bb.batchCount));
  if (!r) return false;
  const uint16_t* idx = reinterpret_cast<const uint16_t*>(m.faces.data);
  for (int32_t b = 0; b < bb.batchCount; ++b) {
    const int32_t first = bb.batchOffsets[b];
    const int32_t end = b + 1 < bb.batchCount ? bb.batchOffsets[b + 1] : (int32_t)m.faceCount;
    uint16_t lo = 0xFFFF, hi = 0;
    for (size_t k = 3 * (size_t)first; k < 3 * (size_t)end; ++k) {
      lo = idx[k] < lo ? idx[k] : lo;
      hi = idx[k] > hi ? idx[k] : hi;
    }
    r[b].firstTriangle = first;
    r[b].endTriangle = end;
    r[b].firstVertex = first == end ? 0 : lo;
    r[b].endVertex = first == end ? 0 : ((uint32_t)hi + 1 < m.vertexCount ? hi + 1 : (int32_t)m.vertexCount);
  }
  bb.batchVertexRanges = r;
  bb.batchVertexRangeCount = bb.batchCount;
  return true;
}

bool CPODScene::InitImpl() {
  for (uint32_t i = 0; meshes && i < meshCount; ++i)
    if (!PODMakeBatchVertexRanges(meshes[i])) return false;
  SPODEvalState* st = static_cast<SPODEvalState*>(std::calloc(1, sizeof(SPODEvalState)));
  if (!st) return false;
  const size_t n = nodeCount ? nodeCount : 1;
  st->cacheStamps = static_cast<float*>(std::calloc(n, sizeof(float)));
  st->worldCache = static_cast<MATRIX*>(std::calloc(n, sizeof(MATRIX)));
  st->worldCacheFrame0 = static_cast<MATRIX*>(std::calloc(n, sizeof(MATRIX)));
  if (!st->cacheStamps || !st->worldCache || !st->worldCacheFrame0) {
    std::free(st->cacheStamps);
    std::free(st->worldCache);
    std::free(st->worldCacheFrame0);
    std::free(st);
    return false;
  }
  evalState = st;
  FlushCache();
  return true;
}

static void LocalMatrix(const CPODScene& s, MATRIX& out, const SPODNode& node);

void CPODScene::FlushCache() {
  if (!evalState) return;
  m_bindQuery = true;  // the frame-0 cache is the bind pose
  evalState->frameIndex = 0;
  evalState->blend = 0.0f;
  evalState->currentFrame = 0.0f;
  // Each node's world matrix is its local matrix times its parent's world
  // matrix, the very product a full walk of the chain would form; taking the
  // parent's from the cache gives the same bits in one pass instead of one
  // walk per node, which a long chain would make quadratic.
  std::vector<uint8_t> done(nodeCount, 0);
  std::vector<uint32_t> pending;
  for (uint32_t i = 0; i < nodeCount; ++i) {
    pending.clear();
    for (int32_t p = (int32_t)i; p >= 0 && (uint32_t)p < nodeCount && !done[p]; p = nodes[p].parentIndex) {
      pending.push_back((uint32_t)p);
      if (pending.size() > nodeCount) break;  // a loop; the reader refuses these
    }
    for (size_t k = pending.size(); k-- > 0;) {
      const uint32_t n = pending[k];
      const int32_t parent = nodes[n].parentIndex;
      ++m_worldComputations;
      if (parent >= 0 && (uint32_t)parent < nodeCount && done[parent]) {
        MATRIX local;
        LocalMatrix(*this, local, nodes[n]);
        MatrixMultiply(evalState->worldCacheFrame0[n], local, evalState->worldCacheFrame0[parent]);
      } else {
        --m_worldComputations;
        GetWorldMatrixNoCache(evalState->worldCacheFrame0[n], nodes[n]);
      }
      done[n] = 1;
    }
  }
  if (nodeCount) std::memcpy(evalState->worldCache, evalState->worldCacheFrame0, nodeCount * sizeof(MATRIX));
  for (uint32_t i = 0; i < nodeCount; ++i) evalState->cacheStamps[i] = 0.0f;
  m_bindQuery = false;
  // With a pose layer the cache of frame 0 is not the current pose.
  if (m_poseLayer) SetPoseLayer(m_poseLayer);
}

void CPODScene::SetPoseLayer(const MATRIX* perNode) {
  m_poseLayer = perNode;
  if (!evalState) return;
  // No frame value equals NaN: every node is computed afresh once.
  for (uint32_t i = 0; i < nodeCount; ++i) evalState->cacheStamps[i] = std::numeric_limits<float>::quiet_NaN();
}

const MATRIX* CPODScene::PoseLayerOf(const SPODNode& node) const {
  if (!m_poseLayer || m_bindQuery || !nodes) return nullptr;
  const ptrdiff_t i = &node - nodes;
  return i >= 0 && (uint32_t)i < nodeCount ? &m_poseLayer[i] : nullptr;
}

void CPODScene::SetFrame(float frame) {
  if (!evalState) return;
  if (frameCount != 0) {
    evalState->frameIndex = (int32_t)frame;
    evalState->blend = frame - (float)evalState->frameIndex;
  } else {
    evalState->frameIndex = 0;
    evalState->blend = 0.0f;
  }
  evalState->currentFrame = frame;
}

// The entry of a per-frame array to use, and whether to blend with the next.
// Outside the stored frames the nearest stored entry is used, so a caller
// that strays from [0, frameCount - 1] gets a held pose rather than a read
// past the array.
static void FrameEntry(const CPODScene& s, uint32_t flag, const SPODNode& node, int32_t& i, bool& lerp) {
  i = 0;
  lerp = false;
  if (!(node.animationFlags & flag) || !s.evalState) return;
  i = s.evalState->frameIndex;
  const int32_t last = s.frameCount ? (int32_t)s.frameCount - 1 : 0;
  if (i < 0) i = 0;
  if (i > last) i = last;
  lerp = (i + 1 < (int32_t)s.frameCount) && i == s.evalState->frameIndex;
}

void CPODScene::GetTranslationMatrix(MATRIX& out, const SPODNode& node) const {
  if (!node.positions) {
    MatrixIdentity(out);
    return;
  }
  int32_t i;
  bool lerp;
  FrameEntry(*this, 1u, node, i, lerp);
  const float* p = node.positions + 3 * i;
  VECTOR3 v = {p[0], p[1], p[2]};
  if (lerp) {
    const VECTOR3 a = v, b = {p[3], p[4], p[5]};
    MatrixVec3Lerp(v, a, b, evalState->blend);
  }
  MatrixTranslation(out, v.x, v.y, v.z);
}

void CPODScene::GetRotationMatrix(MATRIX& out, const SPODNode& node) const {
  if (!node.rotations) {
    MatrixIdentity(out);
    return;
  }
  int32_t i;
  bool lerp;
  FrameEntry(*this, 2u, node, i, lerp);
  const float* r = node.rotations + 4 * i;
  QUATERNION q = {r[0], r[1], r[2], r[3]};
  if (lerp) {
    const QUATERNION a = q, b = {r[4], r[5], r[6], r[7]};
    MatrixQuaternionSlerp(q, a, b, evalState->blend);
  }
  MatrixRotationQuaternion(out, q);
}

void CPODScene::GetScalingMatrix(MATRIX& out, const SPODNode& node) const {
  if (!node.scales) {
    MatrixIdentity(out);
    return;
  }
  int32_t i;
  bool lerp;
  FrameEntry(*this, 4u, node, i, lerp);
  const float* s = node.scales + 7 * i;
  VECTOR3 v = {s[0], s[1], s[2]};
  if (lerp) {
    const VECTOR3 a = v, b = {s[7], s[8], s[9]};
    MatrixVec3Lerp(v, a, b, evalState->blend);
  }
  MatrixScaling(out, v.x, v.y, v.z);
}

void CPODScene::GetTransformationMatrix(MATRIX& out, const SPODNode& node) const {
  if (!node.matrices) {
    MatrixIdentity(out);
    return;
  }
  int32_t i = 0;
  if ((node.animationFlags & 8u) && evalState) {
    i = evalState->frameIndex;
    const int32_t last = frameCount ? (int32_t)frameCount - 1 : 0;
    if (i < 0) i = 0;
    if (i > last) i = last;
  }
  std::memcpy(out.f, node.matrices + 16 * i, sizeof out.f);
}

static void LocalMatrix(const CPODScene& s, MATRIX& out, const SPODNode& node) {
  if (node.matrices) {
    s.GetTransformationMatrix(out, node);
    return;
  }
  MATRIX m;
  s.GetScalingMatrix(out, node);
  s.GetRotationMatrix(m, node);
  MatrixMultiply(out, out, m);
  if (const MATRIX* layer = s.PoseLayerOf(node)) MatrixMultiply(out, out, *layer);
  s.GetTranslationMatrix(m, node);
  MatrixMultiply(out, out, m);
}

void CPODScene::GetWorldMatrixNoCache(MATRIX& out, const SPODNode& node) const {
  ++m_worldComputations;
  // world(n) = local(n) x world(parent), evaluated from the root down so the
  // products associate exactly as the recursive definition does, without
  // recursion as deep as the chain.
  int32_t small[64];
  std::vector<int32_t> big;
  int count = 0;
  for (int32_t p = node.parentIndex; p >= 0 && (uint32_t)p < nodeCount; p = nodes[p].parentIndex) {
    if (count < 64) {
      small[count] = p;
    } else {
      if (big.empty()) big.assign(small, small + 64);
      big.push_back(p);
    }
    if ((uint32_t)++count > nodeCount) break;  // a loop; the reader refuses these
  }
  const int32_t* chain = count > 64 ? big.data() : small;
  MATRIX acc, local;
  MatrixIdentity(acc);
  for (int k = count - 1; k >= 0; --k) {
    LocalMatrix(*this, local, nodes[chain[k]]);
    if (k == count - 1)
      acc = local;
    else
      MatrixMultiply(acc, local, acc);
  }
  LocalMatrix(*this, local, node);
  if (count)
    MatrixMultiply(out, local, acc);
  else
    out = local;
}

void CPODScene::GetWorldMatrix(MATRIX& out, const SPODNode& node) const {
  const ptrdiff_t i = &node - nodes;
  if (!evalState || !nodes || i < 0 || (uint32_t)i >= nodeCount) {
    GetWorldMatrixNoCache(out, node);
    return;
  }
  if (evalState->currentFrame == 0.0f && (!m_poseLayer || m_bindQuery)) {
    out = evalState->worldCacheFrame0[i];
  } else if (evalState->cacheStamps[i] == evalState->currentFrame) {
    out = evalState->worldCache[i];
  } else {
    GetWorldMatrixNoCache(out, node);
    evalState->cacheStamps[i] = evalState->currentFrame;
    evalState->worldCache[i] = out;
  }
}

void CPODScene::GetBoneWorldMatrix(MATRIX& out, const SPODNode& meshNode, const SPODNode& boneNode) {
  const float frame = evalState ? evalState->currentFrame : 0.0f;
  if (boneNode.inverseBind) {
    // The bind pose is the file's own, not frame 0's.
    SetFrame(0.0f);
    m_bindQuery = true;
    GetWorldMatrix(out, meshNode);
    m_bindQuery = false;
    SetFrame(frame);
    MATRIX bind, now;
    std::memcpy(bind.f, boneNode.inverseBind, sizeof bind.f);
    MatrixMultiply(out, out, bind);
    GetWorldMatrix(now, boneNode);
    MatrixMultiply(out, out, now);
    return;
  }
  SetFrame(0.0f);
  m_bindQuery = true;
  GetWorldMatrix(out, meshNode);
  MATRIX tmp;
  GetWorldMatrix(tmp, boneNode);
  m_bindQuery = false;
  MatrixInverse(tmp, tmp);
  MatrixMultiply(out, out, tmp);
  SetFrame(frame);
  GetWorldMatrix(tmp, boneNode);
  MatrixMultiply(out, out, tmp);
}

// ---- fixed point ------------------------------------------------------------

void FixedToFloat(float* dst, const int* src, unsigned int n) {
  if (!dst || !src || n == 0) return;
  for (unsigned int i = n; i-- > 0;) {
    int v;
    std::memcpy(&v, src + i, sizeof v);
    const float f = (float)v * 1.52587890625e-05f;
    std::memcpy(dst + i, &f, sizeof f);
  }
}

void FloatToFixed(int* dst, const float* src, unsigned int n) {
  if (!dst || !src || n == 0) return;
  for (unsigned int i = n; i-- > 0;) {
    float f;
    std::memcpy(&f, src + i, sizeof f);
    // Out-of-range values saturate instead of being undefined.
    const float s = f * 65536.0f;
    int v;
    if (!(s == s))
      v = 0;
    else if (s >= 2147483647.0f)
      v = 2147483647;
    else if (s <= -2147483648.0f)
      v = (-2147483647 - 1);
    else
      v = (int)s;
    std::memcpy(dst + i, &v, sizeof v);
  }
}

static void Toggle(bool toFloat, float* p, unsigned int n) {
  if (toFloat)
    FixedToFloat(p, reinterpret_cast<const int*>(p), n);
  else
    FloatToFixed(reinterpret_cast<int*>(p), p, n);
}

void ModelPODToggleFixedPoint(SPODScene& s) {
  const bool toFloat = (s.flags & 1u) != 0;
  for (uint32_t i = 0; s.cameras && i < s.cameraCount; ++i) {
    SPODCameraEntry& c = s.cameras[i];
    Toggle(toFloat, &c.fieldOfView, 1);
    Toggle(toFloat, &c.farDistance, 1);
    Toggle(toFloat, &c.nearDistance, 1);
    Toggle(toFloat, c.fieldOfViewAnimation, s.frameCount);
  }
  for (uint32_t i = 0; s.lights && i < s.lightCount; ++i) Toggle(toFloat, s.lights[i].colour, 3);
  for (uint32_t i = 0; s.nodes && i < s.nodeCount; ++i) {
    SPODNode& n = s.nodes[i];
    const uint32_t f = n.animationFlags;
    Toggle(toFloat, n.positions, 3 * ((f & 1u) ? s.frameCount : 1));
    Toggle(toFloat, n.rotations, 4 * ((f & 2u) ? s.frameCount : 1));
    Toggle(toFloat, n.scales, 7 * ((f & 4u) ? s.frameCount : 1));
    Toggle(toFloat, n.matrices, 16 * ((f & 8u) ? s.frameCount : 1));
    Toggle(toFloat, n.inverseBind, 16);
  }
  for (uint32_t i = 0; s.meshes && i < s.meshCount; ++i)
    for (uint32_t k = 0; s.meshes[i].morphs && k < s.meshes[i].morphCount; ++k) {
      SPODMorph& mo = s.meshes[i].morphs[k];
      Toggle(toFloat, &mo.weight, 1);
      Toggle(toFloat, mo.deltas, 6 * mo.count);
    }
  for (uint32_t i = 0; s.materials && i < s.materialCount; ++i) {
    SPODMaterial& m = s.materials[i];
    Toggle(toFloat, &m.opacity, 1);
    Toggle(toFloat, m.ambient, 3);
    Toggle(toFloat, m.diffuse, 3);
    Toggle(toFloat, m.specular, 3);
    Toggle(toFloat, &m.shininess, 1);
    Toggle(toFloat, &m.alphaCutoff, 1);
  }
  Toggle(toFloat, s.backgroundColour, 3);
  Toggle(toFloat, s.ambientColour, 3);
  s.flags ^= 1u;
}
