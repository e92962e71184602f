// The spring solver on random chains: where it settles, how it comes back,
// that colliders hold, that a jerk throws the tips, the same bits twice, and
// what it makes of bad input. Rotations are checked by composing them here
// with quaternions, apart from the solver's matrices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "springs/springs.h"

namespace {

struct V {
  float x, y, z;
};
V operator+(V a, V b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V operator-(V a, V b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V operator*(V a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(V a, V b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float Len(V a) { return std::sqrt(Dot(a, a)); }
V Unit(V a) { return a * (1.0f / Len(a)); }

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

// A fixed node: turned by q, at p (unit scale).
MATRIX Node(Q q, V p) {
  MATRIX m;
  const float t[3] = {p.x, p.y, p.z}, r[4] = {q.x, q.y, q.z, q.w}, s[3] = {1, 1, 1};
  SpringsLocalMatrix(t, r, s, &m);
  return m;
}

struct Rng {
  std::mt19937 gen{7};
  float operator()(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(gen); }
  V Dir() {
    V v{(*this)(-1, 1), (*this)(-1, 1), (*this)(-1, 1)};
    return Len(v) > 0.1f ? Unit(v) : V{0, -1, 0};
  }
  Q Rot() { return AxisAngle(Dir(), (*this)(0, 3.1f)); }
};

// n joints in a line along `dir` (in the fixed node's space), `seg` apart,
// hanging from fixed node 0, all in chain 0.
SpringSetup Chain(int n, V dir, float seg, float stiffness, float gravity, V gdir, float drag) {
  SpringSetup s;
  s.node_ids = {0};
  s.chains.resize(1);
  for (int k = 0; k < n; ++k) {
    SpringJoint j;
    j.parent_joint = k - 1;
    j.parent_node = k == 0 ? 0 : -1;
    const V off = k == 0 ? V{0, 0, 0} : dir * seg, tail = dir * seg;
    std::memcpy(j.offset, &off, sizeof off);
    std::memcpy(j.tail, &tail, sizeof tail);
    j.stiffness = stiffness;
    j.gravity_power = gravity;
    std::memcpy(j.gravity_dir, &gdir, sizeof gdir);
    j.drag = drag;
    j.chain = 0;
    s.joints.push_back(j);
  }
  return s;
}

// Where each joint's tail is, from the rotations alone: the fixed node's
// turn, then each joint's local rotation down the line.
std::vector<V> Tails(const SpringState& st, Q node_q, V node_p) {
  std::vector<V> out;
  Q world = node_q;
  V at = node_p;
  for (size_t k = 0; k < st.setup.joints.size(); ++k) {
    const SpringJoint& j = st.setup.joints[k];
    const float* r = &st.rotation[4 * k];
    at = at + Turn(world, {j.offset[0], j.offset[1], j.offset[2]});
    world = Mul(world, {r[0], r[1], r[2], r[3]});
    out.push_back(at + Turn(world, {j.tail[0], j.tail[1], j.tail[2]}));
  }
  return out;
}

float DistanceToSegment(V p, V a, V b) {
  const V ab = b - a;
  const float t = std::fmin(1.0f, std::fmax(0.0f, Dot(p - a, ab) / Dot(ab, ab)));
  return Len(p - (a + ab * t));
}

bool AllFinite(const SpringState& st) {
  for (float v : st.rotation)
    if (!std::isfinite(v)) return false;
  return true;
}

}  // namespace

// Without stiffness every bone ends along gravity, whatever the fixed node's
// turn and the rest direction; with it and no gravity a chain pushed aside
// comes back to rest; without either, and with drag taking all velocity, it
// stops where the push left it.
TEST(Springs, SettlesAlongGravityAndStiffnessBringsItBack) {
  Rng rng;
  for (int trial = 0; trial < 12; ++trial) {
    const Q nq = rng.Rot();
    const V np{rng(-1, 1), rng(0, 2), rng(-1, 1)}, gdir = rng.Dir();
    const MATRIX node = Node(nq, np);
    SpringState st;
    std::string error;
    ASSERT_TRUE(SpringsInit(&st, Chain(4, rng.Dir(), rng(0.02f, 0.2f), 0, rng(0.5f, 2), gdir, rng(0.2f, 0.6f)), &error));
    ASSERT_TRUE(SpringsSettle(&st, &node, 1, 600));
    std::vector<V> tails = Tails(st, nq, np);
    V head = np;
    for (const V& t : tails) {
      EXPECT_GT(Dot(Unit(t - head), gdir), 0.999f) << "trial " << trial;
      head = t;
    }

    const bool stiff = trial % 3 != 0;
    const float seg = rng(0.02f, 0.2f);
    ASSERT_TRUE(SpringsInit(&st, Chain(4, rng.Dir(), seg, stiff ? rng(0.5f, 4) : 0, 0, gdir, stiff ? rng(0.2f, 0.6f) : 1), &error));
    ASSERT_TRUE(SpringsSettle(&st, &node, 1));
    const std::vector<V> rest = Tails(st, nq, np);
    const V push = rng.Dir() * 300.0f;
    for (int i = 0; i < 5; ++i) SpringsStep(&st, &node, 1, &push.x);
    float moved = 0;
    for (size_t k = 0; k < rest.size(); ++k) moved = std::fmax(moved, Len(Tails(st, nq, np)[k] - rest[k]));
    EXPECT_GT(moved, 0.2f * seg) << "trial " << trial;
    SpringsStep(&st, &node, 1, nullptr);
    EXPECT_EQ(SpringsReadout(st).chains_moving, stiff ? 1 : 0) << "trial " << trial;
    for (int i = 0; i < 600; ++i) SpringsStep(&st, &node, 1, nullptr);
    tails = Tails(st, nq, np);
    float off = 0;
    for (size_t k = 0; k < rest.size(); ++k) off = std::fmax(off, Len(tails[k] - rest[k]));
    if (stiff) {
      EXPECT_LT(off, 1e-3f * seg) << "trial " << trial;
    } else {
      EXPECT_GT(off, 0.1f * seg) << "trial " << trial;
    }
  }
}

// A chain falls onto a sphere or a capsule that moves under it while the
// device jerks at random: after every tick every joint is outside it. The
// same run without the collider goes through, so the collider did the work.
TEST(Springs, CollidersKeepEveryJointOutside) {
  for (bool capsule : {false, true}) {
    for (bool with_collider : {true, false}) {
      Rng rng;
      SpringSetup s = Chain(6, {1, 0, 0}, 0.05f, 0.5f, 1.5f, {0, -1, 0}, 0.3f);
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
      MATRIX nodes[2] = {Node({0, 0, 0, 1}, {0, 0, 0}), Node({0, 0, 0, 1}, {0.3f, 0.2f, 0})};
      ASSERT_TRUE(SpringsSettle(&st, nodes, 2));
      float closest = 1e9f;
      for (int tick = 0; tick < 300; ++tick) {
        // The collider rises through where the chain hangs and sweeps along it.
        const V at{0.05f + 0.25f * std::fabs(std::sin(tick * 0.03f)), 0.1f - 0.002f * tick, capsule ? 0 : 0.02f};
        nodes[1] = Node({0, 0, 0, 1}, at);
        const V jerk = rng.Dir() * rng(0, 40);
        ASSERT_TRUE(SpringsStep(&st, nodes, 2, &jerk.x));
        const V a = at + V{0, 0, capsule ? -0.3f : 0}, b = capsule ? at + V{0, 0, 0.3f} : a;
        for (const V& t : Tails(st, {0, 0, 0, 1}, {0, 0, 0}))
          closest = std::fmin(closest, DistanceToSegment(t, a, b) - c.radius - 0.015f);
      }
      if (with_collider) {
        EXPECT_GT(closest, -1e-4f) << "capsule " << capsule;
      } else {
        EXPECT_LT(closest, -0.01f) << "capsule " << capsule;
      }
    }
  }
}

// A shake of the device (as the emulator makes one) reaches the springs as an
// upward jolt: every joint moves, each further than the one above it; the
// readout sees the chain moving, then still again. A jolt of the node it hangs
// from throws it too, unless it keeps its inertia in that node's space.
TEST(Springs, JerkMovesTipsMoreThanRoots) {
  float zero[3], up[3], right[3], turned[3];
  const float upright[3] = {0, -1, 0}, shaken[3] = {0, 2.5f, 0}, tilted[3] = {0.5f, -0.866f, 0};
  SpringsDeviceAcceleration(upright, 0, zero);
  SpringsDeviceAcceleration(shaken, 0, up);
  SpringsDeviceAcceleration(tilted, 0, right);
  SpringsDeviceAcceleration(tilted, 180, turned);
  EXPECT_EQ(zero[0] * zero[0] + zero[1] * zero[1] + zero[2] * zero[2], 0.0f);
  EXPECT_GT(up[1], 30.0f);
  EXPECT_GT(right[0], 4.0f);
  EXPECT_NEAR(turned[0], -right[0], 1e-4f);

  SpringState st;
  std::string error;
  ASSERT_TRUE(SpringsInit(&st, Chain(5, {0.3f, -1, 0.1f}, 0.06f, 1, 0.3f, {0, -1, 0}, 0.4f), &error));
  const MATRIX node = Node({0, 0, 0, 1}, {0, 1.5f, 0});
  ASSERT_TRUE(SpringsSettle(&st, &node, 1));
  EXPECT_EQ(SpringsReadout(st).chains_moving, 0);
  const std::vector<V> rest = Tails(st, {0, 0, 0, 1}, {0, 1.5f, 0});
  std::vector<float> moved(rest.size(), 0);
  for (int tick = 0; tick < 30; ++tick) {
    ASSERT_TRUE(SpringsStep(&st, &node, 1, tick < 4 ? up : nullptr));
    if (tick == 3) {
      EXPECT_EQ(SpringsReadout(st).chains_moving, 1);
      EXPECT_GT(SpringsReadout(st).max_speed, 0.1f);
    }
    const std::vector<V> now = Tails(st, {0, 0, 0, 1}, {0, 1.5f, 0});
    for (size_t k = 0; k < now.size(); ++k) moved[k] = std::fmax(moved[k], Len(now[k] - rest[k]));
  }
  EXPECT_GT(moved[0], 0.005f);
  for (size_t k = 1; k < moved.size(); ++k) EXPECT_GT(moved[k], moved[k - 1]) << k;
  for (int tick = 0; tick < 600; ++tick) SpringsStep(&st, &node, 1, nullptr);
  EXPECT_EQ(SpringsReadout(st).chains_moving, 0);

  for (int centre : {-1, 0}) {
    SpringSetup s = Chain(5, {0.3f, -1, 0.1f}, 0.06f, 1, 0.3f, {0, -1, 0}, 0.4f);
    s.chains[0].centre_node = centre;
    ASSERT_TRUE(SpringsInit(&st, s, &error));
    ASSERT_TRUE(SpringsSettle(&st, &node, 1));
    float swayed = 0;
    for (int tick = 1; tick < 10; ++tick) {
      const V at{0.03f * tick * tick, 1.5f, 0};
      const MATRIX shifted = Node({0, 0, 0, 1}, at);
      ASSERT_TRUE(SpringsStep(&st, &shifted, 1, nullptr));
      const std::vector<V> now = Tails(st, {0, 0, 0, 1}, at);
      for (size_t k = 0; k < now.size(); ++k) swayed = std::fmax(swayed, Len(now[k] - at - (rest[k] - V{0, 1.5f, 0})));
    }
    if (centre < 0) {
      EXPECT_GT(swayed, 0.02f);
    } else {
      EXPECT_LT(swayed, 1e-3f);
    }
  }
}

// Two chains, one carried in a moving centre's space, a collider and random
// jerks: two runs give the same bits, tick by tick.
TEST(Springs, SameInputsGiveTheSameBits) {
  std::vector<std::vector<float>> runs[2];
  for (auto& run : runs) {
    Rng rng;
    SpringSetup s = Chain(4, {0, -1, 0.2f}, 0.08f, 0.8f, 0.4f, {0, -1, 0}, 0.3f);
    SpringSetup other = Chain(3, {1, -1, 0}, 0.05f, 2.0f, 0.1f, {0, -1, 0}, 0.5f);
    for (SpringJoint j : other.joints) {
      if (j.parent_joint >= 0) j.parent_joint += 4;
      j.chain = 1;
      j.hit_radius = 0.02f;
      s.joints.push_back(j);
    }
    s.chains.push_back({0, {0}});
    SpringCollider c;
    c.node = 0;
    c.capsule = true;
    c.offset[1] = -0.1f;
    c.tail[0] = 0.2f;
    c.radius = 0.04f;
    s.colliders = {c};
    s.collider_groups = {{0}};
    SpringState st;
    std::string error;
    ASSERT_TRUE(SpringsInit(&st, s, &error)) << error;
    for (int tick = 0; tick < 200; ++tick) {
      const MATRIX node = Node(AxisAngle({0, 1, 0.3f}, 0.05f * tick), {0.1f * std::sin(tick * 0.2f), 1, 0});
      const V jerk = rng.Dir() * rng(0, 80);
      SpringsStep(&st, &node, 1, &jerk.x);
      run.push_back(st.rotation);
    }
  }
  ASSERT_EQ(runs[0].size(), runs[1].size());
  for (size_t t = 0; t < runs[0].size(); ++t)
    ASSERT_EQ(std::memcmp(runs[0][t].data(), runs[1][t].data(), runs[0][t].size() * sizeof(float)), 0) << t;
}

// Setups it cannot run are refused in one line; absurd values are brought in;
// matrices that stop being numbers put the chain back at rest and it carries
// on when they come back; a bone without length follows its parent.
TEST(Springs, DegenerateInputGetsAClearResult) {
  const float nan = std::nanf("");
  const SpringSetup good = Chain(3, {0, -1, 0}, 0.1f, 1, 1, {0, -1, 0}, 0.4f);
  std::vector<SpringSetup> bad(6, good);
  bad[0].joints[1].parent_joint = 2;  // a cycle, or a parent after its child
  bad[1].joints[0].parent_node = 3;
  bad[2].joints[2].chain = 4;
  bad[3].joints[1].stiffness = nan;
  bad[4].joints[0].rotation[3] = 0;
  bad[5].chains[0].collider_groups = {0};
  for (const SpringSetup& s : bad) {
    SpringState st;
    std::string error;
    EXPECT_FALSE(SpringsInit(&st, s, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos);
    const MATRIX node = Node({0, 0, 0, 1}, {0, 0, 0});
    EXPECT_FALSE(SpringsStep(&st, &node, 1, nullptr));
    EXPECT_TRUE(st.rotation.empty());
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
  MATRIX node = Node(AxisAngle({1, 0, 0}, 1), {0, 1, 0});
  EXPECT_FALSE(SpringsStep(&st, &node, 2, nullptr));
  ASSERT_TRUE(SpringsSettle(&st, &node, 1));
  const float huge[3] = {1e30f, -1e30f, nan};
  for (int tick = 0; tick < 20; ++tick) {
    ASSERT_TRUE(SpringsStep(&st, &node, 1, tick % 2 ? huge : nullptr));
    ASSERT_TRUE(AllFinite(st));
  }
  EXPECT_EQ(std::memcmp(&st.rotation[4], absurd.joints[1].rotation, 4 * sizeof(float)), 0);

  const MATRIX good_node = node;
  node.f[13] = nan;
  ASSERT_TRUE(SpringsStep(&st, &node, 1, nullptr));
  EXPECT_TRUE(AllFinite(st));
  EXPECT_EQ(SpringsReadout(st).resets, 1);
  std::memset(node.f, 0, sizeof node.f);  // a node scaled to nothing
  ASSERT_TRUE(SpringsStep(&st, &node, 1, nullptr));
  EXPECT_TRUE(AllFinite(st));
  const V push{50, 0, 0};
  for (int tick = 0; tick < 3; ++tick) ASSERT_TRUE(SpringsStep(&st, &good_node, 1, &push.x));
  EXPECT_GT(SpringsReadout(st).chains_moving, 0);

  SpringState none;
  ASSERT_TRUE(SpringsInit(&none, SpringSetup(), &error));
  EXPECT_TRUE(SpringsSettle(&none, nullptr, 0));
  EXPECT_EQ(SpringsReadout(none).max_speed, 0.0f);
}
