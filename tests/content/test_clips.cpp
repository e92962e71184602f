// Her clips as the player draws them: frame 0 is the bind pose, idle stays
// near it, the dance moves her whole body, and every hand-over between
// clips is no larger than the largest step inside a clip.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "content/content_util.h"
#include "rig/girl_clips.h"

using namespace content;

namespace {

struct PoseSample {
  std::vector<MATRIX> local;  // rotation part of each bone relative to its parent
  float rootX, rootY, rootZ;
};

PoseSample Sample(CPODScene& s, float frame) {
  s.SetFrame(frame);
  PoseSample p;
  std::vector<MATRIX> world(s.nodeCount);
  for (uint32_t i = 0; i < s.nodeCount; ++i) s.GetWorldMatrix(world[i], s.nodes[i]);
  for (uint32_t i = s.meshNodeCount; i < s.nodeCount; ++i) {
    MATRIX l = world[i];
    if (s.nodes[i].parentIndex >= 0) {
      MATRIX inv;
      MatrixInverse(inv, world[s.nodes[i].parentIndex]);
      MatrixMultiply(l, world[i], inv);
    } else {
      p.rootX = l.f[12], p.rootY = l.f[13], p.rootZ = l.f[14];
    }
    p.local.push_back(l);
  }
  return p;
}

// Largest rotation (degrees) of any bone between two poses, and the root's move.
float Jump(const PoseSample& a, const PoseSample& b, float* rootMove = nullptr) {
  float worst = 0;
  for (size_t k = 0; k < a.local.size(); ++k) {
    float tr = 0;  // trace of A * B^T over the 3 x 3 rotation part
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) tr += a.local[k].f[r * 4 + c] * b.local[k].f[r * 4 + c];
    const float cosang = std::max(-1.0f, std::min(1.0f, (tr - 1.0f) * 0.5f));
    worst = std::max(worst, std::acos(cosang) * 57.29578f);
  }
  if (rootMove)
    *rootMove = std::sqrt((a.rootX - b.rootX) * (a.rootX - b.rootX) + (a.rootY - b.rootY) * (a.rootY - b.rootY) +
                          (a.rootZ - b.rootZ) * (a.rootZ - b.rootZ));
  return worst;
}

class Clips : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { scene_ = LoadModel(kModels[2]).release(); }
  static void TearDownTestSuite() {
    delete scene_;
    scene_ = nullptr;
  }
  static CPODScene* scene_;
};
CPODScene* Clips::scene_ = nullptr;

// The frames the player draws inside each clip, in order: a clip started by
// an action shows start + 0.001 first, a chained one start + 1.001; every
// clip hands over on reaching its end frame.
constexpr AnimClip kIdle = GirlClip(ANIM_IDLE), kIn = GirlClip(ANIM_DANCE_IN), kLoop = GirlClip(ANIM_DANCE),
                   kOut = GirlClip(ANIM_DANCE_OUT), kShakeClip = GirlClip(ANIM_SHAKE);
float Drawn(int frame) { return frame + 0.001f; }

std::vector<std::vector<float>> DrawnClips() {
  std::vector<std::vector<float>> clips;
  std::vector<float> idle;
  for (int f = kIdle.start_frame; f < kIdle.end_frame; ++f) idle.push_back(Drawn(f));
  for (int f = kIdle.start_frame; f < kIdle.end_frame; ++f) idle.push_back(static_cast<float>(f));  // after the wrap
  clips.push_back(idle);
  auto run = [](int first, int last) {
    std::vector<float> v;
    for (int f = first; f <= last; ++f) v.push_back(Drawn(f));
    return v;
  };
  clips.push_back(run(kIn.start_frame, kIn.end_frame - 1));  // dance-in, started by the button
  clips.push_back(run(kLoop.start_frame + 1, kLoop.end_frame - 1));
  clips.push_back(run(kOut.start_frame + 1, kOut.end_frame - 1));
  clips.push_back(run(kShakeClip.start_frame, kShakeClip.end_frame - 1));  // started by a jerk
  return clips;
}

TEST_F(Clips, FrameZeroIsTheBindPoseAndIdleStaysCloseToIt) {
  ASSERT_TRUE(scene_);
  const PoseSample bind = Sample(*scene_, 0.0f);
  for (const MATRIX& m : bind.local)  // no rotation at the bind pose
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) ASSERT_NEAR(m.f[r * 4 + c], r == c ? 1.0f : 0.0f, 1e-5f);
  float worst = 0, worstRoot = 0;
  for (int f = kIdle.start_frame; f < kIdle.end_frame; ++f) {
    float root;
    worst = std::max(worst, Jump(bind, Sample(*scene_, static_cast<float>(f)), &root));
    worstRoot = std::max(worstRoot, root);
  }
  EXPECT_GT(worst, 1.0f);   // she breathes and looks around
  EXPECT_LT(worst, 12.0f);  // but stays near the pose the other clips start from
  EXPECT_LT(worstRoot, 4.0f);
}

TEST_F(Clips, TheDanceMovesHerWholeBody) {
  ASSERT_TRUE(scene_);
  const PoseSample bind = Sample(*scene_, 0.0f);
  float worst = 0, rootRange = 0;
  for (int f = kLoop.start_frame + 1; f < kLoop.end_frame; ++f) {
    float root;
    worst = std::max(worst, Jump(bind, Sample(*scene_, static_cast<float>(f)), &root));
    rootRange = std::max(rootRange, root);
  }
  EXPECT_GT(worst, 45.0f);
  EXPECT_GT(rootRange, 6.0f);
}

TEST_F(Clips, EveryHandOverIsNoLargerThanAStepInsideAClip) {
  ASSERT_TRUE(scene_);
  float maxStep = 0, maxRootStep = 0;
  for (const auto& clip : DrawnClips())
    for (size_t i = 1; i < clip.size(); ++i) {
      if (clip[i] < clip[i - 1]) continue;  // the idle wrap is checked below as a hand-over
      float root;
      maxStep = std::max(maxStep, Jump(Sample(*scene_, clip[i - 1]), Sample(*scene_, clip[i]), &root));
      maxRootStep = std::max(maxRootStep, root);
    }
  ASSERT_GT(maxStep, 0.0f);
  struct HandOver {
    float from, to;
    const char* what;
  };
  const float idleFirst = Drawn(kIdle.start_frame + 1), loopFirst = Drawn(kLoop.start_frame + 1),
              loopLast = Drawn(kLoop.end_frame - 1);
  std::vector<HandOver> handOvers = {
      {Drawn(kIdle.end_frame - 1), static_cast<float>(kIdle.start_frame), "idle wraps"},
      {Drawn(kIn.end_frame - 1), loopFirst, "dance-in to dance"},
      {loopLast, loopFirst, "dance loops"},
      {loopLast, Drawn(kOut.start_frame + 1), "dance to dance-out"},
      {Drawn(kOut.end_frame - 1), idleFirst, "dance-out to idle"},
      {Drawn(kShakeClip.end_frame - 1), idleFirst, "shake to idle"},
  };
  // A shake or the dance button may come at any idle frame; a shake also during the dance-out.
  for (int f = kIdle.start_frame; f < kIdle.end_frame; ++f) {
    handOvers.push_back({Drawn(f), Drawn(kShakeClip.start_frame), "idle to shake"});
    handOvers.push_back({static_cast<float>(f), Drawn(kShakeClip.start_frame), "idle to shake"});
    handOvers.push_back({Drawn(f), Drawn(kIn.start_frame), "idle to dance-in"});
  }
  for (int f = kOut.start_frame + 1; f < kOut.end_frame; ++f)
    handOvers.push_back({Drawn(f), Drawn(kShakeClip.start_frame), "dance-out to shake"});
  for (const HandOver& h : handOvers) {
    float root;
    const float jump = Jump(Sample(*scene_, h.from), Sample(*scene_, h.to), &root);
    EXPECT_LE(jump, maxStep + 1e-3f) << h.what << " from " << h.from << " to " << h.to;
    EXPECT_LE(root, maxRootStep + 1e-3f) << h.what << " from " << h.from << " to " << h.to;
  }
}

TEST_F(Clips, AllOutfitsShareOneTimeline) {
  ASSERT_TRUE(scene_);
  for (const char* name : kModels) {
    auto other = LoadModel(name);
    ASSERT_TRUE(other) << name;
    ASSERT_EQ(other->nodeCount, scene_->nodeCount);
    ASSERT_EQ(other->frameCount, scene_->frameCount);
    for (uint32_t i = other->meshNodeCount; i < other->nodeCount; ++i) {
      const SPODNode &a = other->nodes[i], &b = scene_->nodes[i];
      EXPECT_STREQ(a.name, b.name);
      EXPECT_EQ(a.parentIndex, b.parentIndex);
      ASSERT_EQ(a.animationFlags, b.animationFlags);
      const size_t n = (a.animationFlags & 1) ? other->frameCount : 1;
      const size_t r = (a.animationFlags & 2) ? other->frameCount : 1;
      EXPECT_EQ(std::memcmp(a.positions, b.positions, n * 3 * sizeof(float)), 0) << a.name;
      EXPECT_EQ(std::memcmp(a.rotations, b.rotations, r * 4 * sizeof(float)), 0) << a.name;
    }
  }
}

}  // namespace

namespace {

// Skins every vertex at `frame` the way the renderer does.
std::vector<float> Skinned(CPODScene& s, float frame) {
  const SPODMesh& m = s.meshes[0];
  const CBoneBatches& bb = m.boneBatches;
  s.SetFrame(frame);
  std::vector<MATRIX> palette(bb.batchBoneCounts[0]);
  for (int j = 0; j < bb.batchBoneCounts[0]; ++j) s.GetBoneWorldMatrix(palette[j], s.nodes[0], s.nodes[bb.batches[j]]);
  const float* pos = reinterpret_cast<const float*>(m.vertices.data);
  std::vector<float> out(m.vertexCount * 3, 0.0f);
  const int slots = static_cast<int>(m.boneIndices.componentCount);
  for (uint32_t v = 0; v < m.vertexCount; ++v) {
    const uint8_t* bi = m.boneIndices.data + v * m.boneIndices.stride;
    const float* w = reinterpret_cast<const float*>(m.boneWeights.data + v * m.boneWeights.stride);
    const float x = pos[v * 3], y = pos[v * 3 + 1], z = pos[v * 3 + 2];
    for (int k = 0; k < slots; ++k) {
      const float* M = palette[bi[k]].f;
      out[v * 3] += w[k] * (x * M[0] + y * M[4] + z * M[8] + M[12]);
      out[v * 3 + 1] += w[k] * (x * M[1] + y * M[5] + z * M[9] + M[13]);
      out[v * 3 + 2] += w[k] * (x * M[2] + y * M[6] + z * M[10] + M[14]);
    }
  }
  return out;
}

// Which vertices belong mostly to bones whose name starts with one of `prefixes`.
std::vector<int> VerticesOf(const CPODScene& s, std::initializer_list<const char*> prefixes) {
  const SPODMesh& m = s.meshes[0];
  std::vector<int> out;
  for (uint32_t v = 0; v < m.vertexCount; ++v) {
    const uint8_t* bi = m.boneIndices.data + v * m.boneIndices.stride;
    const float* w = reinterpret_cast<const float*>(m.boneWeights.data + v * m.boneWeights.stride);
    float sum = 0;
    for (uint32_t k = 0; k < m.boneIndices.componentCount; ++k) {
      const char* name = s.nodes[m.boneBatches.batches[bi[k]]].name;
      for (const char* p : prefixes)
        if (std::strncmp(name, p, std::strlen(p)) == 0) sum += w[k];
    }
    if (sum > 0.5f) out.push_back(static_cast<int>(v));
  }
  return out;
}

// The tails hang clear of her shoulders and arms in every clip: no fused hair.
class HairClear : public ::testing::TestWithParam<int> {};

TEST_P(HairClear, TailsNeverSinkIntoShouldersOrArms) {
  auto owned = LoadModel(kModels[GetParam()]);
  ASSERT_TRUE(owned);
  CPODScene* scene_ = owned.get();
  const std::vector<int> tails = VerticesOf(*scene_, {"tail"});
  const std::vector<int> body = VerticesOf(*scene_, {"shoulder", "upperarm", "chest"});
  ASSERT_GT(tails.size(), 200u);
  ASSERT_GT(body.size(), 500u);
  float closest = 1e9f;
  float at = -1;
  int whereT = -1, whereB = -1;
  for (int f = 0; f < kGirlFrameCount; f += 3) {
    const std::vector<float> p = Skinned(*scene_, static_cast<float>(f));
    // A coarse grid over the body vertices keeps this quick.
    std::map<std::array<int, 3>, std::vector<int>> grid;
    for (int v : body)
      grid[{static_cast<int>(std::floor(p[v * 3] / 6)), static_cast<int>(std::floor(p[v * 3 + 1] / 6)),
            static_cast<int>(std::floor(p[v * 3 + 2] / 6))}]
          .push_back(v);
    for (int t : tails) {
      const int cx = static_cast<int>(std::floor(p[t * 3] / 6)), cy = static_cast<int>(std::floor(p[t * 3 + 1] / 6)),
                cz = static_cast<int>(std::floor(p[t * 3 + 2] / 6));
      for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
          for (int dz = -1; dz <= 1; ++dz) {
            auto it = grid.find({cx + dx, cy + dy, cz + dz});
            if (it == grid.end()) continue;
            for (int b : it->second) {
              const float ex = p[t * 3] - p[b * 3], ey = p[t * 3 + 1] - p[b * 3 + 1], ez = p[t * 3 + 2] - p[b * 3 + 2];
              const float d = std::sqrt(ex * ex + ey * ey + ez * ez);
              if (d < closest) closest = d, at = static_cast<float>(f), whereT = t, whereB = b;
            }
          }
    }
  }
  const float* rest = reinterpret_cast<const float*>(scene_->meshes[0].vertices.data);
  EXPECT_GT(closest, 1.5f) << "at frame " << at << ": hair vertex " << whereT << " (modelled at " << rest[whereT * 3]
                           << ", " << rest[whereT * 3 + 1] << ", " << rest[whereT * 3 + 2] << "), body vertex "
                           << whereB << " (" << rest[whereB * 3] << ", " << rest[whereB * 3 + 1] << ", "
                           << rest[whereB * 3 + 2] << ")";
}

INSTANTIATE_TEST_SUITE_P(Outfits, HairClear, ::testing::Range(0, 4));

}  // namespace
