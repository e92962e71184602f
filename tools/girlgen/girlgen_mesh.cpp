// Her surface: smooth-blended primitives along the skeleton, meshed with
// surface nets, relaxed and pulled back onto the surface.
//
// Body, hands and hair are meshed as separate shells (the hands on a finer
// lattice of their own, so that fingers and thumb stand apart) and joined
// into the one mesh the app draws. Garments that fit closely are part of the
// body surface, made a little fuller where cloth lies, so nothing can pass
// through the skin; the skirts are flared solids blended onto the hips.
// Texture coordinates come from one cylindrical chart per region, the same
// for every outfit.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <tuple>
#include <unordered_map>

#include "girlgen.h"

namespace girlgen {

namespace {

constexpr float kPi = 3.14159265358979f;

enum PrimKind { kCone, kEllipsoid, kSkirt };

struct Prim {
  PrimKind kind;
  V3 a, b;       // cone: ends; ellipsoid: centre and radii; skirt: top centre, hem centre
  float ra, rb;  // cone radii; skirt: top and hem radius
  int bone;
  int region;
  int group;        // primitives blend smoothly only inside a group or with group 0
  int soft;         // 1: chest, 2: hair end, 3: skirt hem
  float pleats;     // skirt: pleat depth; hair cone: depth of the strand ripples
  int grooves = 0;  // hair cone: strands around it
};

struct Shape {
  std::vector<Prim> prims;
  float k = 5.0f;       // blend width within a group
  float kCross = 5.0f;  // blend width between group 0 and the others
  // The face opening of the hair: points inside are carved away.
  bool hairCut = false;
  // Groups other than 0 meet each other without a blend (they still blend
  // into group 0): fingers that must not web together.
  bool apartGroups = false;
};

float SdEllipsoid(V3 p, V3 c, V3 r) {
  const V3 q = p - c;
  const float k0 = Len(V3(q.x / r.x, q.y / r.y, q.z / r.z));
  const float k1 = Len(V3(q.x / (r.x * r.x), q.y / (r.y * r.y), q.z / (r.z * r.z)));
  if (k1 < 1e-9f) return -std::min(r.x, std::min(r.y, r.z));
  return k0 * (k0 - 1.0f) / k1;
}

float SdCone(V3 p, V3 a, V3 b, float ra, float rb, float* tOut = nullptr) {
  const V3 pa = p - a, ba = b - a;
  const float h = Clamp(Dot(pa, ba) / Dot(ba, ba), 0.0f, 1.0f);
  if (tOut) *tOut = h;
  return Len(pa - ba * h) - Mix(ra, rb, h);
}

float SdSkirt(V3 p, const Prim& s) {
  // A flared, slightly flattened cone with a rounded hem; pleats ripple its radius.
  const float top = s.a.y, hem = s.b.y;
  const float t = Clamp((top - p.y) / (top - hem), 0.0f, 1.0f);
  const float dx = p.x - s.a.x, dz = (p.z - s.a.z) / kSkirtDepth;
  float r = Mix(s.ra, s.rb, std::pow(t, 0.9f));
  if (s.pleats > 0) {
    const float ang = std::atan2(dx, dz);
    r += s.pleats * t * std::fabs(std::sin(ang * 9.0f));
  }
  const float radial = std::sqrt(dx * dx + dz * dz) * 0.9f - r * 0.9f;
  const float below = hem - p.y, above = p.y - top;
  float d = std::max(radial, std::max(below, above));
  if (radial > 0 && below > 0) d = std::sqrt(radial * radial + below * below);
  return d - 1.0f;
}

float PrimDist(const Prim& pr, V3 p) {
  switch (pr.kind) {
    case kCone: {
      if (pr.grooves == 0) return SdCone(p, pr.a, pr.b, pr.ra, pr.rb);
      // Hair tails: the radius ripples around the axis so that the strands
      // catch the light, twisting a little along the length.
      float t;
      const float d = SdCone(p, pr.a, pr.b, pr.ra, pr.rb, &t);
      const V3 ax = Norm(pr.b - pr.a);
      const V3 e1 = Norm(Cross(ax, V3(0, 0, 1)));
      const V3 e2 = Cross(ax, e1);
      const V3 q = p - pr.a;
      const float ang = std::atan2(Dot(q, e2), Dot(q, e1)) + 0.3f * t;
      const float r = Mix(pr.ra, pr.rb, t);
      return d - pr.pleats * r * (std::cos(ang * pr.grooves) - 0.3f);
    }
    case kEllipsoid:
      return SdEllipsoid(p, pr.a, pr.b);
    case kSkirt:
      return SdSkirt(p, pr);
  }
  return 1e9f;
}

float SMin(float a, float b, float k) {
  if (k <= 0) return std::min(a, b);
  const float h = std::max(k - std::fabs(a - b), 0.0f) / k;
  return std::min(a, b) - h * h * k * 0.25f;
}

}  // namespace

float FringeEdge(float x) {
  // Locks of uneven length with rounded ends, parted a little off the middle;
  // between two locks the cut rises into a soft notch.
  static const float kDepth[8] = {3.6f, 5.6f, 4.4f, 5.8f, 5.0f, 5.7f, 4.0f, 5.3f};
  const float s = (x + 2.2f) / 6.6f + 4.0f;
  const int i = static_cast<int>(std::floor(s));
  const float f = 2.0f * (s - i) - 1.0f;  // -1..1 across the lock
  const float depth = kDepth[((i % 8) + 8) % 8];
  const float tip = depth * std::sqrt(std::max(0.0f, 1.0f - f * f));
  return 334.8f - tip + 0.016f * x * x;
}

namespace {

float HairCut(V3 p) {
  // The face: an opening under the fringe, its lower edge cut into locks.
  const float fringe = FringeEdge(p.x);
  const float front = p.z - 4.0f;
  const float side = 19.0f - std::fabs(p.x);
  const float below = fringe - p.y;
  return std::min(std::min(front, side), below);  // > 0 inside the opening
}

float ShapeDist(const Shape& s, V3 p) {
  float groupD[8];
  for (float& g : groupD) g = 1e9f;
  for (const Prim& pr : s.prims) {
    const float d = PrimDist(pr, p);
    groupD[pr.group] = SMin(groupD[pr.group], d, s.k);
  }
  float d = groupD[0];
  if (s.apartGroups) {
    float apart = 1e9f;
    for (int g = 1; g < 8; ++g) apart = std::min(apart, groupD[g]);
    if (apart < 1e8f) d = SMin(d, apart, s.kCross);
  } else {
    for (int g = 1; g < 8; ++g)
      if (groupD[g] < 1e8f) d = SMin(d, groupD[g], s.kCross);
  }
  if (s.hairCut) d = std::max(d, HairCut(p));
  return d;
}

V3 ShapeGrad(const Shape& s, V3 p) {
  const float e = 0.25f;
  const float dx = ShapeDist(s, p + V3(e, 0, 0)) - ShapeDist(s, p - V3(e, 0, 0));
  const float dy = ShapeDist(s, p + V3(0, e, 0)) - ShapeDist(s, p - V3(0, e, 0));
  const float dz = ShapeDist(s, p + V3(0, 0, e)) - ShapeDist(s, p - V3(0, 0, e));
  return Norm(V3(dx, dy, dz));
}

struct Shell {
  std::vector<V3> pos, nrm;
  std::vector<int> tris;
  std::vector<int> region;
  std::vector<std::array<int, 4>> bones;
  std::vector<std::array<float, 4>> weights;
  std::vector<int> soft;     // soft class of the nearest primitive
  std::vector<float> softT;  // where in the soft part (0 rim .. 1 deepest)
};

// A sampling lattice: point (i, j, k) sits at o + ex * cx[i] + ey * cy[j] * f
// + ez * cz[k], where f widens the second axis by `fanRate` for each unit
// past `fanFrom` on the first. The axes need not follow the world's, nor the
// planes be evenly spaced: a hand is sampled along its own length, across
// and through it, with planes across it that fan out with the fingers.
struct Grid {
  V3 o, ex, ey, ez;
  std::vector<float> cx, cy, cz;
  float fanFrom = 0, fanRate = 0;
  V3 At(int i, int j, int k) const {
    const float f = 1.0f + fanRate * std::max(0.0f, cx[i] - fanFrom);
    return o + ex * cx[i] + ey * (cy[j] * f) + ez * cz[k];
  }
};

std::vector<float> EvenPlanes(float lo, float hi, float h) {
  const int n = static_cast<int>((hi - lo) / h) + 1;
  std::vector<float> c(n + 1);
  for (int i = 0; i <= n; ++i) c[i] = i * h;
  return c;
}

Grid BoxGrid(V3 lo, V3 hi, float h) {
  Grid g;
  g.o = lo;
  g.ex = V3(1, 0, 0), g.ey = V3(0, 1, 0), g.ez = V3(0, 0, 1);
  g.cx = EvenPlanes(lo.x, hi.x, h), g.cy = EvenPlanes(lo.y, hi.y, h), g.cz = EvenPlanes(lo.z, hi.z, h);
  return g;
}

// Surface nets over the lattice.
void MeshShape(const Shape& s, const Grid& g, Shell& out) {
  const int nx = static_cast<int>(g.cx.size()) - 1, ny = static_cast<int>(g.cy.size()) - 1,
            nz = static_cast<int>(g.cz.size()) - 1;
  auto at = [&](int i, int j, int k) { return (static_cast<size_t>(k) * (ny + 1) + j) * (nx + 1) + i; };
  std::vector<float> f(static_cast<size_t>(nx + 1) * (ny + 1) * (nz + 1));
  for (int k = 0; k <= nz; ++k)
    for (int j = 0; j <= ny; ++j)
      for (int i = 0; i <= nx; ++i) f[at(i, j, k)] = ShapeDist(s, g.At(i, j, k));
  auto cell = [&](int i, int j, int k) { return (static_cast<size_t>(k) * ny + j) * nx + i; };
  static const int kEdges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                    {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
  // A cell has a corner for each run of its inside points joined along its
  // edges. Where two parts pass through one cell (an arm against the hip, a
  // shoe against the other) each then keeps a corner of its own: sharing
  // one, their sheets met there, along edges of four triangles, and relaxing
  // folded tiny triangles over at the seam. A face whose inside points lie
  // diagonally is read the same way from both its cells (the two apart), so
  // the sheets join up. Nearly every cell is crossed by one run.
  std::vector<int> cellFirst(static_cast<size_t>(nx) * ny * nz, -1);  // its first corner
  std::vector<std::array<int8_t, 8>> cellRun(cellFirst.size());       // run of each inside point
  const size_t base = out.pos.size();
  for (int k = 0; k < nz; ++k)
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) {
        float c[8];
        V3 cp[8];
        int inside = 0;
        for (int n = 0; n < 8; ++n) {
          const int di = n & 1, dj = (n >> 1) & 1, dk = (n >> 2) & 1;
          c[n] = f[at(i + di, j + dj, k + dk)];
          cp[n] = g.At(i + di, j + dj, k + dk);
          inside += c[n] < 0;
        }
        if (inside == 0 || inside == 8) continue;
        int join[8];
        for (int n = 0; n < 8; ++n) join[n] = n;
        std::function<int(int)> root = [&](int n) { return join[n] == n ? n : join[n] = root(join[n]); };
        for (auto& e : kEdges)
          if (c[e[0]] < 0 && c[e[1]] < 0) join[root(e[0])] = root(e[1]);
        std::array<int8_t, 8>& run = cellRun[cell(i, j, k)];
        int runs = 0;
        for (int n = 0; n < 8; ++n) {
          run[n] = -1;
          if (c[n] >= 0) continue;
          for (int m = 0; m < n && run[n] < 0; ++m)
            if (c[m] < 0 && root(m) == root(n)) run[n] = run[m];
          if (run[n] < 0) run[n] = static_cast<int8_t>(runs++);
        }
        V3 sum[4];
        int cnt[4] = {};
        for (auto& e : kEdges) {
          const float a = c[e[0]], b = c[e[1]];
          if ((a < 0) == (b < 0)) continue;
          const float t = a / (a - b);
          // A run number, read as the signed value it is (-1 marks a corner outside,
          // and the inside corner of a crossing edge always has a run).
          // NOLINTNEXTLINE(bugprone-signed-char-misuse)
          const int r = run[a < 0 ? e[0] : e[1]];
          sum[r] = sum[r] + cp[e[0]] + (cp[e[1]] - cp[e[0]]) * t;
          ++cnt[r];
        }
        cellFirst[cell(i, j, k)] = static_cast<int>(out.pos.size());
        for (int r = 0; r < runs; ++r) out.pos.push_back(sum[r] * (1.0f / cnt[r]));
      }
  // The corner of cell (i, j, k) on the side of its inside point (pi, pj, pk).
  auto corner = [&](int i, int j, int k, int pi, int pj, int pk) {
    const size_t c = cell(i, j, k);
    return cellFirst[c] < 0 ? -1 : cellFirst[c] + cellRun[c][(pi - i) + 2 * (pj - j) + 4 * (pk - k)];
  };
  // One quad per grid edge that crosses the surface.
  std::vector<std::vector<int>> nb(out.pos.size() - base);
  // Each edge's four cells are listed turning counter-clockwise about the
  // edge's axis in a right-handed lattice; the quad's front then faces along
  // the axis, which is outward when the edge leaves the inside. The
  // orientation comes from the lattice alone, so every shell is wound
  // consistently (judged from the surface's normals instead, the thin tips
  // and the fringe's cut came out with triangles facing in).
  const bool rightHanded = Dot(Cross(g.ex, g.ey), g.ez) > 0;
  auto quad = [&](int a, int b, int c, int d, bool outwardAlongAxis) {
    if (a < 0 || b < 0 || c < 0 || d < 0) return;
    if (outwardAlongAxis != rightHanded) std::swap(b, d);
    const V3 pa = out.pos[a], pb = out.pos[b], pc = out.pos[c], pd = out.pos[d];
    // Split along the shorter diagonal.
    if (Len(pa - pc) <= Len(pb - pd)) {
      out.tris.insert(out.tris.end(), {a, b, c, a, c, d});
    } else {
      out.tris.insert(out.tris.end(), {a, b, d, b, c, d});
    }
    const int q[4] = {a, b, c, d};
    for (int m = 0; m < 4; ++m) {
      nb[q[m] - base].push_back(q[(m + 1) % 4]);
      nb[q[m] - base].push_back(q[(m + 3) % 4]);
    }
  };
  for (int k = 1; k < nz; ++k)
    for (int j = 1; j < ny; ++j)
      for (int i = 0; i < nx; ++i) {  // x edges
        if ((f[at(i, j, k)] < 0) == (f[at(i + 1, j, k)] < 0)) continue;
        const int p = f[at(i, j, k)] < 0 ? i : i + 1;
        quad(corner(i, j - 1, k - 1, p, j, k), corner(i, j, k - 1, p, j, k), corner(i, j, k, p, j, k),
             corner(i, j - 1, k, p, j, k), f[at(i, j, k)] < 0);
      }
  for (int k = 1; k < nz; ++k)
    for (int j = 0; j < ny; ++j)
      for (int i = 1; i < nx; ++i) {  // y edges
        if ((f[at(i, j, k)] < 0) == (f[at(i, j + 1, k)] < 0)) continue;
        const int p = f[at(i, j, k)] < 0 ? j : j + 1;
        // About this axis the cells turn clockwise: z x x = -y.
        quad(corner(i - 1, j, k - 1, i, p, k), corner(i, j, k - 1, i, p, k), corner(i, j, k, i, p, k),
             corner(i - 1, j, k, i, p, k), f[at(i, j, k)] >= 0);
      }
  for (int k = 0; k < nz; ++k)
    for (int j = 1; j < ny; ++j)
      for (int i = 1; i < nx; ++i) {  // z edges
        if ((f[at(i, j, k)] < 0) == (f[at(i, j, k + 1)] < 0)) continue;
        const int p = f[at(i, j, k)] < 0 ? k : k + 1;
        quad(corner(i - 1, j - 1, k, i, j, p), corner(i, j - 1, k, i, j, p), corner(i, j, k, i, j, p),
             corner(i - 1, j, k, i, j, p), f[at(i, j, k)] < 0);
      }
  // Relax (tangential smoothing) and pull back onto the surface.
  const size_t n = out.pos.size() - base;
  for (int it = 0; it < 5; ++it) {
    std::vector<V3> next(n);
    for (size_t v = 0; v < n; ++v) {
      V3 avg;
      for (int w : nb[v]) avg = avg + out.pos[w];
      const V3 p = out.pos[base + v];
      next[v] = nb[v].empty() ? p : p + (avg * (1.0f / nb[v].size()) - p) * 0.5f;
    }
    for (size_t v = 0; v < n; ++v) {
      V3 p = next[v];
      for (int r = 0; r < 2; ++r) p = p - ShapeGrad(s, p) * ShapeDist(s, p);
      out.pos[base + v] = p;
    }
  }
  for (size_t v = 0; v < n; ++v) out.nrm.push_back(ShapeGrad(s, out.pos[base + v]));
  // Skin weights from the distance to each primitive, region and soft class of the nearest.
  for (size_t v = 0; v < n; ++v) {
    const V3 p = out.pos[base + v];
    float boneW[kBoneCount] = {};
    float dmin = 1e9f;
    const Prim* nearest = nullptr;
    std::vector<float> d(s.prims.size());
    const Prim* skirt = nullptr;
    for (size_t i = 0; i < s.prims.size(); ++i) {
      d[i] = PrimDist(s.prims[i], p);
      if (d[i] < dmin) dmin = d[i], nearest = &s.prims[i];
      if (s.prims[i].kind == kSkirt && d[i] < 1.0f) skirt = &s.prims[i];
    }
    // Cloth on the skirt's own surface, its underside included, takes the
    // skirt's chart even where a leg is nearer: otherwise the hem would break
    // into triangles painted as leg. The fillet into the legs stays leg; the
    // pictures paint the hem's line across it.
    if (skirt) nearest = skirt;
    for (size_t i = 0; i < s.prims.size(); ++i) {
      const float w = std::exp(-(d[i] - dmin) / 2.2f);
      boneW[s.prims[i].bone] = std::max(boneW[s.prims[i].bone], w);
    }
    std::array<int, 4> bi{0, 0, 0, 0};
    std::array<float, 4> bw{0, 0, 0, 0};
    for (int slot = 0; slot < 4; ++slot) {
      int best = -1;
      for (int b = 0; b < kBoneCount; ++b)
        if (boneW[b] > 0.02f && (best < 0 || boneW[b] > boneW[best])) best = b;
      if (best < 0) break;
      bi[slot] = best;
      bw[slot] = boneW[best];
      boneW[best] = 0;
    }
    const float sum = bw[0] + bw[1] + bw[2] + bw[3];
    for (float& w : bw) w /= sum;
    out.bones.push_back(bi);
    out.weights.push_back(bw);
    out.region.push_back(nearest->region);
    out.soft.push_back(nearest->soft);
    float st = 0;
    if (nearest->soft == 1) {  // chest: depth from the centre of the breast
      const V3 q = p - nearest->a;
      st = 1.0f - Clamp(Len(V3(q.x / nearest->b.x, q.y / nearest->b.y, 0)), 0.0f, 1.0f);
    } else if (nearest->soft == 2) {  // hair: along the last tail segment
      float t;
      SdCone(p, nearest->a, nearest->b, nearest->ra, nearest->rb, &t);
      // Not the thin tip: there the springs' pull wins over the push along
      // the normals and the network would draw the tip up into the tail.
      st = t < 0.6f ? t : 0.0f;
    } else if (nearest->soft == 3) {  // skirt: closeness to the hem
      st = Clamp(1.0f - (p.y - nearest->b.y) / 7.0f, 0.0f, 1.0f);
      const float rr = std::sqrt((p.x - nearest->a.x) * (p.x - nearest->a.x) +
                                 (p.z - nearest->a.z) * (p.z - nearest->a.z) / (kSkirtDepth * kSkirtDepth));
      if (rr < nearest->rb - 4.0f) st = 0;  // the underside near the legs stays put
      // Front and back of the hem only: the network's capacity allows no more.
      if (std::fabs(p.x - nearest->a.x) > 0.5f * nearest->rb) st = 0;
    }
    out.softT.push_back(st);
  }
}

// ---- Fewer triangles where the surface is flat --------------------------------

// How far the flat triangle strays from the surface: the largest distance
// of its middle and its edges' middles from it.
float Stray(const Shape& s, V3 a, V3 b, V3 c) {
  const V3 pts[4] = {(a + b + c) * (1.0f / 3.0f), (a + b) * 0.5f, (b + c) * 0.5f, (c + a) * 0.5f};
  float worst = 0;
  for (const V3& p : pts) worst = std::max(worst, std::fabs(ShapeDist(s, p)));
  return worst;
}

// Removes vertices into a neighbour (the neighbour stays where it is, with
// everything it carries) wherever the triangles around them then lie no
// further from the surface than they did (and within kStrayFloor of it in
// any case, never beyond kStrayCeiling): along a limb or a tail the surface
// barely bends lengthwise, and its lattice spends triangles there for
// nothing. The outline seen from any side stays where it was. Untouched:
// vertices `keep` names, the open rims of the shell, the soft parts' network
// (the physics builds it from the mesh), and wherever the
// skin weights bend, not merely change, from one vertex to the next: a
// removed vertex is skinned as its neighbours' blend, which is the same
// only where the weights change evenly.
constexpr float kStrayFloor = 0.15f, kStrayCeiling = 0.3f;
constexpr float kWeightBend = 0.04f;  // sum over the bones of the weights' departure

void Simplify(const Shape& s, Shell& sh, const std::function<bool(size_t)>& keep) {
  const size_t n = sh.pos.size();
  const size_t nt = sh.tris.size() / 3;
  std::vector<std::vector<int>> around(n);  // triangles at each vertex
  for (size_t t = 0; t < nt; ++t)
    for (int k = 0; k < 3; ++k) around[sh.tris[3 * t + k]].push_back(static_cast<int>(t));
  std::vector<char> alive(nt, 1), fixed(n, 0), gone(n, 0);
  std::vector<float> stray(nt);
  for (size_t t = 0; t < nt; ++t)
    stray[t] = Stray(s, sh.pos[sh.tris[3 * t]], sh.pos[sh.tris[3 * t + 1]], sh.pos[sh.tris[3 * t + 2]]);
  auto neighbours = [&](int v) {
    std::vector<int> nb;
    for (int t : around[v])
      for (int k = 0; k < 3; ++k) {
        const int w = sh.tris[3 * t + k];
        if (w != v && std::find(nb.begin(), nb.end(), w) == nb.end()) nb.push_back(w);
      }
    return nb;
  };
  // How far v's weights are from the mean of its neighbours': what skinning
  // the place by its neighbours would change.
  auto LaplaceGap = [&](int v, const std::vector<int>& nb) {
    float w[kBoneCount] = {}, gap = 0;
    for (int k = 0; k < 4; ++k) w[sh.bones[v][k]] += sh.weights[v][k];
    for (int x : nb)
      for (int k = 0; k < 4; ++k) w[sh.bones[x][k]] -= sh.weights[x][k] / nb.size();
    for (float d : w) gap += std::fabs(d);
    return gap;
  };
  {
    // Open rims: an edge with a single triangle.
    std::map<std::pair<int, int>, int> uses;
    for (size_t t = 0; t < nt; ++t)
      for (int k = 0; k < 3; ++k) {
        const int a = sh.tris[3 * t + k], b = sh.tris[3 * t + (k + 1) % 3];
        uses[std::make_pair(std::min(a, b), std::max(a, b))]++;
      }
    for (const auto& e : uses)
      if (e.second != 2) fixed[e.first.first] = fixed[e.first.second] = 1;
  }
  // The soft network holds the free points, the pinned rim around them and
  // the rim's neighbours, with every edge among them: three rings around
  // anything that may be free stay as they are.
  std::vector<int> ring;
  for (size_t v = 0; v < n; ++v) {
    if (keep(v)) fixed[v] = 1;
    if (sh.softT[v] > 0) ring.push_back(static_cast<int>(v));
  }
  for (int depth = 0; depth <= 3; ++depth) {
    std::vector<int> next;
    for (int v : ring) {
      if (fixed[v] == 2) continue;
      fixed[v] = 2;
      if (depth < 3)
        for (int w : neighbours(v)) next.push_back(w);
    }
    ring.swap(next);
  }
  for (int pass = 0; pass < 8; ++pass) {
    int removed = 0;
    std::vector<char> touched(n, 0);  // changed this pass: left for the next
    for (size_t vi = 0; vi < n; ++vi) {
      const int v = static_cast<int>(vi);
      if (fixed[v] || gone[v] || touched[v]) continue;
      const std::vector<int> nb = neighbours(v);
      bool smooth = true;
      for (int w : nb) smooth = smooth && sh.region[w] == sh.region[v] && !touched[w];
      if (!smooth || LaplaceGap(v, nb) > kWeightBend) continue;
      float before = 0;
      for (int t : around[v]) before = std::max(before, stray[t]);
      const float allowed = std::min(std::max(before, kStrayFloor), kStrayCeiling);
      // Nearest neighbours first.
      std::vector<int> order = nb;
      std::sort(order.begin(), order.end(),
                [&](int a, int b) { return Len(sh.pos[a] - sh.pos[v]) < Len(sh.pos[b] - sh.pos[v]); });
      for (int u : order) {
        // Only the two triangles on the edge may share u and v's neighbours,
        // or the surface would fold onto itself.
        const std::vector<int> nu = neighbours(u);
        int common = 0;
        for (int w : nb) common += std::find(nu.begin(), nu.end(), w) != nu.end();
        if (common != 2) continue;
        bool ok = true;
        std::vector<std::pair<int, float>> moved;
        for (int t : around[v]) {
          int c[3] = {sh.tris[3 * t], sh.tris[3 * t + 1], sh.tris[3 * t + 2]};
          if (c[0] == u || c[1] == u || c[2] == u) continue;  // goes with the edge
          const V3 oldN = Cross(sh.pos[c[1]] - sh.pos[c[0]], sh.pos[c[2]] - sh.pos[c[0]]);
          for (int& x : c)
            if (x == v) x = u;
          const V3 a = sh.pos[c[0]], b = sh.pos[c[1]], d = sh.pos[c[2]];
          const V3 fn = Cross(b - a, d - a);
          const float area2 = Len(fn);
          const float longest = std::max(Len(b - a), std::max(Len(d - b), Len(a - d)));
          // Neither turned over nor a sliver.
          if (Dot(fn, oldN) <= 0.5f * area2 * Len(oldN) || area2 < 0.1f * longest * longest ||
              Dot(Norm(fn), ShapeGrad(s, (a + b + d) * (1.0f / 3.0f))) < 0.5f) {
            ok = false;
            break;
          }
          const float st = Stray(s, a, b, d);
          if (st > allowed) {
            ok = false;
            break;
          }
          moved.emplace_back(t, st);
        }
        if (!ok) continue;
        for (int t : around[v]) {
          int* c = &sh.tris[3 * t];
          if (c[0] == u || c[1] == u || c[2] == u) {
            alive[t] = 0;
            for (int k = 0; k < 3; ++k)
              if (c[k] != v) {
                auto& at = around[c[k]];
                at.erase(std::remove(at.begin(), at.end(), t), at.end());
              }
          }
        }
        for (const auto& m : moved) {
          int* c = &sh.tris[3 * m.first];
          for (int k = 0; k < 3; ++k)
            if (c[k] == v) c[k] = u;
          stray[m.first] = m.second;
          around[u].push_back(m.first);
        }
        around[v].clear();
        gone[v] = 1;
        touched[v] = touched[u] = 1;
        for (int w : nb) touched[w] = 1;
        ++removed;
        break;
      }
    }
    if (removed == 0) break;
  }
  // Keep the living triangles and the vertices they use, in their order.
  std::vector<int> newIndex(n, -1);
  Shell out;
  std::vector<int> tris;
  for (size_t t = 0; t < nt; ++t) {
    if (!alive[t]) continue;
    for (int k = 0; k < 3; ++k) {
      const int v = sh.tris[3 * t + k];
      tris.push_back(v);
    }
  }
  for (size_t v = 0; v < n; ++v) {
    if (gone[v]) continue;
    newIndex[v] = static_cast<int>(out.pos.size());
    out.pos.push_back(sh.pos[v]);
    out.nrm.push_back(sh.nrm[v]);
    out.region.push_back(sh.region[v]);
    out.bones.push_back(sh.bones[v]);
    out.weights.push_back(sh.weights[v]);
    out.soft.push_back(sh.soft[v]);
    out.softT.push_back(sh.softT[v]);
  }
  for (int& v : tris) v = newIndex[v];
  out.tris.swap(tris);
  sh = std::move(out);
}

// ---- The figure --------------------------------------------------------------

Prim Cone(V3 a, V3 b, float ra, float rb, int bone, int region, int group = 0) {
  return Prim{kCone, a, b, ra, rb, bone, region, group, 0, 0};
}
Prim Ell(V3 c, V3 r, int bone, int region, int group = 0) {
  return Prim{kEllipsoid, c, r, 0, 0, bone, region, group, 0, 0};
}
V3 MirrorX(V3 v) { return V3(-v.x, v.y, v.z); }
V3 J(int bone) { return kBones[bone].bindPos; }

struct Fit {
  float torso = 0, arm = 0, sleeveEnd = 1.0f, thigh = 0, shoe = 0;
  bool skirt = false;
  float hemY = 150, hemR = 36, pleats = 0, skirtTop = 24;
};

Fit FitFor(Outfit o) {
  Fit f;
  switch (o) {
    case kPool:
      f.torso = 0.3f;
      f.shoe = 1.0f;
      break;
    case kCasual:
      f.torso = 1.4f;
      f.arm = 1.2f;
      f.sleeveEnd = 0.35f;
      f.shoe = 2.2f;
      f.skirt = true;
      f.hemY = 152;
      f.hemR = 35;
      break;
    case kSchool:
      f.torso = 1.2f;
      f.arm = 1.0f;
      f.sleeveEnd = 1.0f;
      f.shoe = 1.8f;
      f.skirt = true;
      f.hemY = 148;
      f.hemR = 37;
      f.pleats = 1.6f;
      break;
    case kBusiness:
      f.torso = 2.0f;
      f.arm = 1.6f;
      f.sleeveEnd = 1.0f;
      f.shoe = 1.4f;
      f.skirt = true;
      f.hemY = 128;
      f.hemR = 29;
      f.skirtTop = 25;
      break;
    default:
      break;
  }
  return f;
}

Shape BodyShape(Outfit o) {
  const Fit fit = FitFor(o);
  Shape s;
  s.k = 6.0f;
  s.kCross = 3.0f;
  const float t = fit.torso;
  auto& P = s.prims;
  P.push_back(Ell(V3(0, 193, -1), V3(29 + t, 23 + t, 19 + t), kHips, kRegTorso));
  P.push_back(Ell(V3(0, 222, 0), V3(20 + t, 20, 15 + t), kSpine, kRegTorso));
  P.push_back(Ell(V3(0, 252, -1), V3(21.5f + t, 27, 16.5f + t), kChest, kRegTorso));
  // Shoulders slope down from the neck rather than sitting on one level bar.
  P.push_back(Cone(V3(0, 275, -2), V3(17, 270, -2), 9.0f + t, 8.6f + t, kChest, kRegTorso));
  P.push_back(Cone(V3(0, 275, -2), V3(-17, 270, -2), 9.0f + t, 8.6f + t, kChest, kRegTorso));
  for (int side = 0; side < 2; ++side) {
    const float sx = side ? -1.0f : 1.0f;
    Prim breast = Ell(V3(10.5f * sx, 251, 10 + t * 0.8f), V3(10, 10, 9), kChest, kRegTorso);
    breast.soft = 1;
    P.push_back(breast);
    P.push_back(Ell(V3(11 * sx, 189, -9), V3(13.5f + t * 0.5f, 14, 12 + t * 0.5f), kHips, kRegTorso));
  }
  P.push_back(Cone(V3(0, 272, -2), V3(0, 310, 0), 7.5f, 6.5f, kNeck, kRegTorso));
  P.push_back(Ell(V3(0, 335, -2), V3(24.5f, 27, 25), kHead, kRegHead));
  P.push_back(Ell(V3(0, 318, 4), V3(17.5f, 16, 18), kHead, kRegHead));
  P.push_back(Ell(V3(0, 320.5f, 22.2f), V3(2.0f, 4.0f, 2.6f), kHead, kRegHead));  // nose
  for (int side = 0; side < 2; ++side) {
    auto M = [&](V3 v) { return side ? MirrorX(v) : v; };
    const int g = 1 + side;  // arms blend with the body only at the shoulder
    const int up = side ? kUpperArmR : kUpperArmL, fo = side ? kForearmR : kForearmL;
    const int rArm = side ? kRegArmR : kRegArmL, rLeg = side ? kRegLegR : kRegLegL;
    const int th = side ? kThighR : kThighL, sh = side ? kShinR : kShinL, ft = side ? kFootR : kFootL;
    const int rFoot = side ? kRegFootR : kRegFootL;
    const float a = fit.arm;
    // The upper arm starts below its joint so that its round end does not
    // stand above the shoulder's slope like a pad.
    P.push_back(Ell(M(V3(22, 272, -2)), V3(9.3f + a, 8.4f + a, 9 + a), side ? kShoulderR : kShoulderL, rArm, 0));
    P.push_back(Cone(J(up) + Norm(J(fo) - J(up)) * 6.0f, J(fo), 8.3f + a, 6.3f + a, up, rArm, g));
    const float af = a * fit.sleeveEnd;
    P.push_back(Cone(J(fo), J(side ? kHandR : kHandL), 6.1f + af, 3.85f + af * 0.7f, fo, rArm, g));
    // Legs.
    P.push_back(Cone(J(th) + V3(0, 4, 0), J(sh), 13.8f, 8.4f, th, rLeg));
    P.push_back(Cone(J(sh), J(ft), 7.8f, 4.2f, sh, rLeg));
    P.push_back(Ell(M(V3(14, 76, -3.0f)), V3(7.7f, 19, 7.7f), sh, rLeg));
    const float sh2 = fit.shoe;
    P.push_back(Cone(J(ft) + V3(0, -4, -1), M(V3(13, 4.5f, 19)), 4.6f + sh2, 3.8f + sh2 * 0.8f, ft, rFoot));
    P.push_back(Ell(M(V3(13, 6.5f, -4)), V3(4.6f + sh2, 5.5f + sh2 * 0.5f, 5.5f + sh2), ft, rFoot));
  }
  Skirt skirt;
  if (SkirtOf(o, &skirt))
    P.push_back(
        Prim{kSkirt, skirt.top, skirt.hem, skirt.topRadius, skirt.hemRadius, kHips, kRegTorso, 0, 3, fit.pleats});
  return s;
}

// Drawn a size up from the wrist: at the default camera a hand of true
// proportion is a few pixels and reads as a mitt. The wrist keeps its width.
constexpr float kHandScale = 1.15f;
// Before that scale: how far from the wrist the fingers start, how far apart
// they sit there, and how much further apart they sit for each unit beyond.
constexpr float kKnuckles = 13.0f, kFingerSpacing = 3.3f, kFingerSpread = 0.02f;
float FingerFan(float along) { return 1.0f + kFingerSpread * std::max(0.0f, along - kKnuckles); }

// The hand's own frame in the bind pose: the wrist, along the hand, out of
// its back, across the palm with the thumb's side forward.
struct HandFrame {
  V3 wrist, d, n, w;
};

HandFrame FrameOfHand(int side) {
  const float sx = side ? -1.0f : 1.0f;
  const int hand = side ? kHandR : kHandL, fo = side ? kForearmR : kForearmL;
  HandFrame f;
  f.wrist = J(hand);
  f.d = Norm(f.wrist - J(fo));
  f.n = Norm(V3(sx, 0, 0) - f.d * Dot(V3(sx, 0, 0), f.d));
  f.w = Norm(Cross(f.d, f.n)) * sx;
  return f;
}

Shape HandShape(int side) {
  Shape s;
  s.k = 1.4f;
  s.kCross = 1.4f;
  s.apartGroups = true;
  const int hand = side ? kHandR : kHandL, fo = side ? kForearmR : kForearmL;
  const int reg = side ? kRegHandR : kRegHandL;
  const HandFrame hf = FrameOfHand(side);
  const V3 wrist = hf.wrist, d = hf.d, n = hf.n, w = hf.w;
  auto& P = s.prims;
  // The wrist starts inside the forearm, which tapers to the same width,
  // so that the two shells meet without a lip.
  P.push_back(Cone(wrist - d * 9.0f, wrist + d * 2.0f, 3.5f, 3.75f, fo, reg));
  Prim palm = Ell(wrist + d * 7.8f, V3(1, 1, 1), hand, reg);
  // Ellipsoid radii are axis-aligned: the hand hangs nearly straight, so its
  // axes are close to x (thickness), y (length) and z (width). It ends just
  // past the knuckles: any further and its blend webs the fingers together.
  palm.b = V3(2.9f, 7.2f, 6.2f);
  P.push_back(palm);
  // Slim fingers fanning out a little from the knuckles, each its own group:
  // they blend into the palm but not into each other, so air stays between
  // them from the knuckles to the rounded tips. The gaps run straight along
  // the fanning planes of the hand's lattice, where samples always fall.
  const float len[4] = {9.5f, 10.5f, 10.0f, 8.0f};
  for (int i = 0; i < 4; ++i) {
    const float off = kFingerSpacing * (1.5f - i);
    auto at = [&](float along) { return wrist + d * along + w * (off * FingerFan(along)); };
    const V3 root = at(kKnuckles);
    const V3 mid = at(kKnuckles + len[i] * 0.55f) - n * 0.6f;
    const V3 tip = at(kKnuckles + len[i]) - n * 2.2f;
    P.push_back(Cone(root, mid, 1.32f, 1.2f, hand, reg, 1 + i));
    P.push_back(Cone(mid, tip, 1.2f, 1.06f, hand, reg, 1 + i));
  }
  // The thumb stands off the palm, towards the front, so it reads on its own.
  const V3 t0 = wrist + d * 3.5f + w * 4.6f - n * 1.2f;
  const V3 t1 = t0 + d * 5.0f + w * 3.4f - n * 2.2f;
  const V3 t2 = t1 + d * 4.6f + w * 0.9f - n * 1.4f;
  P.push_back(Cone(t0, t1, 2.4f, 2.0f, hand, reg));
  P.push_back(Cone(t1, t2, 2.0f, 1.5f, hand, reg));
  for (size_t i = 1; i < P.size(); ++i) {
    Prim& pr = P[i];
    pr.a = wrist + (pr.a - wrist) * kHandScale;
    if (pr.kind == kCone) {
      pr.b = wrist + (pr.b - wrist) * kHandScale;
      pr.ra *= kHandScale;
      pr.rb *= kHandScale;
    } else {
      pr.b = pr.b * kHandScale;
    }
  }
  return s;
}

// A hand is sampled in its own frame. Across it, four planes to a finger,
// one through the middle of every gap, fanning out with the fingers, so no
// gap falls between two planes and closes up. Along it, coarse over the
// wrist and palm, finer over the fingers and finest where their tips round
// off. The box starts inside the forearm, which hides the end and its cap.
Grid HandGrid(int side) {
  const HandFrame hf = FrameOfHand(side);
  const V3 lo(-3.5f, -10.0f, -9.0f), hi(31.0f, 14.0f, 5.5f);  // along, across, through
  Grid g;
  g.o = hf.wrist + hf.d * lo.x + hf.n * lo.z;
  g.ex = hf.d;
  g.ey = hf.w;
  g.ez = hf.n;
  for (float along = lo.x; along <= hi.x; along += along < 14.0f ? 2.0f : (along < 22.0f ? 1.7f : 1.05f))
    g.cx.push_back(along - lo.x);
  const float hw = kFingerSpacing * kHandScale / 4;
  for (int j = static_cast<int>(std::floor(lo.y / hw)); j * hw <= hi.y; ++j) g.cy.push_back(j * hw);
  g.cz = EvenPlanes(lo.z, hi.z, 1.6f);
  g.fanFrom = kKnuckles * kHandScale - lo.x;
  g.fanRate = kFingerSpread / kHandScale;
  return g;
}

Shape HairShape() {
  Shape s;
  s.k = 5.0f;
  s.kCross = 5.0f;
  s.hairCut = true;
  auto& P = s.prims;
  P.push_back(Ell(V3(0, 338, -3), V3(29.0f, 30.5f, 29.2f), kHead, kRegHairCap));
  P.push_back(Ell(V3(0, 340, -10), V3(28.5f, 29, 27), kHead, kRegHairCap));  // back volume
  P.push_back(Ell(V3(0, 352, 2), V3(24, 16, 24), kHead, kRegHairCap));       // crown
  P.push_back(Ell(V3(0, 314, -13), V3(22, 18, 16), kHead, kRegHairCap));     // nape
  for (int side = 0; side < 2; ++side) {
    auto M = [&](V3 v) { return side ? MirrorX(v) : v; };
    const int t1 = side ? kTailR1 : kTailL1, t2 = side ? kTailR2 : kTailL2, t3 = side ? kTailR3 : kTailL3;
    const int reg = side ? kRegTailR : kRegTailL;
    const int g = 1 + side;
    // Side locks framing the face, two layers of different length.
    P.push_back(Cone(M(V3(22.5f, 334, 9)), M(V3(23.8f, 302, 12)), 3.8f, 1.3f, kHead, kRegHairCap));
    P.push_back(Cone(M(V3(23.5f, 336, 3)), M(V3(25.5f, 309, 5)), 3.6f, 1.6f, kHead, kRegHairCap));
    // Gathered at the tie, full in the middle, tapering to locks at the ends.
    P.push_back(Ell(J(t1) + V3(0, 2, 1), V3(6.5f, 6.5f, 6.5f), kHead, kRegHairCap));
    // A ribbon bow over the tie: two loops standing out to the front and back.
    for (float dz : {5.5f, -5.5f}) {
      Prim loop = Ell(J(t1) + M(V3(3.5f, 4.0f, dz)), V3(2.2f, 3.4f, 4.0f), kHead, reg, 3 + side);
      P.push_back(loop);
    }
    const V3 mid = J(t1) + (J(t2) - J(t1)) * 0.35f + M(V3(2.0f, 0, 0));
    Prim a = Cone(J(t1), mid, 4.6f, 9.4f, t1, reg, g);
    Prim b = Cone(mid, J(t2), 9.4f, 9.4f, t1, reg, g);
    Prim c = Cone(J(t2), J(t3), 9.4f, 6.6f, t2, reg, g);
    for (Prim* pr : {&a, &b, &c}) pr->grooves = 4, pr->pleats = 0.1f;
    P.push_back(a);
    P.push_back(b);
    P.push_back(c);
    // The ends part into three locks of different length.
    const V3 ends[3] = {M(V3(50, 198, -22)), M(V3(45.5f, 206, -29)), M(V3(51.5f, 210, -31))};
    const V3 roots[3] = {J(t3) + M(V3(1.2f, 0, 2.4f)), J(t3) + M(V3(-2.2f, 0, -1.4f)), J(t3) + M(V3(2.6f, 0, -2.6f))};
    const float rr[3] = {4.6f, 4.2f, 3.9f};
    for (int k = 0; k < 3; ++k) {
      Prim end = Cone(roots[k], ends[k], rr[k], 1.8f, t3, reg, g);
      end.soft = 2;
      P.push_back(end);
    }
  }
  return s;
}

// ---- Texture charts ------------------------------------------------------------

struct Chart {
  V3 a, b, front;
};

Chart ChartOf(int region) {
  switch (region) {
    case kRegHead:
      return {V3(0, 298, -1), V3(0, 366, -1), V3(0, 0, 1)};
    case kRegTorso:
      return {V3(0, 118, -1), V3(0, 300, -1), V3(0, 0, 1)};
    case kRegArmL:
      return {V3(22, 283, -2), J(kHandL), V3(0, 0, 1)};
    case kRegArmR:
      return {V3(-22, 283, -2), J(kHandR), V3(0, 0, 1)};
    case kRegLegL:
      return {V3(15, 200, 0), V3(13, 13, -3), V3(0, 0, 1)};
    case kRegLegR:
      return {V3(-15, 200, 0), V3(-13, 13, -3), V3(0, 0, 1)};
    case kRegHandL:
      return {J(kHandL) + V3(-1.5f, 6, 0), V3(51, 147, 0), V3(1, 0, 0)};
    case kRegHandR:
      return {J(kHandR) + V3(1.5f, 6, 0), V3(-51, 147, 0), V3(-1, 0, 0)};
    case kRegFootL:
      return {V3(13, 16, -12), V3(13, 3, 27), V3(0, 1, 0)};
    case kRegFootR:
      return {V3(-13, 16, -12), V3(-13, 3, 27), V3(0, 1, 0)};
    case kRegHairCap:
      return {V3(0, 290, -3), V3(0, 370, -3), V3(0, 0, 1)};
    case kRegTailL:
      return {J(kTailL1) + V3(0, 8, 0), V3(48, 197, -25), V3(0, 0, 1)};
    case kRegTailR:
      return {J(kTailR1) + V3(0, 8, 0), V3(-48, 197, -25), V3(0, 0, 1)};
  }
  return {V3(0, 0, 0), V3(0, 1, 0), V3(0, 0, 1)};
}

void ChartParams(int region, V3 p, float& u, float& t) {
  const Chart c = ChartOf(region);
  const V3 ax = c.b - c.a;
  const float L = Len(ax);
  const V3 axn = ax * (1.0f / L);
  t = Dot(p - c.a, axn) / L;
  const V3 r = (p - c.a) - axn * Dot(p - c.a, axn);
  const V3 f = Norm(c.front - axn * Dot(c.front, axn));
  const V3 sdir = Cross(axn, f);
  // u = 0.5 straight ahead, the seam behind.
  u = 0.5f + std::atan2(Dot(r, sdir), Dot(r, f)) / (2 * kPi);
}

void Append(Mesh& mesh, const Shell& sh) {
  // Each triangle takes the chart of most of its corners; corners are
  // duplicated per chart and across the cylinder seam.
  std::map<std::tuple<int, int, int>, int> remap;
  for (size_t t = 0; t < sh.tris.size(); t += 3) {
    const int c[3] = {sh.tris[t], sh.tris[t + 1], sh.tris[t + 2]};
    int reg = sh.region[c[0]];
    if (sh.region[c[1]] == sh.region[c[2]]) reg = sh.region[c[1]];
    float u[3], tt[3];
    for (int m = 0; m < 3; ++m) ChartParams(reg, sh.pos[c[m]], u[m], tt[m]);
    const float umax = std::max(u[0], std::max(u[1], u[2]));
    const float umin = std::min(u[0], std::min(u[1], u[2]));
    const bool wrap = umax - umin > 0.5f;
    for (int m = 0; m < 3; ++m) {
      const int w = wrap && u[m] < 0.5f ? 1 : 0;
      const auto key = std::make_tuple(c[m], reg, w);
      auto it = remap.find(key);
      int idx;
      if (it == remap.end()) {
        Vertex v;
        v.pos = sh.pos[c[m]];
        v.nrm = sh.nrm[c[m]];
        float ix, iy;
        RegionToImage(reg, u[m] + w, tt[m], ix, iy);
        v.u = ix;
        v.v = 1.0f - iy;  // the loader flips v back to top-row-first pictures
        for (int k = 0; k < 4; ++k) {
          v.bone[k] = static_cast<uint8_t>(sh.bones[c[m]][k]);
          v.weight[k] = sh.weights[c[m]][k];
        }
        v.mark = 255;
        idx = static_cast<int>(mesh.verts.size());
        mesh.verts.push_back(v);
        remap.emplace(key, idx);
      } else {
        idx = it->second;
      }
      mesh.tris.push_back(static_cast<uint16_t>(idx));
    }
  }
}

// Closes every hole of a shell: each run of open edges (an edge with a
// triangle on one side only) that meet at their corners gets a fan from a
// new corner at its middle. Only holes no one sees are capped (the scalp
// under the hair, the hands' ends inside the forearms), so the cap need not
// follow the surface; it only has to close the shell, wound as the rest, so
// that the draw may leave out faces seen from behind. The new corner is
// skinned by the mean of the rim's weights, so the cap moves with its rim.
void CapHoles(Shell& sh) {
  std::map<std::pair<int, int>, int> uses;  // directed edge -> triangles
  for (size_t t = 0; t < sh.tris.size(); t += 3)
    for (int k = 0; k < 3; ++k) uses[std::make_pair(sh.tris[t + k], sh.tris[t + (k + 1) % 3])]++;
  std::vector<std::pair<int, int>> rim;
  for (const auto& e : uses)
    if (!uses.count(std::make_pair(e.first.second, e.first.first))) rim.push_back(e.first);
  // Holes: rim corners joined by rim edges.
  std::map<int, int> hole;
  std::function<int(int)> root = [&](int v) { return hole[v] == v ? v : hole[v] = root(hole[v]); };
  for (const auto& e : rim) hole.emplace(e.first, e.first), hole.emplace(e.second, e.second);
  for (const auto& e : rim) hole[root(e.first)] = root(e.second);
  std::map<int, int> centre;  // hole -> its new corner
  std::map<int, std::vector<int>> corners;
  for (const auto& h : hole) corners[root(h.first)].push_back(h.first);
  for (const auto& h : corners) {
    V3 mid;
    float w[kBoneCount] = {};
    for (int v : h.second) {
      mid = mid + sh.pos[v];
      for (int k = 0; k < 4; ++k) w[sh.bones[v][k]] += sh.weights[v][k];
    }
    mid = mid * (1.0f / h.second.size());
    std::array<int, 4> bi{0, 0, 0, 0};
    std::array<float, 4> bw{0, 0, 0, 0};
    for (int slot = 0; slot < 4; ++slot) {
      const int best = static_cast<int>(std::max_element(w, w + kBoneCount) - w);
      if (w[best] <= 0) break;
      bi[slot] = best, bw[slot] = w[best], w[best] = 0;
    }
    const float sum = bw[0] + bw[1] + bw[2] + bw[3];
    for (float& x : bw) x /= sum;
    centre[h.first] = static_cast<int>(sh.pos.size());
    sh.pos.push_back(mid);
    sh.nrm.push_back(sh.nrm[h.second[0]]);
    sh.region.push_back(sh.region[h.second[0]]);
    sh.bones.push_back(bi);
    sh.weights.push_back(bw);
    sh.soft.push_back(0);
    sh.softT.push_back(0);
  }
  for (const auto& e : rim) sh.tris.insert(sh.tris.end(), {e.second, e.first, centre[root(e.first)]});
}

// Soft marks: free points inside each soft part, a pinned rim around them.
void MarkSoft(Mesh& mesh, const Shell& body, const Shell& hair, float chestCut, float hairCut, float hemCut) {
  // Mark by position: every mesh vertex takes the mark of its shell vertex.
  auto classify = [&](const Shell& sh, size_t i) -> int {
    const int s = sh.soft[i];
    const float t = sh.softT[i];
    if (s == 1 && t > chestCut) return 140;
    if (s == 2 && t > hairCut) return 200;
    if (s == 3 && t > hemCut) return 230;
    return 255;
  };
  // Positions -> marks; duplicated corners share a position and must agree.
  std::map<std::tuple<float, float, float>, int> markAt;
  for (size_t i = 0; i < body.pos.size(); ++i) {
    const int m = classify(body, i);
    if (m != 255) markAt[std::make_tuple(body.pos[i].x, body.pos[i].y, body.pos[i].z)] = m;
  }
  for (size_t i = 0; i < hair.pos.size(); ++i) {
    const int m = classify(hair, i);
    if (m != 255) markAt[std::make_tuple(hair.pos[i].x, hair.pos[i].y, hair.pos[i].z)] = m;
  }
  for (Vertex& v : mesh.verts) {
    auto it = markAt.find(std::make_tuple(v.pos.x, v.pos.y, v.pos.z));
    v.mark = it == markAt.end() ? 255 : static_cast<uint8_t>(it->second);
  }
  // The rim: unmarked vertices next to a free one become pinned.
  std::vector<uint8_t> rim(mesh.verts.size(), 0);
  for (size_t t = 0; t < mesh.tris.size(); t += 3)
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) {
        const Vertex& va = mesh.verts[mesh.tris[t + a]];
        if (va.mark <= 250 && mesh.verts[mesh.tris[t + b]].mark == 255) rim[mesh.tris[t + b]] = 1;
      }
  // Pin by position too, so all copies at a rim position agree.
  std::map<std::tuple<float, float, float>, int> rimAt;
  for (size_t i = 0; i < mesh.verts.size(); ++i)
    if (rim[i]) rimAt[std::make_tuple(mesh.verts[i].pos.x, mesh.verts[i].pos.y, mesh.verts[i].pos.z)] = 1;
  for (Vertex& v : mesh.verts)
    if (v.mark == 255 && rimAt.count(std::make_tuple(v.pos.x, v.pos.y, v.pos.z))) v.mark = 252;
}

}  // namespace

namespace {
const Shape& BodyShapeOf(Outfit outfit) {
  static Shape shapes[kOutfitCount];
  static bool made[kOutfitCount] = {};
  if (!made[outfit]) {
    shapes[outfit] = BodyShape(outfit);
    made[outfit] = true;
  }
  return shapes[outfit];
}
}  // namespace

float BodyDistance(Outfit outfit, V3 p) { return ShapeDist(BodyShapeOf(outfit), p); }
V3 BodyNormal(Outfit outfit, V3 p) { return ShapeGrad(BodyShapeOf(outfit), p); }

void HeadTexCoords(V3 p, float& u, float& v) {
  float cu, ct, ix, iy;
  ChartParams(kRegHead, p, cu, ct);
  RegionToImage(kRegHead, cu, ct, ix, iy);
  u = ix;
  v = 1.0f - iy;
}

SoftCounts CountSoft(const Mesh& mesh) {
  // Mirrors how the physics builds its network: one point per distinct
  // position (closer than 0.01), non-255 vertices and their 255 neighbours,
  // one spring per edge between two points.
  SoftCounts c;
  std::map<std::tuple<int, int, int>, std::vector<int>> cells;  // coarse hash of points
  std::vector<V3> pts;
  std::vector<int> share;
  std::vector<int> isFree;
  auto find = [&](V3 p) -> int {
    const int cx = static_cast<int>(std::floor(p.x)), cy = static_cast<int>(std::floor(p.y)),
              cz = static_cast<int>(std::floor(p.z));
    for (int dx = -1; dx <= 1; ++dx)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dz = -1; dz <= 1; ++dz) {
          auto it = cells.find(std::make_tuple(cx + dx, cy + dy, cz + dz));
          if (it == cells.end()) continue;
          for (int i : it->second) {
            const V3 d = pts[i] - p;
            if (Dot(d, d) < 0.0001f) return i;
          }
        }
    return -1;
  };
  std::vector<int> pointOf(mesh.verts.size(), -1);
  auto add = [&](int vi) {
    if (pointOf[vi] >= 0) return;
    const V3 p = mesh.verts[vi].pos;
    int i = find(p);
    if (i < 0) {
      i = static_cast<int>(pts.size());
      pts.push_back(p);
      share.push_back(0);
      isFree.push_back(mesh.verts[vi].mark <= 250);
      cells[std::make_tuple(static_cast<int>(std::floor(p.x)), static_cast<int>(std::floor(p.y)),
                            static_cast<int>(std::floor(p.z)))]
          .push_back(i);
    }
    pointOf[vi] = i;
    share[i]++;
  };
  for (size_t t = 0; t < mesh.tris.size(); t += 3)
    for (int k = 0; k < 3; ++k) {
      const int a = mesh.tris[t + k], b = mesh.tris[t + (k + 1) % 3];
      if (mesh.verts[a].mark != 255 || mesh.verts[b].mark != 255) {
        add(a);
        add(b);
      }
    }
  std::map<std::pair<int, int>, int> springs;
  for (size_t t = 0; t < mesh.tris.size(); t += 3)
    for (int k = 0; k < 3; ++k) {
      const int a = pointOf[mesh.tris[t + k]], b = pointOf[mesh.tris[t + (k + 1) % 3]];
      if (a < 0 || b < 0 || a == b) continue;
      springs[std::make_pair(std::min(a, b), std::max(a, b))] = 1;
    }
  c.points = static_cast<int>(pts.size());
  c.springs = static_cast<int>(springs.size());
  for (int s : share) c.maxShare = std::max(c.maxShare, s);
  for (int f : isFree) c.free += f;
  return c;
}

bool SkirtOf(Outfit outfit, Skirt* out) {
  const Fit fit = FitFor(outfit);
  if (!fit.skirt) return false;
  *out = Skirt{V3(0, 214, -1), V3(0, fit.hemY, -1), fit.skirtTop, fit.hemR};
  return true;
}

Mesh BuildCharacter(Outfit outfit) {
  Shell body, handL, handR, hair;
  // The lattice reaches a cell behind the pleated school skirt's hem, which
  // stood past its last plane and was left open there; its planes keep
  // their places, so the other outfits come out as before.
  MeshShape(BodyShape(outfit), BoxGrid(V3(-64, -3, -35.5f), V3(64, 372, 38), 3.5f), body);
  MeshShape(HandShape(0), HandGrid(0), handL);
  MeshShape(HandShape(1), HandGrid(1), handR);
  MeshShape(HairShape(), BoxGrid(V3(-62, 192, -48), V3(62, 374, 36), 3.5f), hair);
  // The scalp under the hair is never seen: its vertices are better spent
  // on the hair. Only what moves with the head alone may go, so that no gap
  // opens at the nape when she turns.
  {
    const Shape hs = HairShape();
    std::vector<char> hidden(body.pos.size());
    for (size_t v = 0; v < body.pos.size(); ++v)
      hidden[v] = body.bones[v][0] == kHead && body.weights[v][0] > 0.99f && ShapeDist(hs, body.pos[v]) < -1.5f;
    std::vector<int> kept;
    for (size_t t = 0; t < body.tris.size(); t += 3)
      if (!(hidden[body.tris[t]] && hidden[body.tris[t + 1]] && hidden[body.tris[t + 2]]))
        kept.insert(kept.end(), {body.tris[t], body.tris[t + 1], body.tris[t + 2]});
    body.tris.swap(kept);
  }
  // The face, the fringe's cut and the hands keep every triangle: the face
  // rig's parts are laid against the face as meshed, and the others are
  // small and seen up close.
  Simplify(BodyShape(outfit), body, [&](size_t v) { return body.region[v] == kRegHead; });
  {
    const Shape hs = HairShape();
    Simplify(hs, hair, [&](size_t v) { return HairCut(hair.pos[v]) > -3.0f; });
  }
  // The scalp's rim and the hands' ends inside the forearms are the only
  // holes; capped, every shell is closed.
  CapHoles(body);
  CapHoles(handL);
  CapHoles(handR);
  Mesh mesh;
  if (std::getenv("GIRLGEN_VERBOSE"))
    std::printf("shells: body %zu, hands %zu + %zu, hair %zu\n", body.pos.size(), handL.pos.size(), handR.pos.size(),
                hair.pos.size());
  Append(mesh, body);
  Append(mesh, handL);
  Append(mesh, handR);
  Append(mesh, hair);
  // Last, so that each face part is drawn over what lies behind it.
  AppendFace(mesh, outfit);
  // Soft parts sized against the real physics: free points sit where the
  // springs' pull and the push along the normals balance near the modelled
  // shape (under 2.5 units of drift at rest, tried on every outfit); the hem
  // gives way first when the network would exceed its capacities.
  float chestCut = 0.5f, hairCut = 0.45f, hemCut = 0.45f;
  for (int tries = 0; tries < 20; ++tries) {
    MarkSoft(mesh, body, hair, chestCut, hairCut, hemCut);
    const SoftCounts c = CountSoft(mesh);
    if (std::getenv("GIRLGEN_VERBOSE"))
      std::printf("soft try %d: %d points, %d springs, %d free\n", tries, c.points, c.springs, c.free);
    if (c.points <= 480 && c.springs <= 990 && c.maxShare <= 4) break;
    chestCut += 0.01f;
    hairCut += 0.02f;
    hemCut += 0.03f;
  }
  return mesh;
}

}  // namespace girlgen
