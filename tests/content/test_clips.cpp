// Her clips as the player draws them: frame 0 is the bind pose, idle stays
// near it, the dance moves her whole body, and every hand-over between
// clips is no larger than the largest step inside a clip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "content/content_util.h"

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
  static void SetUpTestSuite() { scene_ = LoadModel("girl_school").release(); }
  static void TearDownTestSuite() {
    delete scene_;
    scene_ = nullptr;
  }
  static CPODScene* scene_;
};
CPODScene* Clips::scene_ = nullptr;

// The frames the player draws inside each clip, in order.
std::vector<std::vector<float>> DrawnClips() {
  std::vector<std::vector<float>> clips;
  std::vector<float> idle;
  for (int f = 0; f < 175; ++f) idle.push_back(f + 0.001f);
  for (int f = 0; f < 175; ++f) idle.push_back(static_cast<float>(f));  // after the wrap, exact frames
  clips.push_back(idle);
  auto run = [](float first, float last) {
    std::vector<float> v;
    for (float f = first; f <= last + 1e-3f; f += 1.0f) v.push_back(f);
    return v;
  };
  clips.push_back(run(175.001f, 184.001f));  // dance-in, started by the button
  clips.push_back(run(186.001f, 297.001f));  // dance
  clips.push_back(run(300.001f, 306.001f));  // dance-out
  clips.push_back(run(308.001f, 343.001f));  // shake, started by a jerk
  return clips;
}

TEST_F(Clips, FrameZeroIsTheBindPoseAndIdleStaysCloseToIt) {
  ASSERT_TRUE(scene_);
  const PoseSample bind = Sample(*scene_, 0.0f);
  for (const MATRIX& m : bind.local)  // no rotation at the bind pose
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) ASSERT_NEAR(m.f[r * 4 + c], r == c ? 1.0f : 0.0f, 1e-5f);
  float worst = 0, worstRoot = 0;
  for (int f = 0; f < 175; ++f) {
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
  for (int f = 186; f < 298; ++f) {
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
  std::vector<HandOver> handOvers = {
      {174.001f, 0.0f, "idle wraps"},       {184.001f, 186.001f, "dance-in to dance"},
      {297.001f, 186.001f, "dance loops"},  {297.001f, 300.001f, "dance to dance-out"},
      {306.001f, 1.001f, "dance-out to idle"}, {343.001f, 1.001f, "shake to idle"},
  };
  // A shake or the dance button may come at any idle frame; a shake also during the dance-out.
  for (int f = 0; f < 175; ++f) {
    handOvers.push_back({f + 0.001f, 308.001f, "idle to shake"});
    handOvers.push_back({static_cast<float>(f), 308.001f, "idle to shake"});
    handOvers.push_back({f + 0.001f, 175.001f, "idle to dance-in"});
  }
  for (int f = 300; f <= 306; ++f) handOvers.push_back({f + 0.001f, 308.001f, "dance-out to shake"});
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
