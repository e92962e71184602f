#include "scene/PODWriter.h"

#include "scene/PODTags.h"

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using pod_tag::kEnd;

struct Out {
  std::vector<uint8_t>& b;
  void raw(const void* p, size_t n) {
    const uint8_t* c = static_cast<const uint8_t*>(p);
    b.insert(b.end(), c, c + n);
  }
  void marker(uint32_t tag, uint32_t len) {
    raw(&tag, 4);
    raw(&len, 4);
  }
  void leaf(uint32_t tag, const void* p, size_t n) {
    marker(tag, (uint32_t)n);
    if (n) raw(p, n);
  }
  void u32(uint32_t tag, uint32_t v) { leaf(tag, &v, 4); }
  void i32(uint32_t tag, int32_t v) { leaf(tag, &v, 4); }
  void str(uint32_t tag, const char* s) {
    if (s) leaf(tag, s, std::strlen(s) + 1);
  }
  void begin(uint32_t tag) { marker(tag, 0); }
  void end(uint32_t tag) { marker(tag | kEnd, 0); }
};

void WriteData(Out& o, uint32_t tag, const CPODData& d, size_t bytes) {
  if (!d.data && d.type == 0 && d.componentCount == 0 && d.stride == 0) return;
  o.begin(tag);
  o.u32(pod_tag::kDataType, d.type);
  o.u32(pod_tag::kDataComponents, d.componentCount);
  o.u32(pod_tag::kDataStride, d.stride);
  if (d.data) o.leaf(pod_tag::kDataBytes, d.data, bytes);
  o.end(tag);
}

size_t Entries(uint32_t flags, uint32_t bit, uint32_t frameCount) {
  return (flags & bit) && frameCount > 1 ? frameCount : 1;
}

void WriteMesh(Out& o, const SPODMesh& m) {
  o.begin(pod_tag::kMesh);
  o.u32(pod_tag::kMeshVertexCount, m.vertexCount);
  o.u32(pod_tag::kMeshFaceCount, m.faceCount);
  o.u32(pod_tag::kMeshUvwCount, m.uvwCount);
  if (m.stripCount) {
    o.u32(pod_tag::kMeshStripCount, m.stripCount);
    if (m.stripLengths) o.leaf(pod_tag::kMeshStripLengths, m.stripLengths, (size_t)m.stripCount * 4);
  }
  const size_t faceBytes =
      (size_t)PODIndexCount(m) * (PODDataTypeSize(m.faces.type) ? PODDataTypeSize(m.faces.type) : 2);
  WriteData(o, pod_tag::kMeshFaces, m.faces, faceBytes);
  WriteData(o, pod_tag::kMeshVertices, m.vertices, PODDataBytes(m.vertices, m.vertexCount));
  WriteData(o, pod_tag::kMeshNormals, m.normals, PODDataBytes(m.normals, m.vertexCount));
  WriteData(o, pod_tag::kMeshTangents, m.tangents, PODDataBytes(m.tangents, m.vertexCount));
  WriteData(o, pod_tag::kMeshBinormals, m.binormals, PODDataBytes(m.binormals, m.vertexCount));
  for (uint32_t k = 0; k < m.uvwCount; ++k) {
    o.begin(pod_tag::kMeshUvw);
    const CPODData& uv = m.uvws[k];
    o.u32(pod_tag::kDataType, uv.type);
    o.u32(pod_tag::kDataComponents, uv.componentCount);
    o.u32(pod_tag::kDataStride, uv.stride);
    if (uv.data) o.leaf(pod_tag::kDataBytes, uv.data, PODDataBytes(uv, m.vertexCount));
    o.end(pod_tag::kMeshUvw);
  }
  WriteData(o, pod_tag::kMeshColours, m.colours, PODDataBytes(m.colours, m.vertexCount));
  WriteData(o, pod_tag::kMeshBoneIndices, m.boneIndices, PODDataBytes(m.boneIndices, m.vertexCount));
  WriteData(o, pod_tag::kMeshBoneWeights, m.boneWeights, PODDataBytes(m.boneWeights, m.vertexCount));
  const CBoneBatches& bb = m.boneBatches;
  if (bb.batchCount > 0) {
    const size_t cnt = (size_t)bb.batchCount;
    if (bb.batches) o.leaf(pod_tag::kMeshBatches, bb.batches, cnt * (size_t)bb.batchBoneMax * 4);
    if (bb.batchBoneCounts) o.leaf(pod_tag::kMeshBatchBoneCounts, bb.batchBoneCounts, cnt * 4);
    if (bb.batchOffsets) o.leaf(pod_tag::kMeshBatchOffsets, bb.batchOffsets, cnt * 4);
    o.i32(pod_tag::kMeshBatchBoneMax, bb.batchBoneMax);
    o.i32(pod_tag::kMeshBatchCount, bb.batchCount);
  }
  if (m.closedFaces) o.u32(pod_tag::kMeshClosedFaces, m.closedFaces);
  if (m.morphCount) {
    o.u32(pod_tag::kMeshMorphCount, m.morphCount);
    for (uint32_t k = 0; k < m.morphCount; ++k) {
      const SPODMorph& mo = m.morphs[k];
      o.begin(pod_tag::kMeshMorph);
      o.str(pod_tag::kMorphName, mo.name);
      o.leaf(pod_tag::kMorphWeight, &mo.weight, 4);
      if (mo.count) {
        o.leaf(pod_tag::kMorphIndices, mo.indices, (size_t)mo.count * 4);
        o.leaf(pod_tag::kMorphDeltas, mo.deltas, (size_t)mo.count * 24);
      }
      o.end(pod_tag::kMeshMorph);
    }
  }
  o.end(pod_tag::kMesh);
}

void WriteNode(Out& o, const SPODNode& n, uint32_t frameCount, bool staticTransforms) {
  o.begin(pod_tag::kNode);
  o.i32(pod_tag::kNodeMesh, n.meshIndex);
  o.str(pod_tag::kNodeName, n.name);
  o.i32(pod_tag::kNodeMaterial, n.materialIndex);
  o.i32(pod_tag::kNodeParent, n.parentIndex);
  const uint32_t f = n.animationFlags;
  // Static blocks stand for one-entry arrays; the reader rebuilds the arrays
  // from them, so only a node carrying all three can be written that way.
  const bool asStatic = staticTransforms && n.positions && n.rotations && n.scales && !(f & 7u);
  if (asStatic) {
    o.leaf(pod_tag::kNodeStaticPosition, n.positions, 12);
    o.leaf(pod_tag::kNodeStaticRotation, n.rotations, 16);
    o.leaf(pod_tag::kNodeStaticScale, n.scales, 12);
  } else {
    if (n.positions) o.leaf(pod_tag::kNodePositions, n.positions, 12 * Entries(f, 1u, frameCount));
    if (n.rotations) o.leaf(pod_tag::kNodeRotations, n.rotations, 16 * Entries(f, 2u, frameCount));
    if (n.scales) o.leaf(pod_tag::kNodeScales, n.scales, 28 * Entries(f, 4u, frameCount));
  }
  if (n.matrices) o.leaf(pod_tag::kNodeMatrices, n.matrices, 64 * Entries(f, 8u, frameCount));
  if (n.inverseBind) o.leaf(pod_tag::kNodeInverseBind, n.inverseBind, 64);
  o.u32(pod_tag::kNodeAnimationFlags, f);
  o.end(pod_tag::kNode);
}

}  // namespace

void* PODCalloc(size_t count, size_t size) { return std::calloc(count ? count : 1, size ? size : 1); }

char* PODStrDup(const char* s) {
  if (!s) return nullptr;
  const size_t n = std::strlen(s) + 1;
  char* d = static_cast<char*>(std::malloc(n));
  if (d) std::memcpy(d, s, n);
  return d;
}

size_t PODDataBytes(const CPODData& d, uint32_t count) {
  if (!d.data || count == 0) return 0;
  const size_t elem = (size_t)PODDataTypeSize(d.type) * d.componentCount;
  const size_t stride = d.stride ? d.stride : elem;
  return (size_t)(count - 1) * stride + elem;
}

uint64_t PODIndexCount(const SPODMesh& m) {
  if (m.stripCount == 0) return (uint64_t)m.faceCount * 3;
  uint64_t n = 0;
  for (uint32_t s = 0; m.stripLengths && s < m.stripCount; ++s) n += (uint64_t)m.stripLengths[s] + 2;
  return n;
}

bool PODWriteToBuffer(const SPODScene& s, std::vector<uint8_t>& out, const PODWriteOptions& opt) {
  out.clear();
  Out o{out};
  o.leaf(pod_tag::kVersion, "AB.POD.2.0", 11);
  if (opt.exportOptions && !opt.optionsAfterScene)
    o.leaf(pod_tag::kExportOptions, opt.exportOptions, opt.exportOptionsLength);
  o.begin(pod_tag::kScene);
  o.leaf(pod_tag::kBackgroundColour, s.backgroundColour, 12);
  o.leaf(pod_tag::kAmbientColour, s.ambientColour, 12);
  o.u32(pod_tag::kCameraCount, s.cameraCount);
  o.u32(pod_tag::kLightCount, s.lightCount);
  o.u32(pod_tag::kMeshCount, s.meshCount);
  o.u32(pod_tag::kNodeCount, s.nodeCount);
  o.u32(pod_tag::kMeshNodeCount, s.meshNodeCount);
  o.u32(pod_tag::kTextureCount, s.textureCount);
  o.u32(pod_tag::kMaterialCount, s.materialCount);
  o.u32(pod_tag::kFrameCount, s.frameCount);
  o.u32(pod_tag::kFlags, s.flags);
  for (uint32_t i = 0; i < s.cameraCount; ++i) {
    const SPODCameraEntry& c = s.cameras[i];
    o.begin(pod_tag::kCamera);
    o.i32(pod_tag::kCameraTarget, c.targetIndex);
    o.leaf(pod_tag::kCameraFieldOfView, &c.fieldOfView, 4);
    o.leaf(pod_tag::kCameraFar, &c.farDistance, 4);
    o.leaf(pod_tag::kCameraNear, &c.nearDistance, 4);
    if (c.fieldOfViewAnimation)
      o.leaf(pod_tag::kCameraFieldOfViewAnimation, c.fieldOfViewAnimation, (size_t)s.frameCount * 4);
    o.end(pod_tag::kCamera);
  }
  for (uint32_t i = 0; i < s.lightCount; ++i) {
    const SPODLightEntry& l = s.lights[i];
    o.begin(pod_tag::kLight);
    o.i32(pod_tag::kLightTarget, l.targetIndex);
    o.leaf(pod_tag::kLightColour, l.colour, 12);
    o.u32(pod_tag::kLightType, l.lightType);
    o.end(pod_tag::kLight);
  }
  for (uint32_t i = 0; i < s.meshCount; ++i) WriteMesh(o, s.meshes[i]);
  for (uint32_t i = 0; i < s.nodeCount; ++i) WriteNode(o, s.nodes[i], s.frameCount, opt.staticTransforms);
  for (uint32_t i = 0; i < s.textureCount; ++i) {
    o.begin(pod_tag::kTexture);
    o.str(pod_tag::kTextureName, s.textures[i]);
    o.end(pod_tag::kTexture);
  }
  for (uint32_t i = 0; i < s.materialCount; ++i) {
    const SPODMaterial& m = s.materials[i];
    o.begin(pod_tag::kMaterial);
    o.str(pod_tag::kMaterialName, m.name);
    o.i32(pod_tag::kMaterialTexture, m.textureIndex);
    o.leaf(pod_tag::kMaterialOpacity, &m.opacity, 4);
    o.leaf(pod_tag::kMaterialAmbient, m.ambient, 12);
    o.leaf(pod_tag::kMaterialDiffuse, m.diffuse, 12);
    o.leaf(pod_tag::kMaterialSpecular, m.specular, 12);
    o.leaf(pod_tag::kMaterialShininess, &m.shininess, 4);
    o.str(pod_tag::kMaterialEffectFile, m.effectFile);
    o.str(pod_tag::kMaterialEffectName, m.effectName);
    // Only an imported character's materials have these; the built-in
    // files stay as they were.
    if (m.alphaMode) o.u32(pod_tag::kMaterialAlphaMode, m.alphaMode);
    if (m.alphaMode) o.leaf(pod_tag::kMaterialAlphaCutoff, &m.alphaCutoff, 4);
    if (m.flags) o.u32(pod_tag::kMaterialFlags, m.flags);
    o.end(pod_tag::kMaterial);
  }
  o.end(pod_tag::kScene);
  if (opt.exportOptions && opt.optionsAfterScene)
    o.leaf(pod_tag::kExportOptions, opt.exportOptions, opt.exportOptionsLength);
  return true;
}

bool PODWriteToFile(const SPODScene& s, const char* path, const PODWriteOptions& opt) {
  if (!path) return false;
  std::vector<uint8_t> buf;
  if (!PODWriteToBuffer(s, buf, opt)) return false;
  const std::string tmp = std::string(path) + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
  if (std::fclose(f) != 0 || !ok) {
    std::remove(tmp.c_str());
    return false;
  }
  if (std::rename(tmp.c_str(), path) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}
