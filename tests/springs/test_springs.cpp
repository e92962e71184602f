// The spring solver on random chains (where it settles, how it comes back,
// that colliders hold, that a jerk throws the tips, the same bits each run,
// what it makes of bad input) and the setups made from a file's records,
// against the file's rest pose. Positions are composed here from the output
// rotations with quaternions, apart from the solver's matrices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "springs/springs.h"
#include "springs/springs_store.h"

namespace {

struct V {
  float x, y, z;
};
V operator+(V a, V b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V operator-(V a, V b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V operator*(V a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Len(V a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
V Unit(V a) { return a * (1.0f / Len(a)); }
float Cos(V a, V b) { return (a.x * b.x + a.y * b.y + a.z * b.z) / (Len(a) * Len(b)); }
V Of(const float* p) { return {p[0], p[1], p[2]}; }

struct Q {
  float x, y, z, w;
};
Q Mul(Q a, Q b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
          a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
V Turn(Q q, V v) {
  const Q r = Mul(Mul(q, {v.x, v.y, v.z, 0}), {-q.x, -q.y, -q.z, q.w});
  return {r.x, r.y, r.z};
}
Q AxisAngle(V axis, float rad) {
  const V a = Unit(axis) * std::sin(rad / 2);
  return {a.x, a.y, a.z, std::cos(rad / 2)};
}
const Q kNone{0, 0, 0, 1};

// A fixed node turned by q, at p.
MATRIX At(Q q, V p) {
  MATRIX m;
  const float one[3] = {1, 1, 1};
  SpringsLocalMatrix(&p.x, &q.x, one, &m);
  return m;
}

struct Rng {
  std::mt19937 gen{7};
  float operator()(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(gen); }
  V Dir() {
    const float x = (*this)(-1, 1), y = (*this)(-1, 1), z = (*this)(-1, 1);
    return Len({x, y, z}) > 0.1f ? Unit({x, y, z}) : V{0, -1, 0};
  }
};

// n joints in a line along dir, seg apart, hanging from fixed node 0, chain 0.
SpringSetup Chain(int n, V dir, float seg, float stiffness, float gravity, float drag) {
  SpringSetup s;
  s.node_ids = {0};
  s.chains.resize(1);
  for (int k = 0; k < n; ++k) {
    SpringJoint j;
    j.parent_joint = k - 1;
    j.parent_node = k == 0 ? 0 : -1;
    const V tail = dir * seg;
    if (k) std::memcpy(j.offset, &tail, sizeof tail);
    std::memcpy(j.tail, &tail, sizeof tail);
    j.stiffness = stiffness;
    j.gravity_power = gravity;
    j.drag = drag;
    j.chain = 0;
    s.joints.push_back(j);
  }
  return s;
}

// Each joint's tail in a line setup, from the fixed node's pose and the
// joints' rotations down the line.
std::vector<V> Tails(const SpringState& st, Q world, V at) {
  std::vector<V> out;
  for (size_t k = 0; k < st.setup.joints.size(); ++k) {
    const SpringJoint& j = st.setup.joints[k];
    const float* r = &st.rotation[4 * k];
    at = at + Turn(world, Of(j.offset));
    world = Mul(world, {r[0], r[1], r[2], r[3]});
    out.push_back(at + Turn(world, Of(j.tail)));
  }
  return out;
}

float Farthest(const std::vector<V>& a, const std::vector<V>& b, V shift = {0, 0, 0}) {
  float d = 0;
  for (size_t k = 0; k < a.size(); ++k) d = std::fmax(d, Len(a[k] - b[k] - shift));
  return d;
}

// The file's rest pose: every node's world rotation and position, parents
// listed before children.
struct Pose {
  std::vector<Q> q;
  std::vector<V> p;
};
Pose Rest(const std::vector<SpringFileNode>& nodes) {
  Pose pose{std::vector<Q>(nodes.size(), kNone), std::vector<V>(nodes.size(), {0, 0, 0})};
  std::vector<int> done(nodes.size(), 0);
  for (size_t i = 0; i < nodes.size(); ++i) {
    const Q r{nodes[i].rotation[0], nodes[i].rotation[1], nodes[i].rotation[2], nodes[i].rotation[3]};
    if (!done[i]) {
      pose.q[i] = r;
      pose.p[i] = Of(nodes[i].translation);
    }
    for (int c : nodes[i].children) {
      const Q cr{nodes[c].rotation[0], nodes[c].rotation[1], nodes[c].rotation[2], nodes[c].rotation[3]};
      pose.q[c] = Mul(pose.q[i], cr);
      pose.p[c] = pose.p[i] + Turn(pose.q[i], Of(nodes[c].translation));
      done[c] = 1;
    }
  }
  return pose;
}

SpringFileNode Node(std::vector<int> children, V t, V axis = {0, 0, 1}, float degrees = 0) {
  SpringFileNode n;
  n.children = children;
  std::memcpy(n.translation, &t, sizeof t);
  const Q q = AxisAngle(axis, degrees * 3.14159265f / 180);
  std::memcpy(n.rotation, &q, sizeof q);
  return n;
}

// Places the setup at rest for the file's pose (its first step does) and
// checks that every joint stands on its node and aims at `tips` (joint, point).
void ExpectAtRest(const SpringSetup& s, const Pose& pose, const std::vector<std::pair<int, V>>& tips) {
  SpringState st;
  std::string error;
  EXPECT_TRUE(SpringsInit(&st, s, &error)) << error;
  std::vector<MATRIX> fixed;
  for (int node : s.node_ids) fixed.push_back(At(pose.q[node], pose.p[node]));
  EXPECT_TRUE(SpringsStep(&st, fixed.data(), fixed.size(), nullptr));
  for (size_t j = 0; j < st.world.size(); ++j) EXPECT_LT(Len(Of(&st.world[j].f[12]) - pose.p[s.joint_ids[j]]), 1e-5f);
  for (const auto& [j, tip] : tips) {
    const float* w = st.world[j].f;
    const V t = Of(s.joints[j].tail);
    EXPECT_LT(Len(Of(w) * t.x + Of(w + 4) * t.y + Of(w + 8) * t.z + Of(w + 12) - tip), 1e-5f) << j;
  }
}

int JointOf(const SpringSetup& s, int node) {
  return static_cast<int>(std::find(s.joint_ids.begin(), s.joint_ids.end(), node) - s.joint_ids.begin());
}

}  // namespace

// Without stiffness every bone ends along gravity, whatever the fixed node's
// turn and the rest direction; with it and no gravity a chain pushed aside
// comes back to rest; without either, and with drag taking all velocity, it
// stops where the push left it.
TEST(Springs, SettlesAlongGravityAndStiffnessBringsItBack) {
  Rng rng;
  for (int trial = 0; trial < 12; ++trial) {
    const Q nq = AxisAngle(rng.Dir(), rng(0, 3.1f));
    const V np{rng(-1, 1), rng(0, 2), rng(-1, 1)}, gdir = rng.Dir();
    const MATRIX node = At(nq, np);
    SpringSetup s = Chain(4, rng.Dir(), rng(0.02f, 0.2f), 0, rng(0.5f, 2), rng(0.2f, 0.6f));
    for (SpringJoint& j : s.joints) std::memcpy(j.gravity_dir, &gdir, sizeof gdir);
    SpringState st;
    std::string error;
    ASSERT_TRUE(SpringsInit(&st, s, &error));
    ASSERT_TRUE(SpringsSettle(&st, &node, 1, 600));
    V head = np;
    for (const V& t : Tails(st, nq, np)) {
      EXPECT_GT(Cos(t - head, gdir), 0.999f) << "trial " << trial;
      head = t;
    }

    const bool stiff = trial % 3 != 0;
    const float seg = rng(0.02f, 0.2f);
    ASSERT_TRUE(
        SpringsInit(&st, Chain(4, rng.Dir(), seg, stiff ? rng(0.5f, 4) : 0, 0, stiff ? rng(0.2f, 0.6f) : 1), &error));
    ASSERT_TRUE(SpringsSettle(&st, &node, 1));
    const std::vector<V> rest = Tails(st, nq, np);
    const V push = rng.Dir() * 300.0f;
    for (int i = 0; i < 5; ++i) SpringsStep(&st, &node, 1, &push.x);
    EXPECT_GT(Farthest(Tails(st, nq, np), rest), 0.2f * seg) << "trial " << trial;
    SpringsStep(&st, &node, 1, nullptr);
    EXPECT_EQ(SpringsReadout(st).chains_moving, stiff ? 1 : 0) << "trial " << trial;
    for (int i = 0; i < 600; ++i) SpringsStep(&st, &node, 1, nullptr);
    const float off = Farthest(Tails(st, nq, np), rest);
    if (stiff) {
      EXPECT_LT(off, 1e-3f * seg) << "trial " << trial;
    } else {
      EXPECT_GT(off, 0.1f * seg) << "trial " << trial;
    }
  }
}

// A chain falls onto a sphere or a capsule that sweeps through it while the
// device jerks at random: after every tick every joint is outside it (the
// same run without the collider goes through), and a second run gives the
// same bits.
TEST(Springs, CollidersKeepEveryJointOutsideAndRunsRepeatBitForBit) {
  std::vector<float> first[2];
  for (int run = 0; run < 6; ++run) {
    const bool capsule = run % 2, with_collider = run < 4;
    Rng rng;
    SpringSetup s = Chain(6, {1, 0, 0}, 0.05f, 0.5f, 1.5f, 0.3f);
    s.node_ids = {0, 1};
    SpringCollider c;
    c.node = 1;
    c.capsule = capsule;
    c.offset[2] = capsule ? -0.3f : 0;
    c.tail[2] = 0.3f;
    c.radius = 0.06f;
    s.colliders = {c};
    s.collider_groups = {{0}};
    if (with_collider) s.chains[0].collider_groups = {0};
    for (SpringJoint& j : s.joints) j.hit_radius = 0.015f;
    SpringState st;
    std::string error;
    ASSERT_TRUE(SpringsInit(&st, s, &error)) << error;
    MATRIX nodes[2] = {At(kNone, {0, 0, 0}), At(kNone, {0.3f, 0.2f, 0})};
    ASSERT_TRUE(SpringsSettle(&st, nodes, 2));
    float closest = 1e9f;
    std::vector<float> bits;
    for (int tick = 0; tick < 300; ++tick) {
      const V at{0.05f + 0.25f * std::fabs(std::sin(tick * 0.03f)), 0.1f - 0.002f * tick, capsule ? 0 : 0.02f};
      nodes[1] = At(kNone, at);
      const V jerk = rng.Dir() * rng(0, 40);
      ASSERT_TRUE(SpringsStep(&st, nodes, 2, &jerk.x));
      bits.insert(bits.end(), st.rotation.begin(), st.rotation.end());
      const V a = at + V{0, 0, capsule ? -0.3f : 0}, ab = capsule ? V{0, 0, 0.6f} : V{0, 0, 0};
      for (const V& t : Tails(st, kNone, {0, 0, 0})) {
        const float u = capsule ? std::fmin(1.0f, std::fmax(0.0f, (t.z - a.z) / ab.z)) : 0;
        closest = std::fmin(closest, Len(t - (a + ab * u)) - c.radius - 0.015f);
      }
    }
    if (!with_collider) {
      EXPECT_LT(closest, -0.01f);
    } else if (run < 2) {
      EXPECT_GT(closest, -1e-4f) << "capsule " << capsule;
      first[capsule] = bits;
    } else {
      EXPECT_EQ(std::memcmp(first[capsule].data(), bits.data(), bits.size() * sizeof(float)), 0) << capsule;
    }
  }
}

// A shake of the device (as the emulator makes one) reaches the springs as an
// upward jolt, and a jolt of the node the chain hangs from throws it too:
// every joint moves, each further than the one above it, and the readout sees
// the chain moving, then still again. A chain that keeps its inertia in that
// node's space rides the node's jolt unmoved.
TEST(Springs, JerkMovesTipsMoreThanRoots) {
  float still[3], up[3], right[3], turned[3];
  const float upright[3] = {0, -1, 0}, shaken[3] = {0, 2.5f, 0}, tilted[3] = {0.5f, -0.866f, 0};
  SpringsDeviceAcceleration(upright, 0, still);
  SpringsDeviceAcceleration(shaken, 0, up);
  SpringsDeviceAcceleration(tilted, 0, right);
  SpringsDeviceAcceleration(tilted, 180, turned);
  EXPECT_EQ(Len(Of(still)), 0.0f);
  EXPECT_GT(up[1], 30.0f);
  EXPECT_GT(right[0], 4.0f);
  EXPECT_NEAR(turned[0], -right[0], 1e-4f);

  for (int jolt = 0; jolt < 3; ++jolt) {  // the device's; the node's; the node's, in its space
    SpringSetup s = Chain(5, {0.3f, -1, 0.1f}, 0.06f, 1, 0.3f, 0.4f);
    s.chains[0].centre_node = jolt == 2 ? 0 : -1;
    SpringState st;
    std::string error;
    ASSERT_TRUE(SpringsInit(&st, s, &error));
    const V top{0, 1.5f, 0};
    MATRIX node = At(kNone, top);
    ASSERT_TRUE(SpringsSettle(&st, &node, 1));
    EXPECT_EQ(SpringsReadout(st).chains_moving, 0);
    const std::vector<V> rest = Tails(st, kNone, top);
    std::vector<float> moved(rest.size(), 0);
    for (int tick = 0; tick < 30; ++tick) {
      const V at = top + V{jolt ? 0.03f * std::min(tick, 9) * std::min(tick, 9) : 0, 0, 0};
      node = At(kNone, at);
      ASSERT_TRUE(SpringsStep(&st, &node, 1, jolt == 0 && tick < 4 ? up : nullptr));
      if (tick == 3) {
        EXPECT_EQ(SpringsReadout(st).chains_moving, jolt < 2 ? 1 : 0) << jolt;
      }
      const std::vector<V> now = Tails(st, kNone, at);
      for (size_t k = 0; k < now.size(); ++k) moved[k] = std::fmax(moved[k], Len(now[k] - rest[k] - (at - top)));
    }
    if (jolt == 2) {
      EXPECT_LT(moved.back(), 1e-3f);
      continue;
    }
    EXPECT_GT(moved[0], 0.005f) << jolt;
    for (size_t k = 1; k < moved.size(); ++k) EXPECT_GT(moved[k], moved[k - 1]) << jolt << " " << k;
    for (int tick = 0; tick < 600; ++tick) SpringsStep(&st, &node, 1, nullptr);
    EXPECT_EQ(SpringsReadout(st).chains_moving, 0);
  }
}

// Setups it cannot run are refused in one line; absurd values are brought in;
// matrices that stop being numbers put the chain back at rest and it carries
// on when they come back; a bone without length follows its parent.
TEST(Springs, DegenerateInputGetsAClearResult) {
  const float nan = std::nanf("");
  const SpringSetup good = Chain(3, {0, -1, 0}, 0.1f, 1, 1, 0.4f);
  std::vector<SpringSetup> bad(6, good);
  bad[0].joints[1].parent_joint = 2;  // a cycle, or a parent after its child
  bad[1].joints[0].parent_node = 3;
  bad[2].joints[2].chain = 4;
  bad[3].joints[1].stiffness = nan;
  bad[4].joints[0].rotation[3] = 0;
  bad[5].chains[0].collider_groups = {0};
  MATRIX node = At(AxisAngle({1, 0, 0}, 1), {0, 1, 0});
  for (const SpringSetup& s : bad) {
    SpringState st;
    std::string error;
    EXPECT_FALSE(SpringsInit(&st, s, &error));
    EXPECT_EQ(error.find("springs: "), 0u);
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_FALSE(SpringsStep(&st, &node, 1, nullptr));
  }

  SpringSetup absurd = good;
  absurd.joints[0].drag = -3;
  absurd.joints[1].stiffness = 1e30f;
  absurd.joints[2].gravity_power = 1e30f;
  absurd.joints[2].gravity_dir[1] = 0;  // no direction: no gravity
  absurd.joints[1].tail[1] = 0;         // no length: follows its parent
  SpringState st;
  std::string error;
  ASSERT_TRUE(SpringsInit(&st, absurd, &error)) << error;
  EXPECT_FALSE(SpringsStep(&st, &node, 2, nullptr));
  ASSERT_TRUE(SpringsSettle(&st, &node, 1));
  const MATRIX good_node = node;
  const float huge[3] = {1e30f, -1e30f, nan};
  for (int tick = 0; tick < 23; ++tick) {
    if (tick == 20) node.f[13] = nan;
    if (tick == 21) std::memset(node.f, 0, sizeof node.f);  // scaled to nothing
    ASSERT_TRUE(SpringsStep(&st, &node, 1, tick % 2 ? huge : nullptr));
    for (float v : st.rotation) ASSERT_TRUE(std::isfinite(v)) << tick;
  }
  EXPECT_EQ(std::memcmp(&st.rotation[4], absurd.joints[1].rotation, 4 * sizeof(float)), 0);
  EXPECT_EQ(SpringsReadout(st).resets, 1);
  const V push{50, 0, 0};
  for (int tick = 0; tick < 3; ++tick) ASSERT_TRUE(SpringsStep(&st, &good_node, 1, &push.x));
  EXPECT_GT(SpringsReadout(st).chains_moving, 0);

  SpringState none;
  ASSERT_TRUE(SpringsInit(&none, SpringSetup(), &error));
  EXPECT_TRUE(SpringsSettle(&none, nullptr, 0));
  EXPECT_EQ(SpringsReadout(none).max_speed, 0.0f);
}

// 1.0: each joint keeps its own values and aims at the next; a node between
// two joints follows rigidly, the last joint is only a tail; what does not fit
// is left out with a line, the rest kept.
TEST(SpringsFromFile, Vrm1JointsAimAtTheNextAndKeepTheirOwnValues) {
  const std::vector<SpringFileNode> nodes = {Node({1, 5}, {0, 1, 0}),
                                             Node({2}, {0, 0.1f, 0}, {1, 0, 0}, 40),
                                             Node({3}, {0, 0.1f, 0.02f}, {0, 1, 0}, 90),
                                             Node({4}, {0.05f, 0, 0}),
                                             Node({}, {0, -0.1f, 0}),
                                             Node({}, {0.2f, 0, 0})};
  Vrm1SpringBoneIn in;
  in.colliders.resize(2);
  in.colliders[0].node = 5;
  in.colliders[1].node = 42;
  in.collider_groups = {{0, 1}};
  in.springs.resize(3);
  in.springs[0].joints = {{1}, {3}, {4}};
  in.springs[0].joints[0].stiffness = 1.5f;
  in.springs[0].joints[1].gravity_dir[0] = 1;
  in.springs[0].collider_groups = {0};
  in.springs[0].center = 0;
  in.springs[1].joints = {{4}, {1}};  // not below
  in.springs[2].joints = {{3}, {4}};  // sways twice
  std::string warning;
  const SpringSetup s = SpringsFromVrm1(nodes, in, &warning);
  EXPECT_EQ(warning.find("springs: "), 0u);

  ASSERT_EQ(s.joints.size(), 3u);  // nodes 1 and 3 sway, 2 follows, 4 is a tail
  const int a = JointOf(s, 1), between = JointOf(s, 2), b = JointOf(s, 3);
  EXPECT_EQ(s.joints[a].stiffness, 1.5f);
  EXPECT_EQ(s.joints[b].gravity_dir[0], 1.0f);
  EXPECT_EQ(s.joints[between].chain, -1);
  EXPECT_EQ(s.joints[b].parent_joint, between);
  EXPECT_EQ(s.node_ids.size(), 2u);  // the root and the collider's node
  EXPECT_EQ(s.node_ids[s.chains[0].centre_node], 0);
  ASSERT_EQ(s.collider_groups, std::vector<std::vector<int>>{{0}});
  EXPECT_EQ(s.node_ids[s.colliders[0].node], 5);
  const Pose pose = Rest(nodes);
  ExpectAtRest(s, pose, {{a, pose.p[3]}, {b, pose.p[4]}});
}

// 0.x: every bone below a root sways with its group's values, towards its
// first child or, at an end, 7 cm on from its parent; vectors turn from the
// file's left-handed frame; a cycle or a bad index is left out with a line.
TEST(SpringsFromFile, Vrm0GroupsReachEveryBoneBelowTheirRoots) {
  const std::vector<SpringFileNode> nodes = {Node({1, 4}, {0, 1.5f, 0}, {0, 1, 0}, 30),
                                             Node({2}, {0.05f, 0.1f, 0}, {0, 0, 1}, 20),
                                             Node({3, 5}, {0, -0.08f, 0}),
                                             Node({}, {0.01f, -0.07f, 0.02f}),
                                             Node({}, {0, 0.05f, 0.05f}),
                                             Node({}, {0.03f, -0.05f, 0}),
                                             Node({7}, {0, 0, 0}),
                                             Node({6}, {0, 0, 0})};
  Vrm0SecondaryIn in;
  in.collider_groups.resize(1);
  in.collider_groups[0].node = 4;
  in.collider_groups[0].colliders.resize(1);
  in.collider_groups[0].colliders[0].offset[2] = 0.03f;
  in.bone_groups.resize(2);
  Vrm0BoneGroupIn& g = in.bone_groups[0];
  g.stiffness = 2;
  g.gravity_dir[2] = 0.5f;
  g.drag = 0.3f;
  g.hit_radius = 0.03f;
  g.center = 0;
  g.bones = {1};
  g.collider_groups = {0, 9};
  in.bone_groups[1].bones = {6};  // in a cycle
  std::string warning;
  const SpringSetup s = SpringsFromVrm0(nodes, in, &warning);
  EXPECT_EQ(warning.find("springs: "), 0u);

  ASSERT_EQ(s.joints.size(), 4u);
  for (const SpringJoint& j : s.joints)
    EXPECT_EQ(std::make_tuple(j.chain, j.stiffness, j.drag, j.hit_radius, j.gravity_dir[2]),
              std::make_tuple(0, 2.0f, 0.3f, 0.03f, -0.5f));
  EXPECT_EQ(s.colliders[0].offset[2], -0.03f);
  EXPECT_EQ(s.joints[JointOf(s, 2)].parent_joint, JointOf(s, 1));
  EXPECT_EQ(s.node_ids.size(), 2u);  // the root and the collider's node
  EXPECT_EQ(s.chains[0].collider_groups, std::vector<int>{0});
  EXPECT_EQ(s.node_ids[s.chains[0].centre_node], 0);
  const Pose pose = Rest(nodes);
  const V end3 = pose.p[3] + Unit(pose.p[3] - pose.p[2]) * 0.07f,
          end5 = pose.p[5] + Unit(pose.p[5] - pose.p[2]) * 0.07f;
  ExpectAtRest(s, pose,
               {{JointOf(s, 1), pose.p[2]}, {JointOf(s, 2), pose.p[3]}, {JointOf(s, 3), end3}, {JointOf(s, 5), end5}});
}

// A setup as its character folder keeps it comes back the same: stepped
// alike, bit for bit. A stored setup damaged in shape is refused whole, in
// one line.
TEST(SpringsStore, KeptSetupsStepAlikeDamagedOnesAreRefused) {
  SpringSetup s = Chain(4, {0.3f, -1, 0.2f}, 0.1f, 1.5f, 0.7f, 0.3f);
  s.chains[0].collider_groups = {0};
  s.collider_groups = {{0}};
  SpringCollider c;
  c.node = 0;
  c.capsule = true;
  c.offset[1] = -0.15f;
  c.tail[0] = 0.2f;
  c.radius = 0.04f;
  s.colliders.push_back(c);
  s.joint_ids = {7, 8, 9, 10};
  const nlohmann::json stored = SpringsToJson(s);
  SpringSetup back;
  std::string error;
  ASSERT_TRUE(SpringsFromJson(nlohmann::json::parse(stored.dump()), &back, &error)) << error;
  EXPECT_EQ(back.joint_ids, s.joint_ids);
  SpringState a, b;
  ASSERT_TRUE(SpringsInit(&a, s, &error) && SpringsInit(&b, back, &error)) << error;
  const MATRIX node = At(AxisAngle({0, 0, 1}, 0.4f), {0.1f, 1, 0});
  const float jerk[3] = {3, 0, -2};
  for (int t = 0; t < 20; ++t) {
    SpringsStep(&a, &node, 1, t < 3 ? jerk : nullptr);
    SpringsStep(&b, &node, 1, t < 3 ? jerk : nullptr);
  }
  EXPECT_EQ(a.rotation, b.rotation);
  EXPECT_GT(SpringsReadout(a).max_speed, 0);

  nlohmann::json damaged[4] = {stored, stored, stored, stored};
  damaged[0]["joints"][2]["stiffness"] = "stiff";
  damaged[1]["colliders"][0]["offset"] = {0, 1};
  damaged[2]["chains"][0].erase("collider_groups");
  damaged[3] = nlohmann::json::array();
  for (const nlohmann::json& d : damaged) {
    error.clear();
    EXPECT_FALSE(SpringsFromJson(d, &back, &error)) << d;
    EXPECT_EQ(error.rfind("springs: ", 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}
