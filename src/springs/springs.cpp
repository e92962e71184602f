#include "springs/springs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Far past any real value, yet small enough that squares stay finite.
const float kMaxParam = 1.0e4f;     // stiffness, gravity power
const float kMaxLength = 1.0e6f;    // offsets, tails, radii
const float kMaxAccel = 1000.0f;    // external acceleration, about 100 g
const float kMovingSpeed = 0.001f;  // a millimetre a second
// Rounds of pushing a tail out of the colliders it tests: one pushes it out
// of each in turn; another catches a push into a neighbour.
const int kCollisionRounds = 4;

struct V3 {
  float x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Len(V3 a) { return std::sqrt(Dot(a, a)); }
bool Finite(V3 a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }
V3 Load(const float* p) { return {p[0], p[1], p[2]}; }
void Store(V3 a, float* p) {
  p[0] = a.x;
  p[1] = a.y;
  p[2] = a.z;
}

struct Quat {
  float x, y, z, w;
};
Quat Mul(Quat a, Quat b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
          a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
Quat Normalized(Quat q) {
  const float n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  return {q.x / n, q.y / n, q.z / n, q.w / n};
}

// The shortest rotation that turns direction a into direction b (neither zero).
Quat FromTo(V3 a, V3 b) {
  const float ab = Len(a) * Len(b);
  const float d = Dot(a, b);
  if (d < -0.999999f * ab) {
    // Half a turn about any axis square to a: the one square to a and to the
    // coordinate axis a is least along.
    const float ax = std::fabs(a.x), ay = std::fabs(a.y), az = std::fabs(a.z);
    const V3 least = ax <= ay && ax <= az ? V3{1, 0, 0} : ay <= az ? V3{0, 1, 0} : V3{0, 0, 1};
    V3 axis = Cross(a, least);
    axis = axis * (1.0f / Len(axis));
    return {axis.x, axis.y, axis.z, 0};
  }
  const V3 c = Cross(a, b);
  return Normalized({c.x, c.y, c.z, ab + d});
}

V3 Point(const MATRIX& m, V3 p) {
  return {m.f[0] * p.x + m.f[4] * p.y + m.f[8] * p.z + m.f[12], m.f[1] * p.x + m.f[5] * p.y + m.f[9] * p.z + m.f[13],
          m.f[2] * p.x + m.f[6] * p.y + m.f[10] * p.z + m.f[14]};
}
V3 Vector(const MATRIX& m, V3 v) {
  return {m.f[0] * v.x + m.f[4] * v.y + m.f[8] * v.z, m.f[1] * v.x + m.f[5] * v.y + m.f[9] * v.z,
          m.f[2] * v.x + m.f[6] * v.y + m.f[10] * v.z};
}

bool FiniteMatrix(const MATRIX& m) {
  for (int i = 0; i < 16; ++i)
    if (!std::isfinite(m.f[i])) return false;
  return true;
}

// The inverse of an affine matrix, false when it has none (or is not finite).
bool Invert(const MATRIX& m, MATRIX* out) {
  const float* a = m.f;
  const float c00 = a[5] * a[10] - a[9] * a[6], c01 = a[9] * a[2] - a[1] * a[10], c02 = a[1] * a[6] - a[5] * a[2];
  const float det = a[0] * c00 + a[4] * c01 + a[8] * c02;
  if (!std::isfinite(det) || std::fabs(det) < 1e-30f) return false;
  const float k = 1.0f / det;
  float* o = out->f;
  o[0] = c00 * k;
  o[1] = c01 * k;
  o[2] = c02 * k;
  o[4] = (a[8] * a[6] - a[4] * a[10]) * k;
  o[5] = (a[0] * a[10] - a[8] * a[2]) * k;
  o[6] = (a[4] * a[2] - a[0] * a[6]) * k;
  o[8] = (a[4] * a[9] - a[8] * a[5]) * k;
  o[9] = (a[8] * a[1] - a[0] * a[9]) * k;
  o[10] = (a[0] * a[5] - a[4] * a[1]) * k;
  o[3] = o[7] = o[11] = 0;
  o[15] = 1;
  const V3 t = Vector(*out, {a[12], a[13], a[14]}) * -1.0f;
  Store(t, o + 12);
  return FiniteMatrix(*out);
}

// parent x local, both affine.
void Compose(const MATRIX& parent, const MATRIX& local, MATRIX* out) { MatrixMultiply(*out, local, parent); }

const MATRIX& Identity() {
  static const MATRIX m = [] {
    MATRIX i;
    MatrixIdentity(i);
    return i;
  }();
  return m;
}

Quat RestRotation(const SpringJoint& j) { return {j.rotation[0], j.rotation[1], j.rotation[2], j.rotation[3]}; }

// The local matrix of a joint with rotation q.
MATRIX Local(const SpringJoint& j, Quat q) {
  MATRIX m;
  SpringsLocalMatrix(j.offset, &q.x, j.scale, &m);
  return m;
}

// Where the tail points from the joint's origin at rest, in the parent's space.
V3 RestAim(const SpringJoint& j) {
  MATRIX m;
  const float origin[3] = {0, 0, 0};
  SpringsLocalMatrix(origin, j.rotation, j.scale, &m);
  return Vector(m, Load(j.tail));
}

bool Sways(const SpringJoint& j) { return j.chain >= 0 && (j.tail[0] != 0 || j.tail[1] != 0 || j.tail[2] != 0); }

// Turns `tail`, at distance len from head, about head until it is at least r
// from c: on the circle where the sphere of the tail's reach meets the
// sphere of radius r about c, nearest to where it was. Left alone when it is
// outside already or its whole reach lies inside.
void PushOut(V3 head, float len, V3 c, float r, V3* tail) {
  const V3 off = *tail - c;
  if (!(Dot(off, off) < r * r)) return;
  const V3 toc = c - head;
  const float dist = Len(toc);
  if (!(dist > 1e-6f * len)) return;  // c at the origin: the reach is wholly inside or out
  // The angle from toc at which the reach crosses the collider's surface,
  // widened a hair so the tail ends outside after rounding.
  const float rr = r * (1.0f + 1e-5f) + 1e-7f * len;
  const float cosa = (len * len + dist * dist - rr * rr) / (2.0f * len * dist);
  if (!(cosa >= -1.0f)) return;  // the whole reach is inside
  if (cosa > 1.0f) return;
  const V3 axis = toc * (1.0f / dist);
  const V3 dir = (*tail - head) * (1.0f / len);
  V3 side = dir - axis * Dot(dir, axis);
  float sl = Len(side);
  if (!(sl > 1e-6f)) {
    side = std::fabs(axis.x) < 0.9f ? Cross(axis, {1, 0, 0}) : Cross(axis, {0, 1, 0});
    sl = Len(side);
  }
  const float sina = std::sqrt(std::max(0.0f, 1.0f - cosa * cosa));
  *tail = head + (axis * cosa + side * (sina / sl)) * len;
}

V3 ClosestOnSegment(V3 a, V3 b, V3 p) {
  const V3 ab = b - a;
  const float l2 = Dot(ab, ab);
  if (!(l2 > 0)) return a;
  const float t = std::min(1.0f, std::max(0.0f, Dot(p - a, ab) / l2));
  return a + ab * t;
}

void Collide(const SpringState& s, int chain, V3 head, float len, float hit, V3* tail) {
  const SpringSetup& setup = s.setup;
  for (int round = 0; round < kCollisionRounds; ++round) {
    bool pushed = false;
    for (int g : setup.chains[chain].collider_groups) {
      for (int k : setup.collider_groups[g]) {
        const float* cw = &s.collider_world[7 * k];
        if (!(cw[6] >= 0)) continue;  // its node is not finite this tick
        const V3 c = setup.colliders[k].capsule ? ClosestOnSegment(Load(cw), Load(cw + 3), *tail) : Load(cw);
        const V3 before = *tail;
        PushOut(head, len, c, cw[6] + hit, tail);
        pushed = pushed || before.x != tail->x || before.y != tail->y || before.z != tail->z;
      }
    }
    if (!pushed) break;
  }
}

// The largest length a column of m's linear part has: how much it scales.
float MaxScale(const MATRIX& m) {
  float s = 0;
  for (int k = 0; k < 3; ++k) s = std::max(s, Len(Load(m.f + 4 * k)));
  return s;
}

void PlaceColliders(SpringState* s, const MATRIX* nodes) {
  const std::vector<SpringCollider>& cs = s->setup.colliders;
  s->collider_world.assign(7 * cs.size(), 0.0f);
  for (size_t k = 0; k < cs.size(); ++k) {
    const MATRIX& m = cs[k].node >= 0 ? nodes[cs[k].node] : Identity();
    float* cw = &s->collider_world[7 * k];
    Store(Point(m, Load(cs[k].offset)), cw);
    Store(Point(m, Load(cs[k].tail)), cw + 3);
    cw[6] = cs[k].radius * MaxScale(m);
    if (!FiniteMatrix(m) || !std::isfinite(cw[6])) cw[6] = -1;
  }
}

// Whether a value is a finite number no larger than `limit` either way.
bool Within(float v, float limit) { return std::fabs(v) <= limit; }
bool Within3(const float* v, float limit) { return Within(v[0], limit) && Within(v[1], limit) && Within(v[2], limit); }
float Clamp(float v, float lo, float hi) { return std::min(hi, std::max(lo, v)); }

std::string Problem(const char* what, size_t index, const char* issue) {
  char line[160];
  std::snprintf(line, sizeof line, "springs: %s %zu: %s", what, index, issue);
  return line;
}

// The first thing that keeps the setup from running, or empty.
std::string Check(const SpringSetup& s) {
  const int nodes = static_cast<int>(s.node_ids.size());
  const int chains = static_cast<int>(s.chains.size());
  if (!s.joint_ids.empty() && s.joint_ids.size() != s.joints.size())
    return "springs: joint names do not match the joints";
  for (size_t i = 0; i < s.joints.size(); ++i) {
    const SpringJoint& j = s.joints[i];
    if (j.parent_joint < -1 || j.parent_joint >= static_cast<int>(i))
      return Problem("joint", i, "its parent joint is not an earlier joint");
    if (j.parent_node < -1 || j.parent_node >= nodes) return Problem("joint", i, "its parent node is out of range");
    if (j.chain < -1 || j.chain >= chains) return Problem("joint", i, "its chain is out of range");
    const float r = std::sqrt(j.rotation[0] * j.rotation[0] + j.rotation[1] * j.rotation[1] +
                              j.rotation[2] * j.rotation[2] + j.rotation[3] * j.rotation[3]);
    if (!(std::fabs(r - 1.0f) < 1e-3f)) return Problem("joint", i, "its rotation is not a unit quaternion");
    if (!Within3(j.offset, kMaxLength) || !Within3(j.scale, kMaxLength) || !Within3(j.tail, kMaxLength) ||
        !Within3(j.gravity_dir, kMaxLength) || !std::isfinite(j.hit_radius) || !std::isfinite(j.stiffness) ||
        !std::isfinite(j.gravity_power) || !std::isfinite(j.drag))
      return Problem("joint", i, "a value is not a number or absurdly large");
  }
  const int groups = static_cast<int>(s.collider_groups.size());
  for (size_t i = 0; i < s.chains.size(); ++i) {
    if (s.chains[i].centre_node < -1 || s.chains[i].centre_node >= nodes)
      return Problem("chain", i, "its centre node is out of range");
    for (int g : s.chains[i].collider_groups)
      if (g < 0 || g >= groups) return Problem("chain", i, "a collider group is out of range");
  }
  for (size_t i = 0; i < s.colliders.size(); ++i) {
    const SpringCollider& c = s.colliders[i];
    if (c.node < -1 || c.node >= nodes) return Problem("collider", i, "its node is out of range");
    if (!Within3(c.offset, kMaxLength) || !Within3(c.tail, kMaxLength) || !Within(c.radius, kMaxLength))
      return Problem("collider", i, "a value is not a number or absurdly large");
  }
  for (size_t i = 0; i < s.collider_groups.size(); ++i)
    for (int k : s.collider_groups[i])
      if (k < 0 || k >= static_cast<int>(s.colliders.size()))
        return Problem("collider group", i, "a collider is out of range");
  return std::string();
}

void RestOut(SpringState* s, size_t i, const MATRIX& parent) {
  const SpringJoint& j = s->setup.joints[i];
  std::copy(j.rotation, j.rotation + 4, &s->rotation[4 * i]);
  Compose(parent, Local(j, RestRotation(j)), &s->world[i]);
}

}  // namespace

void SpringsLocalMatrix(const float t[3], const float q[4], const float s[3], MATRIX* out) {
  const float x = q[0], y = q[1], z = q[2], w = q[3];
  const float r[9] = {1 - 2 * (y * y + z * z), 2 * (x * y + w * z),     2 * (x * z - w * y),
                      2 * (x * y - w * z),     1 - 2 * (x * x + z * z), 2 * (y * z + w * x),
                      2 * (x * z + w * y),     2 * (y * z - w * x),     1 - 2 * (x * x + y * y)};
  float* m = out->f;
  for (int k = 0; k < 3; ++k) {
    for (int row = 0; row < 3; ++row) m[4 * k + row] = r[3 * k + row] * s[k];
    m[4 * k + 3] = 0;
  }
  m[12] = t[0];
  m[13] = t[1];
  m[14] = t[2];
  m[15] = 1;
}

bool SpringsInit(SpringState* state, const SpringSetup& setup, std::string* error) {
  *state = SpringState();
  const std::string problem = Check(setup);
  if (!problem.empty()) {
    if (error) *error = problem;
    return false;
  }
  SpringSetup& s = state->setup;
  s = setup;
  for (SpringJoint& j : s.joints) {
    j.drag = Clamp(j.drag, 0, 1);
    j.stiffness = Clamp(j.stiffness, 0, kMaxParam);
    j.gravity_power = Clamp(j.gravity_power, 0, kMaxParam);
    j.hit_radius = Clamp(j.hit_radius, 0, kMaxLength);
    const float g = Len(Load(j.gravity_dir));
    if (g > 0)
      Store(Load(j.gravity_dir) * (1.0f / g), j.gravity_dir);
    else
      j.gravity_power = 0;
    Quat q = Normalized(RestRotation(j));
    std::copy(&q.x, &q.x + 4, j.rotation);
  }
  for (SpringCollider& c : s.colliders) c.radius = std::max(0.0f, c.radius);
  const size_t n = s.joints.size();
  state->rotation.resize(4 * n);
  for (size_t i = 0; i < n; ++i) std::copy(s.joints[i].rotation, s.joints[i].rotation + 4, &state->rotation[4 * i]);
  state->world.assign(n, Identity());
  state->tails.assign(n, SpringTail{});
  state->placed.assign(s.chains.size(), 0);
  state->chain_speed.assign(s.chains.size(), 0.0f);
  return true;
}

bool SpringsStep(SpringState* state, const MATRIX* nodes, size_t count, const float* accel) {
  SpringState& s = *state;
  const SpringSetup& setup = s.setup;
  if (count != setup.node_ids.size() || (count > 0 && !nodes)) return false;
  V3 ext = accel ? Load(accel) : V3{0, 0, 0};
  if (!Finite(ext)) ext = {0, 0, 0};
  const float e = Len(ext);
  if (e > kMaxAccel) ext = ext * (kMaxAccel / e);
  const float dt = kSpringsTick;
  PlaceColliders(&s, nodes);

  // Each chain's centre space this tick; a chain whose centre, or anything
  // it hangs from, is not finite goes back to rest.
  const size_t nc = setup.chains.size();
  std::vector<MATRIX> centre(nc, Identity()), from_centre(nc, Identity());
  std::vector<char> broken(nc, 0);
  for (size_t c = 0; c < nc; ++c) {
    const int node = setup.chains[c].centre_node;
    if (node < 0) continue;
    centre[c] = nodes[node];
    if (!Invert(centre[c], &from_centre[c])) broken[c] = 1;
  }
  std::fill(s.chain_speed.begin(), s.chain_speed.end(), 0.0f);

  for (size_t i = 0; i < setup.joints.size(); ++i) {
    const SpringJoint& j = setup.joints[i];
    const MATRIX& parent = j.parent_joint >= 0  ? s.world[j.parent_joint]
                           : j.parent_node >= 0 ? nodes[j.parent_node]
                                                : Identity();
    if (!Sways(j)) {
      RestOut(&s, i, parent);
      continue;
    }
    const int c = j.chain;
    SpringTail& t = s.tails[i];
    const V3 head = Point(parent, Load(j.offset));
    const V3 aim_local = RestAim(j);
    const V3 aim = Vector(parent, aim_local);
    const float len = Len(aim);
    MATRIX to_parent;
    const bool usable = !broken[c] && Finite(head) && len > 0 && std::isfinite(len) && Invert(parent, &to_parent);
    if (!usable || !s.placed[c]) {
      // At rest for this pose, motionless; a chain that cannot be placed
      // tries again next tick.
      RestOut(&s, i, parent);
      const V3 rest = Point(from_centre[c], head + aim);
      Store(rest, t.now);
      Store(rest, t.before);
      if (!usable) broken[c] = 1;
      continue;
    }
    const V3 now = Point(centre[c], Load(t.now));
    const V3 before = Point(centre[c], Load(t.before));
    V3 next = now + (now - before) * (1.0f - j.drag) + aim * (j.stiffness * dt / len) +
              Load(j.gravity_dir) * (j.gravity_power * dt) + ext * (dt * dt);
    V3 d = next - head;
    float dl = Len(d);
    if (!(dl > 1e-6f * len)) {
      d = aim;
      dl = len;
    }
    next = head + d * (len / dl);
    Collide(s, c, head, len, j.hit_radius * len / Len(Load(j.tail)), &next);
    const V3 in_parent = Vector(to_parent, next - head);
    const Quat q = Normalized(Mul(FromTo(aim_local, in_parent), RestRotation(j)));
    const V3 kept = Point(from_centre[c], next);
    if (!Finite(next) || !Finite(kept) || !std::isfinite(q.w)) {
      // Caught here, put back at rest from the next tick on.
      RestOut(&s, i, parent);
      broken[c] = 1;
      continue;
    }
    s.chain_speed[c] = std::max(s.chain_speed[c], Len(next - now) / dt);
    std::copy(t.now, t.now + 3, t.before);
    Store(kept, t.now);
    std::copy(&q.x, &q.x + 4, &s.rotation[4 * i]);
    Compose(parent, Local(j, q), &s.world[i]);
  }

  for (size_t c = 0; c < nc; ++c) {
    if (broken[c]) {
      if (s.placed[c]) ++s.resets;
      s.placed[c] = 0;
      s.chain_speed[c] = 0;
    } else {
      s.placed[c] = 1;
    }
  }
  return true;
}

bool SpringsSettle(SpringState* state, const MATRIX* nodes, size_t count, int ticks) {
  std::fill(state->placed.begin(), state->placed.end(), 0);
  for (int i = 0; i < ticks; ++i) {
    if (!SpringsStep(state, nodes, count, nullptr)) return false;
    if (i > 0 && SpringsReadout(*state).chains_moving == 0) break;
  }
  for (SpringTail& t : state->tails) std::copy(t.now, t.now + 3, t.before);
  std::fill(state->chain_speed.begin(), state->chain_speed.end(), 0.0f);
  return true;
}

SpringsReport SpringsReadout(const SpringState& state) {
  SpringsReport r;
  for (float v : state.chain_speed) {
    if (v > kMovingSpeed) ++r.chains_moving;
    r.max_speed = std::max(r.max_speed, v);
  }
  r.resets = state.resets;
  return r;
}

void SpringsDeviceAcceleration(const float reading_g[3], float view_yaw_degrees, float out[3]) {
  const float g = 9.80665f;
  V3 a = (V3{reading_g[0], reading_g[1], reading_g[2]} - V3{0, -1, 0}) * g;
  if (!Finite(a) || !std::isfinite(view_yaw_degrees)) a = {0, 0, 0};
  // The camera turns the world by the yaw about y; turning back by it.
  const float r = -view_yaw_degrees * 3.14159265f / 180.0f;
  const float c = std::cos(r), sn = std::sin(r);
  out[0] = c * a.x + sn * a.z;
  out[1] = a.y;
  out[2] = -sn * a.x + c * a.z;
}
