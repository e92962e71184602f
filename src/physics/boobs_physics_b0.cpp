#include "physics/boobs_physics_b0.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

#include "scene/ModelPOD.h"
#include "scene/PODWriter.h"

PhySkinObj phy_skin;

namespace {

const float kMergeDistance2 = 0.0001f;  // points closer than 0.01 are one point
const float kRestFactor = 0.35f;        // springs start stretched by 1 / 0.35
const float kMinRestLen = 0.01f;
const float kDamping = 0.95f;
const float kNormalPush = 12.5f;
const float kSpringGain = 5.0f;
const float kForceClamp = 5500.0f;
const float kExternalGain = 0.08f;

bool IsSoft(const unsigned char* colours, uint32_t index) { return colours[index * 4] != 255; }

float InvMassOfMark(unsigned char mark) {
  if (mark > 250) return 0.0f;
  return 1.0f / (300.0f - static_cast<float>(mark));
}

bool LinkExists(const PhySkinObj* obj, int ia, int ib) {
  for (int i = 0; i < obj->n_link; ++i) {
    const PhyLink& l = obj->link[i];
    if ((l.a == ia && l.b == ib) || (l.a == ib && l.b == ia)) return true;
  }
  return false;
}

// A block read as a packed array of `size`-byte elements: a stride of 0 or
// the element size. Anything else would be read wrongly, so it is refused.
bool IsPacked(const CPODData& d, uint32_t size) { return d.stride == 0 || d.stride == size; }

// One spring's impulse along a -> b from its end-to-end vector (replaced by
// the impulse) and rest length.
inline void SpringImpulse(float& x, float& y, float& z, float rest) {
  const float len = std::sqrt(x * x + y * y + z * z);
  // Two ends on the same spot have no direction to push along; the spring
  // waits until the points part again.
  if (!(len > 0.0f)) {
    x = y = z = 0.0f;
    return;
  }
  const float inv = 1.0f / len;
  float strain = len - rest;
  if (len > rest) strain = strain * strain;  // stretched springs pull harder
  float f = strain * kSpringGain / len;
  if (f > kForceClamp) f = kForceClamp;
  if (f < -kForceClamp) f = -kForceClamp;
  x = f * (x * inv);
  y = f * (y * inv);
  z = f * (z * inv);
}

}  // namespace

int PhyVertexFound(PhySkinObj* obj, const float* p) {
  for (int i = 0; i < obj->n_vertex; ++i) {
    const float* q = obj->vertex[i].pos;
    const float dx = q[0] - p[0], dy = q[1] - p[1], dz = q[2] - p[2];
    if (dx * dx + dy * dy + dz * dz < kMergeDistance2) return i;
  }
  return -1;
}

int TryAddVertex(PhySkinObj* obj, unsigned char* colours, VECTOR3* positions, VECTOR3* normals, int index) {
  // A position that is not a number matches no point, so each edge would add
  // it again and fill the network with copies that no spring can hold.
  const VECTOR3& p = positions[index];
  if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
    std::fprintf(stderr, " -------- Physics: Bad position!  unable to add src[%d]\n", index);
    return -1;
  }
  const int found = PhyVertexFound(obj, &positions[index].x);
  if (found >= 0) {
    int32_t* row = obj->mesh_index[found];
    for (int s = 0; s < kPhyMeshIndexSlots; ++s) {
      if (row[s] == index) return found;
      if (row[s] == -1) {
        row[s] = index;
        std::fprintf(stderr, "Physics: Vertices merged: dest[%d] <- src[", found);
        for (int t = 0; t <= s; ++t) std::fprintf(stderr, " %d", row[t]);
        std::fprintf(stderr, " ]\n");
        return found;
      }
    }
    std::fprintf(stderr, " -------- Physics: Index Overflow!  unable to add dest[%d] <- src[%d]\n", found, index);
    return found;
  }
  if (obj->n_vertex >= kPhyMaxVertex) {
    // A full network keeps what it has; the vertex stays where the mesh put it.
    std::fprintf(stderr, " -------- Physics: Vertex Overflow!  unable to add src[%d]\n", index);
    return -1;
  }
  const int n = obj->n_vertex;
  PhyVertex& v = obj->vertex[n];
  v.pos[0] = positions[index].x;
  v.pos[1] = positions[index].y;
  v.pos[2] = positions[index].z;
  v.normal[0] = normals[index].x;
  v.normal[1] = normals[index].y;
  v.normal[2] = normals[index].z;
  v.momentum[0] = v.momentum[1] = v.momentum[2] = 0.0f;
  v.inv_mass = InvMassOfMark(colours[index * 4]);
  v.damping = kDamping;
  obj->mesh_index[n][0] = index;
  for (int s = 1; s < kPhyMeshIndexSlots; ++s) obj->mesh_index[n][s] = -1;
  obj->n_vertex = n + 1;
  return n;
}

void PhyDelVertex(PhySkinObj* obj, int k) {
  if (k < 0 || k >= obj->n_vertex) return;
  const int rest = obj->n_vertex - 1 - k;
  std::memmove(&obj->vertex[k], &obj->vertex[k + 1], rest * sizeof(PhyVertex));
  std::memmove(&obj->mesh_index[k], &obj->mesh_index[k + 1], rest * sizeof(obj->mesh_index[0]));
  obj->n_vertex -= 1;
  // The freed row must not keep indices: a later point added there would
  // otherwise inherit them.
  for (int s = 0; s < kPhyMeshIndexSlots; ++s) obj->mesh_index[obj->n_vertex][s] = -1;

  int kept = 0;
  for (int i = 0; i < obj->n_link; ++i) {
    PhyLink l = obj->link[i];
    if (l.a == k || l.b == k) continue;
    if (l.a > k) l.a -= 1;
    if (l.b > k) l.b -= 1;
    obj->link[kept++] = l;
  }
  obj->n_link = kept;
}

void RemoveFuckingTie(PhySkinObj* obj) {
  bool removed = true;
  while (removed) {
    removed = false;
    for (int i = 0; i < obj->n_vertex; ++i) {
      int count = 0;
      for (int j = 0; j < obj->n_link; ++j)
        if (obj->link[j].a == i || obj->link[j].b == i) ++count;
      if (count <= 1 || (count == 2 && static_cast<double>(obj->vertex[i].inv_mass) > 0.0001)) {
        std::fprintf(stderr, "Physics: vertex %d deleted\n", i);
        PhyDelVertex(obj, i);
        removed = true;
      }
    }
  }
}

namespace {

// The one mesh of a soft-part scene, when it has the layout the network is
// built from (packed float positions and normals, ARGB marks, 16-bit
// triangle indices that name its vertices); *triangles is how many it holds.
// Otherwise null, after one message on standard error.
const SPODMesh* NetworkMesh(CPODScene* scene, uint64_t* triangles) {
  if (scene == nullptr || scene->meshNodeCount != 1) {
    std::fprintf(stderr, "Physics: Number of mesh nodes in scene is not 1");
    return nullptr;
  }
  if (scene->nodes == nullptr || scene->nodes[0].meshIndex < 0 ||
      static_cast<uint32_t>(scene->nodes[0].meshIndex) >= scene->meshCount || scene->meshes == nullptr) {
    std::fprintf(stderr, "Physics: Mesh node has no mesh");
    return nullptr;
  }
  const SPODMesh& mesh = scene->meshes[scene->nodes[0].meshIndex];

  if (!mesh.vertices.data || mesh.vertices.type != EPODDataFloat || mesh.vertices.componentCount != 3 ||
      !IsPacked(mesh.vertices, 12)) {
    std::fprintf(stderr, "Physics: Mesh vertices must be of float[3] type");
    return nullptr;
  }
  if (!mesh.normals.data || mesh.normals.type != EPODDataFloat || mesh.normals.componentCount != 3 ||
      !IsPacked(mesh.normals, 12)) {
    std::fprintf(stderr, "Physics: Mesh normals must be of float[3] type");
    return nullptr;
  }
  if (!mesh.colours.data || mesh.colours.type != EPODDataARGB || mesh.colours.componentCount < 1 ||
      !IsPacked(mesh.colours, 4)) {
    std::fprintf(stderr, "Physics: Mesh vertex colors must be of ARGB type");
    return nullptr;
  }
  if (!mesh.faces.data || mesh.faces.type != EPODDataUnsignedShort || !IsPacked(mesh.faces, 2)) {
    std::fprintf(stderr, "Physics: Mesh face indices must be of ushort[3] type");
    return nullptr;
  }

  // The faces are read as a triangle list; strips hold fewer indices than
  // that, so never read past what the block really holds.
  *triangles = PODIndexCount(mesh) / 3;
  if (*triangles > mesh.faceCount) *triangles = mesh.faceCount;
  const uint16_t* faces = reinterpret_cast<const uint16_t*>(mesh.faces.data);
  for (uint64_t i = 0; i < *triangles * 3; ++i) {
    if (faces[i] >= mesh.vertexCount) {
      std::fprintf(stderr, "Physics: Mesh face index %u out of range", faces[i]);
      return nullptr;
    }
  }
  return &mesh;
}

// A point for every corner of an edge with a soft end, in the order the
// triangles list them.
void AddPoints(PhySkinObj* obj, const SPODMesh& mesh, uint64_t triangles) {
  const uint16_t* faces = reinterpret_cast<const uint16_t*>(mesh.faces.data);
  unsigned char* colours = mesh.colours.data;
  VECTOR3* positions = reinterpret_cast<VECTOR3*>(mesh.vertices.data);
  VECTOR3* normals = reinterpret_cast<VECTOR3*>(mesh.normals.data);
  // A vertex once placed in a point's row is found there again by every
  // later edge (points never move and the first within reach stays the
  // first), which does nothing: it is not searched for again.
  std::vector<bool> placed(mesh.vertexCount, false);
  auto add = [&](uint16_t v) {
    if (placed[v]) return;
    const int p = TryAddVertex(obj, colours, positions, normals, v);
    for (int s = 0; p >= 0 && s < kPhyMeshIndexSlots && !placed[v]; ++s) placed[v] = obj->mesh_index[p][s] == v;
  };
  for (uint64_t t = 0; t < triangles; ++t) {
    const uint16_t* tri = faces + t * 3;
    for (int k = 0; k < 3; ++k) {
      const uint16_t a = tri[k], b = tri[(k + 1) % 3];
      if (IsSoft(colours, a) || IsSoft(colours, b)) {
        add(a);
        add(b);
      }
    }
  }
}

// A spring along every triangle edge between two points, once per pair.
void AddSprings(PhySkinObj* obj, const SPODMesh& mesh, uint64_t triangles) {
  const uint16_t* faces = reinterpret_cast<const uint16_t*>(mesh.faces.data);
  const VECTOR3* positions = reinterpret_cast<const VECTOR3*>(mesh.vertices.data);
  // The points are all in place now, so each mesh vertex's point is looked
  // up once rather than at every corner that uses it.
  std::vector<int> pointOf(mesh.vertexCount, -2);
  // Most of the mesh lies far from every point: a vertex outside the points'
  // box, widened by more than the merge distance, matches none.
  float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  for (int i = 0; i < obj->n_vertex; ++i)
    for (int k = 0; k < 3; ++k) {
      const float c = obj->vertex[i].pos[k];
      if (i == 0 || c < lo[k]) lo[k] = c;
      if (i == 0 || c > hi[k]) hi[k] = c;
    }
  const float reach = 2.0f * std::sqrt(kMergeDistance2);
  auto point = [&](uint16_t v) {
    if (pointOf[v] != -2) return pointOf[v];
    const float* p = &positions[v].x;
    bool outside = obj->n_vertex == 0;
    for (int k = 0; k < 3; ++k) outside = outside || p[k] < lo[k] - reach || p[k] > hi[k] + reach;
    pointOf[v] = outside ? -1 : PhyVertexFound(obj, p);
    return pointOf[v];
  };
  for (uint64_t t = 0; t < triangles; ++t) {
    const uint16_t* tri = faces + t * 3;
    for (int k = 0; k < 3; ++k) {
      const int ia = point(tri[k]);
      if (ia < 0) continue;
      const int ib = point(tri[(k + 1) % 3]);
      if (ib < 0 || ib == ia) continue;
      if (LinkExists(obj, ia, ib)) continue;
      const float* pa = obj->vertex[ia].pos;
      const float* pb = obj->vertex[ib].pos;
      const float dx = pb[0] - pa[0], dy = pb[1] - pa[1], dz = pb[2] - pa[2];
      const float rest_len = kRestFactor * std::sqrt(dx * dx + dy * dy + dz * dz);
      if (!(rest_len >= kMinRestLen)) continue;  // also a position that is not a number
      if (obj->n_link >= kPhyMaxLink) {
        std::fprintf(stderr, " -------- Physics: Link Overflow!  unable to add link[%d] - [%d]\n", ia, ib);
        continue;
      }
      obj->link[obj->n_link] = PhyLink{ia, ib, rest_len};
      obj->n_link += 1;
    }
  }
}

}  // namespace

int PhySkinParse(PhySkinObj* obj, CPODScene* scene) {
  obj->n_vertex = 0;
  obj->n_link = 0;
  for (int i = 0; i < kPhyMaxVertex; ++i)
    for (int s = 0; s < kPhyMeshIndexSlots; ++s) obj->mesh_index[i][s] = -1;
  uint64_t triangles = 0;
  const SPODMesh* mesh = NetworkMesh(scene, &triangles);
  if (!mesh) return 0;
  obj->mesh_pos = reinterpret_cast<float*>(mesh->vertices.data);
  AddPoints(obj, *mesh, triangles);
  AddSprings(obj, *mesh, triangles);
  RemoveFuckingTie(obj);
  return 1;
}

namespace {

void AddImpulse(PhyVertex& a, PhyVertex& b, float x, float y, float z) {
  a.momentum[0] += x;
  a.momentum[1] += y;
  a.momentum[2] += z;
  b.momentum[0] -= x;
  b.momentum[1] -= y;
  b.momentum[2] -= z;
}

#if defined(__SSE2__)
// The step reads and writes whole 16-byte runs of a point: pos + normal[0],
// normal + momentum[0], momentum + inv_mass. The lanes that do not belong to
// the value being updated are written back unchanged.
static_assert(offsetof(PhyVertex, normal) == 12 && offsetof(PhyVertex, momentum) == 24 &&
                  offsetof(PhyVertex, inv_mass) == 36 && sizeof(PhyVertex) == 44,
              "the step's vector loads assume this layout");

inline __m128 Select(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }

void PointPass(PhySkinObj* obj) {
  const __m128 xy = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, 0, 0));
  const __m128 xyz = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
  const __m128 push = _mm_set1_ps(kNormalPush);
  float* mesh = obj->mesh_pos;
  const int nv = obj->n_vertex;
  for (int i = 0; i < nv; ++i) {
    PhyVertex& v = obj->vertex[i];
    const __m128 p = _mm_loadu_ps(v.pos);
    const __m128 n = _mm_loadu_ps(v.normal);
    const __m128 m = _mm_loadu_ps(v.momentum);
    const __m128 moved = _mm_add_ps(p, _mm_mul_ps(_mm_set1_ps(v.inv_mass), m));
    const __m128 pushed = _mm_add_ps(_mm_mul_ps(push, n), _mm_mul_ps(_mm_set1_ps(v.damping), m));
    const __m128 np = Select(xy, moved, p);
    _mm_storeu_ps(v.pos, np);
    _mm_storeu_ps(v.momentum, Select(xyz, pushed, m));
    if (!mesh) continue;
    const __m128 z = _mm_movehl_ps(np, np);
    const int32_t* row = obj->mesh_index[i];
    for (int s = 0; s < kPhyMeshIndexSlots; ++s) {
      const int32_t k = row[s];
      if (k < 0) break;
      float* dst = mesh + 3 * k;
      _mm_storel_pi(reinterpret_cast<__m64*>(dst), np);
      _mm_store_ss(dst + 2, z);
    }
  }
}

// Adds one spring's (x, y, z, 0) impulse to a and takes it from b; the
// fourth lane adds 0 to inv_mass.
inline void Apply(PhyVertex* vx, const PhyLink& link, __m128 impulse) {
  float* ma = vx[link.a].momentum;
  float* mb = vx[link.b].momentum;
  _mm_storeu_ps(ma, _mm_add_ps(_mm_loadu_ps(ma), impulse));
  _mm_storeu_ps(mb, _mm_sub_ps(_mm_loadu_ps(mb), impulse));
}

void SpringPass(PhySkinObj* obj) {
  PhyVertex* vx = obj->vertex;
  const PhyLink* l = obj->link;
  const int nl = obj->n_link;
  const __m128 zero = _mm_setzero_ps();
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 gain = _mm_set1_ps(kSpringGain);
  const __m128 hi = _mm_set1_ps(kForceClamp);
  const __m128 lo = _mm_set1_ps(-kForceClamp);
  int j = 0;
  for (; j + 4 <= nl; j += 4) {
    __m128 dx = _mm_sub_ps(_mm_loadu_ps(vx[l[j].b].pos), _mm_loadu_ps(vx[l[j].a].pos));
    __m128 dy = _mm_sub_ps(_mm_loadu_ps(vx[l[j + 1].b].pos), _mm_loadu_ps(vx[l[j + 1].a].pos));
    __m128 dz = _mm_sub_ps(_mm_loadu_ps(vx[l[j + 2].b].pos), _mm_loadu_ps(vx[l[j + 2].a].pos));
    __m128 dw = _mm_sub_ps(_mm_loadu_ps(vx[l[j + 3].b].pos), _mm_loadu_ps(vx[l[j + 3].a].pos));
    _MM_TRANSPOSE4_PS(dx, dy, dz, dw);  // now one lane per spring
    const __m128 r = _mm_setr_ps(l[j].rest_len, l[j + 1].rest_len, l[j + 2].rest_len, l[j + 3].rest_len);
    const __m128 len = _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)), _mm_mul_ps(dz, dz)));
    const __m128 inv = _mm_div_ps(one, len);
    const __m128 over = _mm_sub_ps(len, r);
    const __m128 strain = Select(_mm_cmpgt_ps(len, r), _mm_mul_ps(over, over), over);
    __m128 f = _mm_div_ps(_mm_mul_ps(strain, gain), len);
    f = _mm_min_ps(hi, f);  // hi < f ? hi : f, as the scalar clamp
    f = _mm_max_ps(lo, f);
    const __m128 apart = _mm_cmpgt_ps(len, zero);
    __m128 ix = _mm_and_ps(apart, _mm_mul_ps(f, _mm_mul_ps(dx, inv)));
    __m128 iy = _mm_and_ps(apart, _mm_mul_ps(f, _mm_mul_ps(dy, inv)));
    __m128 iz = _mm_and_ps(apart, _mm_mul_ps(f, _mm_mul_ps(dz, inv)));
    __m128 iw = zero;
    _MM_TRANSPOSE4_PS(ix, iy, iz, iw);  // back to one (x, y, z, 0) per spring
    Apply(vx, l[j], ix);
    Apply(vx, l[j + 1], iy);
    Apply(vx, l[j + 2], iz);
    Apply(vx, l[j + 3], iw);
  }
  for (; j < nl; ++j) {
    PhyVertex& a = vx[l[j].a];
    PhyVertex& b = vx[l[j].b];
    float x = b.pos[0] - a.pos[0], y = b.pos[1] - a.pos[1], z = b.pos[2] - a.pos[2];
    SpringImpulse(x, y, z, l[j].rest_len);
    AddImpulse(a, b, x, y, z);
  }
}

#else

void WriteBack(const PhySkinObj* obj, int i) {
  const float* p = obj->vertex[i].pos;
  const int32_t* row = obj->mesh_index[i];
  for (int s = 0; s < kPhyMeshIndexSlots && row[s] >= 0; ++s) {
    float* m = obj->mesh_pos + 3 * row[s];
    m[0] = p[0];
    m[1] = p[1];
    m[2] = p[2];
  }
}

void PointPass(PhySkinObj* obj) {
  for (int i = 0; i < obj->n_vertex; ++i) {
    PhyVertex& v = obj->vertex[i];
    v.pos[0] += v.inv_mass * v.momentum[0];
    v.pos[1] += v.inv_mass * v.momentum[1];
    for (int c = 0; c < 3; ++c) v.momentum[c] = kNormalPush * v.normal[c] + v.damping * v.momentum[c];
    if (obj->mesh_pos) WriteBack(obj, i);
  }
}

void SpringPass(PhySkinObj* obj) {
  for (int j = 0; j < obj->n_link; ++j) {
    PhyVertex& a = obj->vertex[obj->link[j].a];
    PhyVertex& b = obj->vertex[obj->link[j].b];
    float x = b.pos[0] - a.pos[0], y = b.pos[1] - a.pos[1], z = b.pos[2] - a.pos[2];
    SpringImpulse(x, y, z, obj->link[j].rest_len);
    AddImpulse(a, b, x, y, z);
  }
}

#endif

}  // namespace

// Springs act on the positions after this step's move; their impulses move
// the points in the next step. Positions do not change during the spring
// pass, and the impulses are added in spring order, so the sums are those of
// applying each spring in turn.
void PhySkinFrame(PhySkinObj* obj) {
  PointPass(obj);
  SpringPass(obj);
}

void PhySkinWriteBack(const PhySkinObj* obj) {
  if (!obj->mesh_pos) return;
  for (int i = 0; i < obj->n_vertex; ++i) {
    const float* p = obj->vertex[i].pos;
    const int32_t* row = obj->mesh_index[i];
    for (int s = 0; s < kPhyMeshIndexSlots && row[s] >= 0; ++s)
      std::memcpy(obj->mesh_pos + 3 * row[s], p, 3 * sizeof(float));
  }
}

void PhySkinForce(PhySkinObj* obj, float fx, float fy, float fz) {
  for (int i = 0; i < obj->n_vertex; ++i) {
    PhyVertex& v = obj->vertex[i];
    if (!(v.inv_mass > 0.0f)) continue;  // pinned: infinite mass takes no impulse
    const float k = kExternalGain / v.inv_mass;
    if (k < kForceClamp) {
      v.momentum[0] -= k * fx;
      v.momentum[1] -= k * fy;
      v.momentum[2] -= k * fz;
    }
  }
}
