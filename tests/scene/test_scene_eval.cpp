// Node transforms at a frame, the two world caches, bone matrices, release.
#include <gtest/gtest.h>

#include <cmath>

#include "scene_fixtures.h"

namespace {

// A scene of `n` nodes whose node i has node i-1 as parent; only positions.
void Chain(CPODScene& s, uint32_t n, uint32_t frames) {
  s.frameCount = frames;
  s.nodeCount = n;
  s.nodes = PODAlloc<SPODNode>(n);
  for (uint32_t i = 0; i < n; ++i) {
    s.nodes[i].parentIndex = (int32_t)i - 1;
    s.nodes[i].materialIndex = -1;
    s.nodes[i].positions = PODAlloc<float>(3 * (frames ? frames : 1));
    s.nodes[i].positions[0] = 1.0f;
  }
  s.InitImpl();
}

void ExpectMatrixNear(const MATRIX& a, const MATRIX& b, float tol) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.f[i], b.f[i], tol) << "element " << i;
}

}  // namespace

TEST(SceneEval, SetFrameSplitsIntoIndexAndBlend) {
  CPODScene still;
  Chain(still, 1, 0);
  still.SetFrame(12.7f);
  EXPECT_EQ(std::make_tuple(still.evalState->frameIndex, still.evalState->blend, still.evalState->currentFrame),
            std::make_tuple(0, 0.0f, 12.7f));

  CPODScene s;
  Chain(s, 1, 10);
  s.nodes[0].animationFlags = 1;
  for (int f = 0; f < 10; ++f) s.nodes[0].positions[3 * f] = (float)f * 4;
  s.SetFrame(9.5f);
  EXPECT_EQ(s.evalState->frameIndex, 9);
  EXPECT_FLOAT_EQ(s.evalState->blend, 0.5f);
  MATRIX t;
  s.GetTranslationMatrix(t, s.nodes[0]);
  EXPECT_FLOAT_EQ(t.f[12], 36.0f);  // the last entry as it stands, no blend
  s.SetFrame(2.25f);
  s.GetTranslationMatrix(t, s.nodes[0]);
  EXPECT_FLOAT_EQ(t.f[12], 9.0f);
}

TEST(SceneEval, EmptyArraysGiveTheIdentity) {
  CPODScene s;
  Chain(s, 2, 0);
  std::free(s.nodes[1].positions);
  s.nodes[1].positions = nullptr;
  MATRIX local, world, parent;
  s.GetScalingMatrix(local, s.nodes[1]);
  EXPECT_EQ(local.f[0], 1.0f);
  s.GetWorldMatrixNoCache(world, s.nodes[1]);
  s.GetWorldMatrixNoCache(parent, s.nodes[0]);
  ExpectMatrixNear(world, parent, 0);

  CPODScene empty;
  empty.SetFrame(3.0f);  // nothing to set, nothing happens
  EXPECT_EQ(empty.evalState, nullptr);
  empty.Destroy();  // never read
  EXPECT_TRUE(IsZeroed(empty));
}

// A node turned a quarter about z and stretched twice along x: the stretch
// is applied before the turn (the turn's sign does not matter here), then
// the move to x = 1.
TEST(SceneEval, UnevenScaleComesBeforeTheTurn) {
  CPODScene s;
  Chain(s, 1, 0);
  SPODNode& n = s.nodes[0];
  n.scales = PODAlloc<float>(7);
  n.scales[0] = 2.0f, n.scales[1] = n.scales[2] = 1.0f;
  n.rotations = PODAlloc<float>(4);
  n.rotations[2] = n.rotations[3] = std::sqrt(0.5f);
  MATRIX w;
  s.GetWorldMatrixNoCache(w, n);
  // x axis: stretched to 2, turned onto y; y axis: kept 1, turned onto x.
  EXPECT_NEAR(w.f[12], 1.0f, 1e-6f);
  EXPECT_NEAR(std::fabs(w.f[1]), 2.0f, 1e-6f);
  EXPECT_NEAR(std::fabs(w.f[4]), 1.0f, 1e-6f);
  EXPECT_NEAR(w.f[0], 0.0f, 1e-6f);
}

TEST(SceneEval, CachesComputeEachNodeOncePerFrameFrameZeroHoldsTheLoadedPose) {
  CPODScene s;
  Chain(s, 5, 10);
  MATRIX m;
  const unsigned long atLoad = s.worldComputations();
  EXPECT_EQ(atLoad, 5u);  // the frame-0 cache
  s.GetWorldMatrix(m, s.nodes[4]);
  EXPECT_EQ(s.worldComputations(), atLoad);  // frame 0 is served from the cache
  s.SetFrame(3.5f);
  s.GetWorldMatrix(m, s.nodes[4]);
  s.GetWorldMatrix(m, s.nodes[4]);
  EXPECT_EQ(s.worldComputations(), atLoad + 1);
  s.SetFrame(4.0f);
  s.GetWorldMatrix(m, s.nodes[4]);
  EXPECT_EQ(s.worldComputations(), atLoad + 2);
  EXPECT_FLOAT_EQ(m.f[12], 5.0f);
  // The frame-0 cache holds the loaded pose until flushed.
  s.nodes[1].positions[0] = 100.0f;
  s.SetFrame(0.0f);
  s.GetWorldMatrix(m, s.nodes[1]);
  EXPECT_FLOAT_EQ(m.f[12], 2.0f);
  s.FlushCache();
  s.GetWorldMatrix(m, s.nodes[1]);
  EXPECT_FLOAT_EQ(m.f[12], 101.0f);
}

TEST(SceneEval, BoneMatrixIsBindInverseThenCurrentPoseSingularKeepsTheBind) {
  CPODScene s;
  BuildTestScene(s);
  s.InitImpl();
  MATRIX bone, mesh0;
  s.GetWorldMatrix(mesh0, s.nodes[0]);
  s.GetBoneWorldMatrix(bone, s.nodes[0], s.nodes[3]);
  ExpectMatrixNear(bone, mesh0, 1e-5f);  // at frame 0 a bone changes nothing

  s.SetFrame(6.5f);
  s.GetBoneWorldMatrix(bone, s.nodes[0], s.nodes[3]);
  // A point at bone B's bind position follows bone B.
  MATRIX bind, now;
  s.GetWorldMatrixNoCache(now, s.nodes[3]);
  s.SetFrame(0.0f);
  s.GetWorldMatrix(bind, s.nodes[3]);
  const float px = bind.f[12], py = bind.f[13];
  EXPECT_NEAR(px * bone.f[0] + py * bone.f[4] + bone.f[12], now.f[12], 1e-4f);
  EXPECT_NEAR(px * bone.f[1] + py * bone.f[5] + bone.f[13], now.f[13], 1e-4f);

  // A flattened bone has no inverse: the bind is used as it is.
  CPODScene flat;
  BuildTestScene(flat);
  flat.nodes[3].scales[0] = 0.0f;
  flat.InitImpl();
  testing::internal::CaptureStdout();
  flat.GetBoneWorldMatrix(bone, flat.nodes[0], flat.nodes[3]);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Matrix has no inverse : singular matrix\n");
  // Destroyed twice: zeroed each time.
  for (int i = 0; i < 2; ++i) {
    s.Destroy();
    EXPECT_TRUE(IsZeroed(s));
  }
}

// A bone with a bind pose of its own (an imported character's) is bound
// there instead of at frame 0.
TEST(SceneEval, BoneWithItsOwnBindPose) {
  CPODScene s;
  BuildTestScene(s);
  s.InitImpl();
  MATRIX atFive, atZero, plain;
  s.SetFrame(5.0f);
  s.GetWorldMatrixNoCache(atFive, s.nodes[3]);
  s.SetFrame(0.0f);
  s.GetWorldMatrixNoCache(atZero, s.nodes[3]);
  s.nodes[3].inverseBind = static_cast<float*>(std::malloc(64));
  for (float frame : {0.0f, 5.0f, 7.5f}) {
    // Bound at frame 0 by hand: as without a bind pose.
    MatrixInverse(*reinterpret_cast<MATRIX*>(s.nodes[3].inverseBind), atZero);
    s.SetFrame(frame);
    s.GetBoneWorldMatrix(plain, s.nodes[0], s.nodes[3]);
    std::free(s.nodes[3].inverseBind);
    s.nodes[3].inverseBind = nullptr;
    MATRIX expected;
    s.GetBoneWorldMatrix(expected, s.nodes[0], s.nodes[3]);
    ExpectMatrixNear(plain, expected, 1e-4f);
    s.nodes[3].inverseBind = static_cast<float*>(std::malloc(64));
  }
  // Bound at frame 5: at frame 5 the bone moves nothing.
  MatrixInverse(*reinterpret_cast<MATRIX*>(s.nodes[3].inverseBind), atFive);
  s.SetFrame(5.0f);
  MATRIX bone, mesh0;
  s.GetBoneWorldMatrix(bone, s.nodes[0], s.nodes[3]);
  s.SetFrame(0.0f);
  s.GetWorldMatrix(mesh0, s.nodes[0]);
  ExpectMatrixNear(bone, mesh0, 1e-4f);
}

TEST(SceneEval, DeepChainsNeedNoDeepRecursion) {
  CPODScene s;
  Chain(s, 100000, 0);
  MATRIX m;
  s.SetFrame(1.0f);
  s.GetWorldMatrix(m, s.nodes[99999]);
  EXPECT_FLOAT_EQ(m.f[12], 100000.0f);
}

// A pose layer (her face rig) moves a node and everything below it at any
// frame, frame 0 included, while the bind pose the bone matrices start from
// stays as stored; taking the layer away gives the stored pose again.
TEST(SceneEval, PoseLayerMovesTheCurrentPoseNeverTheBindPose) {
  CPODScene s;
  Chain(s, 3, 4);
  std::vector<MATRIX> layer(3);
  for (MATRIX& m : layer) MatrixIdentity(m);
  MatrixTranslation(layer[1], 0, 5, 0);
  MATRIX stored, moved, bone;
  for (float frame : {0.0f, 2.0f}) {
    s.SetPoseLayer(nullptr);
    s.SetFrame(frame);
    s.GetWorldMatrix(stored, s.nodes[2]);
    s.SetPoseLayer(layer.data());
    s.GetWorldMatrix(moved, s.nodes[2]);
    EXPECT_FLOAT_EQ(moved.f[13], stored.f[13] + 5.0f) << "frame " << frame;
    // The bone matrix is bind (frame 0, no layer) undone, then the posed world.
    s.GetBoneWorldMatrix(bone, s.nodes[0], s.nodes[2]);
    EXPECT_FLOAT_EQ(bone.f[13], 5.0f) << "frame " << frame;
    EXPECT_EQ(s.evalState->currentFrame, frame);
  }
  s.SetPoseLayer(nullptr);
  s.GetWorldMatrix(moved, s.nodes[2]);
  ExpectMatrixNear(moved, stored, 1e-6f);
}
