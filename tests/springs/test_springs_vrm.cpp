// The setups made from a file's spring records, checked against the file's
// own rest pose composed here: placed at rest, every joint and its tail stand
// where the file's nodes do.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "springs/springs.h"

namespace {

struct Pose {
  std::vector<float> q, p;  // 4 and 3 a node: world rotation and position
};

void Turn(const float* q, const float* v, float* out) {
  // v + 2w (u x v) + 2 u x (u x v), u the vector part.
  const float c[3] = {q[1] * v[2] - q[2] * v[1], q[2] * v[0] - q[0] * v[2], q[0] * v[1] - q[1] * v[0]};
  const float cc[3] = {q[1] * c[2] - q[2] * c[1], q[2] * c[0] - q[0] * c[2], q[0] * c[1] - q[1] * c[0]};
  for (int k = 0; k < 3; ++k) out[k] = v[k] + 2 * q[3] * c[k] + 2 * cc[k];
}

// World rotation and position of every node, parents first (unit scales).
Pose Rest(const std::vector<SpringFileNode>& nodes, const std::vector<int>& order) {
  Pose pose{std::vector<float>(4 * nodes.size()), std::vector<float>(3 * nodes.size())};
  std::vector<int> parent(nodes.size(), -1);
  for (size_t i = 0; i < nodes.size(); ++i)
    for (int c : nodes[i].children) parent[c] = static_cast<int>(i);
  for (int n : order) {
    const float* r = nodes[n].rotation;
    float* q = &pose.q[4 * n];
    float* p = &pose.p[3 * n];
    if (parent[n] < 0) {
      std::copy(r, r + 4, q);
      std::copy(nodes[n].translation, nodes[n].translation + 3, p);
      continue;
    }
    const float* a = &pose.q[4 * parent[n]];
    q[0] = a[3] * r[0] + a[0] * r[3] + a[1] * r[2] - a[2] * r[1];
    q[1] = a[3] * r[1] - a[0] * r[2] + a[1] * r[3] + a[2] * r[0];
    q[2] = a[3] * r[2] + a[0] * r[1] - a[1] * r[0] + a[2] * r[3];
    q[3] = a[3] * r[3] - a[0] * r[0] - a[1] * r[1] - a[2] * r[2];
    Turn(a, nodes[n].translation, p);
    for (int k = 0; k < 3; ++k) p[k] += pose.p[3 * parent[n] + k];
  }
  return pose;
}

SpringFileNode N(std::vector<int> children, float x, float y, float z, float axis_x = 0, float axis_y = 0,
                 float axis_z = 0, float degrees = 0) {
  SpringFileNode n;
  n.children = children;
  n.translation[0] = x;
  n.translation[1] = y;
  n.translation[2] = z;
  const float h = degrees * 3.14159265f / 360.0f;
  n.rotation[0] = axis_x * std::sin(h);
  n.rotation[1] = axis_y * std::sin(h);
  n.rotation[2] = axis_z * std::sin(h);
  n.rotation[3] = std::cos(h);
  return n;
}

// The setup placed at rest for the file's pose (the first step does that).
SpringState AtRest(const SpringSetup& setup, const Pose& pose) {
  SpringState st;
  std::string error;
  EXPECT_TRUE(SpringsInit(&st, setup, &error)) << error;
  std::vector<MATRIX> fixed(setup.node_ids.size());
  const float one[3] = {1, 1, 1};
  for (size_t i = 0; i < fixed.size(); ++i)
    SpringsLocalMatrix(&pose.p[3 * setup.node_ids[i]], &pose.q[4 * setup.node_ids[i]], one, &fixed[i]);
  EXPECT_TRUE(SpringsStep(&st, fixed.data(), fixed.size(), nullptr));
  return st;
}

// Joint j's tail from its origin, in the world.
void TailVector(const SpringState& st, int j, float* out) {
  const MATRIX& w = st.world[j];
  const float* t = st.setup.joints[j].tail;
  for (int k = 0; k < 3; ++k) out[k] = w.f[k] * t[0] + w.f[4 + k] * t[1] + w.f[8 + k] * t[2];
}

// Every joint's origin where its node is; where `tip_of` names a node, the
// joint's tail there.
void ExpectAtRest(const SpringState& st, const Pose& pose, const std::vector<int>& tip_of) {
  ASSERT_EQ(st.world.size(), tip_of.size());
  for (size_t j = 0; j < tip_of.size(); ++j) {
    const float* at = &st.world[j].f[12];
    float t[3];
    TailVector(st, static_cast<int>(j), t);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(at[k], pose.p[3 * st.setup.joint_ids[j] + k], 1e-5f) << j;
      if (tip_of[j] >= 0) {
        EXPECT_NEAR(at[k] + t[k], pose.p[3 * tip_of[j] + k], 1e-5f) << j;
      }
    }
  }
}

int JointOf(const SpringSetup& s, int node) {
  for (size_t j = 0; j < s.joint_ids.size(); ++j)
    if (s.joint_ids[j] == node) return static_cast<int>(j);
  return -1;
}

}  // namespace

// 1.0: each joint keeps its own values and aims at the next; a node between
// two joints follows rigidly, the last joint is only a tail; what does not fit
// is left out with a line, the rest kept.
TEST(SpringsFromFile, Vrm1JointsAimAtTheNextAndKeepTheirOwnValues) {
  const std::vector<SpringFileNode> nodes = {
      N({1, 5}, 0, 1, 0),          N({2}, 0, 0.1f, 0, 1, 0, 0, 40), N({3}, 0, 0.1f, 0.02f, 0, 1, 0, 90),
      N({4}, 0.05f, 0, 0),         N({}, 0, -0.1f, 0),             N({}, 0.2f, 0, 0)};
  Vrm1SpringBoneIn in;
  in.colliders.resize(2);
  in.colliders[0].node = 5;
  in.colliders[0].capsule = true;
  in.colliders[0].tail[1] = 0.1f;
  in.colliders[0].radius = 0.03f;
  in.colliders[1].node = 42;
  in.collider_groups = {{0, 1}};
  in.springs.resize(3);
  in.springs[0].joints.resize(3);
  in.springs[0].joints[0].node = 1;
  in.springs[0].joints[0].stiffness = 1.5f;
  in.springs[0].joints[1].node = 3;
  in.springs[0].joints[1].stiffness = 0.7f;
  in.springs[0].joints[1].gravity_dir[0] = 1;
  in.springs[0].joints[2].node = 4;
  in.springs[0].collider_groups = {0};
  in.springs[0].center = 0;
  in.springs[1].joints = {{4}, {1}};  // not below
  in.springs[2].joints = {{3}, {4}};  // sways twice
  std::string warning;
  const SpringSetup s = SpringsFromVrm1(nodes, in, &warning);
  EXPECT_NE(warning.find("springs: "), std::string::npos);

  ASSERT_EQ(s.joints.size(), 3u);  // nodes 1 and 3 sway, 2 follows, 4 is a tail
  const int a = JointOf(s, 1), between = JointOf(s, 2), b = JointOf(s, 3);
  EXPECT_EQ(s.joints[a].stiffness, 1.5f);
  EXPECT_EQ(s.joints[b].stiffness, 0.7f);
  EXPECT_EQ(s.joints[b].gravity_dir[0], 1.0f);
  EXPECT_EQ(s.joints[between].chain, -1);
  EXPECT_EQ(s.joints[b].parent_joint, between);
  EXPECT_EQ(s.node_ids[s.joints[a].parent_node], 0);
  EXPECT_EQ(s.node_ids[s.chains[0].centre_node], 0);
  ASSERT_EQ(s.collider_groups.size(), 1u);
  ASSERT_EQ(s.collider_groups[0].size(), 1u);
  EXPECT_EQ(s.node_ids[s.colliders[s.collider_groups[0][0]].node], 5);
  std::vector<int> tips(3, -1);
  tips[a] = 3;
  tips[b] = 4;
  const Pose pose = Rest(nodes, {0, 1, 2, 3, 4, 5});
  ExpectAtRest(AtRest(s, pose), pose, tips);
}

// 0.x: every bone below a root sways with its group's values, towards its
// first child or, at an end, 7 cm on from its parent; vectors turn from the
// file's left-handed frame; a cycle or a bad index is left out with a line.
TEST(SpringsFromFile, Vrm0GroupsReachEveryBoneBelowTheirRoots) {
  const std::vector<SpringFileNode> nodes = {
      N({1, 4}, 0, 1.5f, 0, 0, 1, 0, 30), N({2}, 0.05f, 0.1f, 0, 0, 0, 1, 20), N({3, 5}, 0, -0.08f, 0),
      N({}, 0.01f, -0.07f, 0.02f),        N({}, 0, 0.05f, 0.05f),             N({}, 0.03f, -0.05f, 0),
      N({7}, 0, 0, 0),                     N({6}, 0, 0, 0)};
  Vrm0SecondaryIn in;
  in.collider_groups.resize(1);
  in.collider_groups[0].node = 4;
  in.collider_groups[0].colliders.resize(1);
  in.collider_groups[0].colliders[0].offset[2] = 0.03f;
  in.collider_groups[0].colliders[0].radius = 0.05f;
  in.bone_groups.resize(2);
  Vrm0BoneGroupIn& g = in.bone_groups[0];
  g.stiffness = 2;
  g.gravity_power = 0.3f;
  g.gravity_dir[2] = 0.5f;
  g.drag = 0.3f;
  g.hit_radius = 0.03f;
  g.center = 0;
  g.bones = {1};
  g.collider_groups = {0, 9};
  in.bone_groups[1].bones = {6};
  std::string warning;
  const SpringSetup s = SpringsFromVrm0(nodes, in, &warning);
  EXPECT_NE(warning.find("springs: "), std::string::npos);

  ASSERT_EQ(s.joints.size(), 4u);
  ASSERT_EQ(s.chains.size(), 1u);
  for (const SpringJoint& j : s.joints) {
    EXPECT_EQ(j.chain, 0);
    EXPECT_EQ(j.stiffness, 2.0f);
    EXPECT_EQ(j.drag, 0.3f);
    EXPECT_EQ(j.hit_radius, 0.03f);
    EXPECT_EQ(j.gravity_dir[2], -0.5f);
  }
  EXPECT_EQ(s.colliders[0].offset[2], -0.03f);
  EXPECT_EQ(s.chains[0].collider_groups, std::vector<int>{0});
  EXPECT_EQ(s.node_ids[s.chains[0].centre_node], 0);

  // The ends' tails: 7 cm in the world, along the bone from the parent.
  const Pose pose = Rest(nodes, {0, 1, 2, 3, 4, 5});
  std::vector<int> tips(4, -1);
  tips[JointOf(s, 1)] = 2;
  tips[JointOf(s, 2)] = 3;
  const SpringState st = AtRest(s, pose);
  ExpectAtRest(st, pose, tips);
  for (int end : {3, 5}) {
    float along[3], bone[3];
    TailVector(st, JointOf(s, end), along);
    for (int k = 0; k < 3; ++k) bone[k] = pose.p[3 * end + k] - pose.p[3 * 2 + k];
    const float la = std::sqrt(along[0] * along[0] + along[1] * along[1] + along[2] * along[2]);
    const float lb = std::sqrt(bone[0] * bone[0] + bone[1] * bone[1] + bone[2] * bone[2]);
    EXPECT_NEAR(la, 0.07f, 1e-5f);
    EXPECT_NEAR((along[0] * bone[0] + along[1] * bone[1] + along[2] * bone[2]) / (la * lb), 1.0f, 1e-5f);
  }
}
