#include "scene/mesh_shells.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <vector>

#include "scene/ModelPOD.h"

namespace {

// The bytes of vertex v in a per-vertex stream (empty without data).
struct Stream {
  const uint8_t* data = nullptr;
  size_t stride = 0, bytes = 0;
  Stream(const CPODData& d, size_t elem) {
    if (!d.data) return;
    data = d.data;
    bytes = elem;
    stride = d.stride ? d.stride : elem;
  }
  int Compare(uint32_t a, uint32_t b) const {
    return bytes ? std::memcmp(data + a * stride, data + b * stride, bytes) : 0;
  }
};

uint32_t Find(std::vector<uint32_t>& parent, uint32_t x) {
  while (parent[x] != x) x = parent[x] = parent[parent[x]];
  return x;
}

}  // namespace

MeshShells FindShells(const SPODMesh& mesh) {
  MeshShells r;
  const uint32_t n = mesh.vertexCount, faces = mesh.faceCount;
  const CPODData& v = mesh.vertices;
  if (mesh.stripCount != 0 || !mesh.faces.data || mesh.faces.type != EPODDataUnsignedShort || !v.data ||
      v.type != EPODDataFloat || v.componentCount < 3 || faces == 0)
    return r;
  const uint16_t* idx = reinterpret_cast<const uint16_t*>(mesh.faces.data);
  for (uint64_t i = 0; i < 3ull * faces; ++i)
    if (idx[i] >= n) return r;

  // Joined corners: same position, and on a skinned mesh the same bones and
  // weights, compared byte for byte.
  const Stream pos(v, 3 * sizeof(float));
  const bool skinned = mesh.boneWeights.data && mesh.boneIndices.data;
  const Stream bones(skinned ? mesh.boneIndices : CPODData{},
                     mesh.boneIndices.componentCount * PODDataTypeSize(mesh.boneIndices.type));
  const Stream weights(skinned ? mesh.boneWeights : CPODData{},
                       mesh.boneWeights.componentCount * PODDataTypeSize(mesh.boneWeights.type));
  std::vector<uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0u);
  auto compare = [&](uint32_t a, uint32_t b) {
    int c = pos.Compare(a, b);
    if (c == 0) c = bones.Compare(a, b);
    if (c == 0) c = weights.Compare(a, b);
    return c;
  };
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return compare(a, b) < 0; });
  std::vector<uint32_t> corner(n);
  uint32_t ids = 0;
  for (uint32_t k = 0; k < n; ++k) {
    if (k > 0 && compare(order[k - 1], order[k]) != 0) ++ids;
    corner[order[k]] = ids;
  }

  // Shells: corners joined through triangles.
  std::vector<uint32_t> parent(ids + 1);
  std::iota(parent.begin(), parent.end(), 0u);
  for (uint32_t t = 0; t < faces; ++t)
    for (int k = 1; k < 3; ++k) {
      const uint32_t a = Find(parent, corner[idx[3 * t]]), b = Find(parent, corner[idx[3 * t + k]]);
      if (a != b) parent[std::max(a, b)] = std::min(a, b);
    }

  // Every edge with how often it is crossed each way: +1 from the lower
  // corner to the higher, -1 back. A triangle with two corners joined gives
  // a pair that cancels and a zero-length edge that is left out.
  struct Edge {
    uint64_t key;
    int dir;
  };
  std::vector<Edge> edges;
  edges.reserve(3ull * faces);
  for (uint32_t t = 0; t < faces; ++t)
    for (int k = 0; k < 3; ++k) {
      const uint32_t a = corner[idx[3 * t + k]], b = corner[idx[3 * t + (k + 1) % 3]];
      if (a == b) continue;
      edges.push_back({uint64_t(std::min(a, b)) << 32 | std::max(a, b), a < b ? 1 : -1});
    }
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.key < b.key; });
  std::vector<char> open(ids + 1, 0);
  for (size_t i = 0; i < edges.size();) {
    size_t j = i;
    int sum = 0;
    while (j < edges.size() && edges[j].key == edges[i].key) sum += edges[j++].dir;
    if (sum != 0) {
      ++r.openEdges;
      open[Find(parent, static_cast<uint32_t>(edges[i].key >> 32))] = 1;
    } else if (j - i > 2) {
      ++r.sheetEdges;
    }
    i = j;
  }

  // Six times the volume each shell bounds.
  std::vector<double> volume(ids + 1, 0.0);
  auto at = [&](uint16_t i) {
    float p[3];
    std::memcpy(p, pos.data + i * pos.stride, sizeof p);
    return std::array<double, 3>{p[0], p[1], p[2]};
  };
  for (uint32_t t = 0; t < faces; ++t) {
    const auto a = at(idx[3 * t]), b = at(idx[3 * t + 1]), c = at(idx[3 * t + 2]);
    volume[Find(parent, corner[idx[3 * t]])] +=
        a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) + a[2] * (b[0] * c[1] - b[1] * c[0]);
  }
  std::vector<char> used(ids + 1, 0);
  for (uint32_t t = 0; t < faces; ++t) {
    const uint32_t s = Find(parent, corner[idx[3 * t]]);
    if (!used[s]) {
      used[s] = 1;
      ++r.shells;
      r.closedShells += !open[s] && volume[s] > 0;
    }
  }
  while (r.closedLeading < faces) {
    const uint32_t s = Find(parent, corner[idx[3 * r.closedLeading]]);
    if (open[s] || !(volume[s] > 0)) break;
    ++r.closedLeading;
  }
  return r;
}
