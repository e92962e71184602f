#include "scene/PODWriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

const uint32_t kEnd = 0x80000000u;

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
  o.u32(9000, d.type);
  o.u32(9001, d.componentCount);
  o.u32(9002, d.stride);
  if (d.data) o.leaf(9003, d.data, bytes);
  o.end(tag);
}

size_t Entries(uint32_t flags, uint32_t bit, uint32_t frameCount) {
  return (flags & bit) && frameCount > 1 ? frameCount : 1;
}

void WriteMesh(Out& o, const SPODMesh& m) {
  o.begin(2012);
  o.u32(6000, m.vertexCount);
  o.u32(6001, m.faceCount);
  o.u32(6002, m.uvwCount);
  if (m.stripCount) {
    o.u32(6005, m.stripCount);
    if (m.stripLengths) o.leaf(6004, m.stripLengths, (size_t)m.stripCount * 4);
  }
  const size_t faceBytes = (size_t)PODIndexCount(m) * (PODDataTypeSize(m.faces.type) ? PODDataTypeSize(m.faces.type) : 2);
  WriteData(o, 6003, m.faces, faceBytes);
  WriteData(o, 6006, m.vertices, PODDataBytes(m.vertices, m.vertexCount));
  WriteData(o, 6007, m.normals, PODDataBytes(m.normals, m.vertexCount));
  WriteData(o, 6008, m.tangents, PODDataBytes(m.tangents, m.vertexCount));
  WriteData(o, 6009, m.binormals, PODDataBytes(m.binormals, m.vertexCount));
  for (uint32_t k = 0; k < m.uvwCount; ++k) {
    o.begin(6010);
    const CPODData& uv = m.uvws[k];
    o.u32(9000, uv.type);
    o.u32(9001, uv.componentCount);
    o.u32(9002, uv.stride);
    if (uv.data) o.leaf(9003, uv.data, PODDataBytes(uv, m.vertexCount));
    o.end(6010);
  }
  WriteData(o, 6011, m.colours, PODDataBytes(m.colours, m.vertexCount));
  WriteData(o, 6012, m.boneIndices, PODDataBytes(m.boneIndices, m.vertexCount));
  WriteData(o, 6013, m.boneWeights, PODDataBytes(m.boneWeights, m.vertexCount));
  const CBoneBatches& bb = m.boneBatches;
  if (bb.batchCount > 0) {
    const size_t cnt = (size_t)bb.batchCount;
    if (bb.batches) o.leaf(6015, bb.batches, cnt * (size_t)bb.batchBoneMax * 4);
    if (bb.batchBoneCounts) o.leaf(6016, bb.batchBoneCounts, cnt * 4);
    if (bb.batchOffsets) o.leaf(6017, bb.batchOffsets, cnt * 4);
    o.i32(6018, bb.batchBoneMax);
    o.i32(6019, bb.batchCount);
  }
  o.end(2012);
}

void WriteNode(Out& o, const SPODNode& n, uint32_t frameCount, bool staticTransforms) {
  o.begin(2013);
  o.i32(5000, n.meshIndex);
  o.str(5001, n.name);
  o.i32(5002, n.materialIndex);
  o.i32(5003, n.parentIndex);
  const uint32_t f = n.animationFlags;
  // Static blocks stand for one-entry arrays; the reader rebuilds the arrays
  // from them, so only a node carrying all three can be written that way.
  const bool asStatic = staticTransforms && n.positions && n.rotations && n.scales && !(f & 7u);
  if (asStatic) {
    o.leaf(5004, n.positions, 12);
    o.leaf(5005, n.rotations, 16);
    o.leaf(5006, n.scales, 12);
  } else {
    if (n.positions) o.leaf(5007, n.positions, 12 * Entries(f, 1u, frameCount));
    if (n.rotations) o.leaf(5008, n.rotations, 16 * Entries(f, 2u, frameCount));
    if (n.scales) o.leaf(5009, n.scales, 28 * Entries(f, 4u, frameCount));
  }
  if (n.matrices) o.leaf(5011, n.matrices, 64 * Entries(f, 8u, frameCount));
  o.u32(5012, f);
  o.end(2013);
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
  o.leaf(1000, "AB.POD.2.0", 11);
  if (opt.exportOptions && !opt.optionsAfterScene) o.leaf(1002, opt.exportOptions, opt.exportOptionsLength);
  o.begin(1001);
  o.leaf(2000, s.backgroundColour, 12);
  o.leaf(2001, s.ambientColour, 12);
  o.u32(2002, s.cameraCount);
  o.u32(2003, s.lightCount);
  o.u32(2004, s.meshCount);
  o.u32(2005, s.nodeCount);
  o.u32(2006, s.meshNodeCount);
  o.u32(2007, s.textureCount);
  o.u32(2008, s.materialCount);
  o.u32(2009, s.frameCount);
  o.u32(2016, s.flags);
  for (uint32_t i = 0; i < s.cameraCount; ++i) {
    const SPODCameraEntry& c = s.cameras[i];
    o.begin(2010);
    o.i32(8000, c.targetIndex);
    o.leaf(8001, &c.fieldOfView, 4);
    o.leaf(8002, &c.farDistance, 4);
    o.leaf(8003, &c.nearDistance, 4);
    if (c.fieldOfViewAnimation) o.leaf(8004, c.fieldOfViewAnimation, (size_t)s.frameCount * 4);
    o.end(2010);
  }
  for (uint32_t i = 0; i < s.lightCount; ++i) {
    const SPODLightEntry& l = s.lights[i];
    o.begin(2011);
    o.i32(7000, l.targetIndex);
    o.leaf(7001, l.colour, 12);
    o.u32(7002, l.lightType);
    o.end(2011);
  }
  for (uint32_t i = 0; i < s.meshCount; ++i) WriteMesh(o, s.meshes[i]);
  for (uint32_t i = 0; i < s.nodeCount; ++i) WriteNode(o, s.nodes[i], s.frameCount, opt.staticTransforms);
  for (uint32_t i = 0; i < s.textureCount; ++i) {
    o.begin(2014);
    o.str(4000, s.textures[i]);
    o.end(2014);
  }
  for (uint32_t i = 0; i < s.materialCount; ++i) {
    const SPODMaterial& m = s.materials[i];
    o.begin(2015);
    o.str(3000, m.name);
    o.i32(3001, m.textureIndex);
    o.leaf(3002, &m.opacity, 4);
    o.leaf(3003, m.ambient, 12);
    o.leaf(3004, m.diffuse, 12);
    o.leaf(3005, m.specular, 12);
    o.leaf(3006, &m.shininess, 4);
    o.str(3007, m.effectFile);
    o.str(3008, m.effectName);
    o.end(2015);
  }
  o.end(1001);
  if (opt.exportOptions && opt.optionsAfterScene) o.leaf(1002, opt.exportOptions, opt.exportOptionsLength);
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
