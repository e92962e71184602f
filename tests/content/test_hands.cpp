// Her hands up close: the four fingers must be apart in the surface itself,
// not only in the paint, or a zoomed-in hand reads as a mitten.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "content/content_util.h"
#include "girlgen.h"

using namespace content;
using girlgen::V3;

namespace {

struct Tri {
  V3 a, b, c;
};

// Distance along the ray to the triangle, or a negative value for a miss.
float RayHit(V3 o, V3 dir, const Tri& t) {
  const V3 e1 = t.b - t.a, e2 = t.c - t.a;
  const V3 p = girlgen::Cross(dir, e2);
  const float det = girlgen::Dot(e1, p);
  if (std::fabs(det) < 1e-9f) return -1;
  const float inv = 1.0f / det;
  const V3 s = o - t.a;
  const float u = girlgen::Dot(s, p) * inv;
  if (u < 0 || u > 1) return -1;
  const V3 q = girlgen::Cross(s, e1);
  const float v = girlgen::Dot(dir, q) * inv;
  if (v < 0 || u + v > 1) return -1;
  return girlgen::Dot(e2, q) * inv;
}

// Inside intervals along a line, from its hits in order (the shell is
// closed there). Empty if the line grazes an edge and the hits do not pair.
std::vector<std::pair<float, float>> InsideAlong(const std::vector<Tri>& tris, V3 o, V3 dir, float len) {
  std::vector<float> hits;
  for (const Tri& t : tris) {
    const float h = RayHit(o, dir, t);
    if (h >= 0 && h <= len) hits.push_back(h);
  }
  std::sort(hits.begin(), hits.end());
  // A line through a shared edge hits both triangles.
  hits.erase(std::unique(hits.begin(), hits.end(), [](float a, float b) { return b - a < 1e-4f; }), hits.end());
  std::vector<std::pair<float, float>> in;
  if (hits.size() % 2) return in;
  for (size_t i = 0; i + 1 < hits.size(); i += 2) in.push_back({hits[i], hits[i + 1]});
  return in;
}

// Separate solid pieces of the hand's cross-section in the plane spanned by
// `across` and `depth` through `centre`, each at least `minArea` square
// units. The section is sampled on a 0.1 unit raster and widened by one
// sample across, so a slit narrower than about 0.25 units joins its sides.
int PiecesOfSection(const std::vector<Tri>& tris, V3 centre, V3 across, V3 depth, float minArea) {
  constexpr float kStep = 0.1f;
  constexpr int kW = 280, kD = 90;  // 28 across, 9 deep
  std::vector<char> in(static_cast<size_t>(kW) * kD, 0);
  for (int r = 0; r < kD; ++r) {
    const float dd = -6.0f + r * kStep;
    std::vector<std::pair<float, float>> spans;
    // Nudge a line that grazes an edge until its hits pair up.
    for (int nudge = 0; nudge < 5 && spans.empty(); ++nudge) {
      const V3 o = centre + depth * (dd + nudge * 0.0137f) - across * (kW * kStep * 0.5f);
      spans = InsideAlong(tris, o, across, kW * kStep);
    }
    for (const auto& s : spans)
      for (int c = std::max(0, static_cast<int>(s.first / kStep) - 1);
           c <= std::min(kW - 1, static_cast<int>(s.second / kStep) + 1); ++c)
        in[static_cast<size_t>(r) * kW + c] = 1;
  }
  int pieces = 0;
  std::vector<int> stack;
  for (size_t start = 0; start < in.size(); ++start) {
    if (in[start] != 1) continue;
    int area = 0;
    stack.push_back(static_cast<int>(start));
    in[start] = 2;
    while (!stack.empty()) {
      const int cell = stack.back();
      stack.pop_back();
      ++area;
      const int r = cell / kW, c = cell % kW;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) {
          const int rr = r + dr, cc = c + dc;
          if (rr < 0 || rr >= kD || cc < 0 || cc >= kW) continue;
          const size_t next = static_cast<size_t>(rr) * kW + cc;
          if (in[next] == 1) {
            in[next] = 2;
            stack.push_back(static_cast<int>(next));
          }
        }
    }
    pieces += area * kStep * kStep >= minArea;
  }
  return pieces;
}

TEST(ContentHands, FourFingersStandApartOverTheirOuterLength) {
  for (int o = 0; o < 4; ++o) {
    SCOPED_TRACE(kModels[o]);
    auto scene = LoadModel(kModels[o]);
    ASSERT_TRUE(scene);
    const SPODMesh& m = scene->meshes[0];
    const float* pos = reinterpret_cast<const float*>(m.vertices.data);
    const uint16_t* idx = reinterpret_cast<const uint16_t*>(m.faces.data);
    for (int side = 0; side < 2; ++side) {
      SCOPED_TRACE(side ? "right hand" : "left hand");
      const float sx = side ? -1.0f : 1.0f;
      const V3 wrist = girlgen::kBones[side ? girlgen::kHandR : girlgen::kHandL].bindPos;
      const V3 elbow = girlgen::kBones[side ? girlgen::kForearmR : girlgen::kForearmL].bindPos;
      // The hand's own frame: along it, out of its back, across the palm.
      const V3 d = girlgen::Norm(wrist - elbow);
      const V3 n = girlgen::Norm(V3(sx, 0, 0) - d * girlgen::Dot(V3(sx, 0, 0), d));
      const V3 w = girlgen::Norm(girlgen::Cross(d, n));
      std::vector<Tri> near;
      for (uint32_t t = 0; t < m.faceCount; ++t) {
        Tri tri;
        V3* c[3] = {&tri.a, &tri.b, &tri.c};
        for (int k = 0; k < 3; ++k) {
          const float* p = pos + idx[t * 3 + k] * 3;
          *c[k] = V3(p[0], p[1], p[2]);
        }
        if (girlgen::Len(tri.a - wrist) < 40.0f) near.push_back(tri);
      }
      ASSERT_GT(near.size(), 500u);
      // Sections over the outer two thirds of the fingers (they start some
      // 15 units from the wrist), up to near the tip of the shortest one and
      // beyond the thumb's reach.
      for (float along : {18.5f, 20.5f, 22.5f}) {
        // A finger's section is some 4 square units; a mitt is one piece.
        const int pieces = PiecesOfSection(near, wrist + d * along, w, n, 1.5f);
        EXPECT_EQ(pieces, 4) << "across the fingers " << along << " units from the wrist";
      }
    }
  }
}

}  // namespace
