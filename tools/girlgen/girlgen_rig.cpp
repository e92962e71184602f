// Her skeleton and every clip of her timeline, as functions of the frame.
//
// The clip boundaries are the player's table (rig/girl_clips.h). The
// player draws a chained clip from its start + 1.001 and never blends, so
// each clip is shaped against the frames actually drawn: idle is periodic
// over its whole clip and stays close to the bind pose, the dance is periodic
// over its drawn loop (start + 1 .. end - 1, then start + 1 again), the
// lead-in ends one dance step before the first dance frame, and the lead-out
// and the shake reaction start where their predecessors leave off and end at
// the bind pose.
#include <cstring>

#include "girlgen.h"
#include "math/Vector.h"
#include "rig/face_bones.h"

namespace girlgen {

const BoneDef kBones[kBoneCount] = {
    {"hips", -1, {0, 190, 0}},
    {"spine", kHips, {0, 212, 0}},
    {"chest", kSpine, {0, 242, 0}},
    {"neck", kChest, {0, 284, 0}},
    {"head", kNeck, {0, 304, 1}},
    {"shoulder_l", kChest, {7, 277, -1}},
    {"upperarm_l", kShoulderL, {26, 278, -2}},
    {"forearm_l", kUpperArmL, {38, 226, -3}},
    {"hand_l", kForearmL, {47, 178, -1}},
    {"shoulder_r", kChest, {-7, 277, -1}},
    {"upperarm_r", kShoulderR, {-26, 278, -2}},
    {"forearm_r", kUpperArmR, {-38, 226, -3}},
    {"hand_r", kForearmR, {-47, 178, -1}},
    {"thigh_l", kHips, {15, 186, 0}},
    {"shin_l", kThighL, {14, 101, 1}},
    {"foot_l", kShinL, {13, 18, -3}},
    {"thigh_r", kHips, {-15, 186, 0}},
    {"shin_r", kThighR, {-14, 101, 1}},
    {"foot_r", kShinR, {-13, 18, -3}},
    {"tail_l1", kHead, {26, 338, -12}},
    {"tail_l2", kTailL1, {40, 295, -24}},
    {"tail_l3", kTailL2, {46, 252, -26}},
    {"tail_r1", kHead, {-26, 338, -12}},
    {"tail_r2", kTailR1, {-40, 295, -24}},
    {"tail_r3", kTailR2, {-46, 252, -26}},
    // The face rig: eyes and lids turn about the eyeballs' centres (measured
    // from the head's surface, girlgen_face checks them), the jaw about a
    // hinge behind the mouth; the lips' bones only move.
    {kFaceEyeL, kHead, {4.28f, 324.25f, 10.9f}},
    {kFaceEyeR, kHead, {-4.28f, 324.25f, 10.9f}},
    {kFaceLidL, kHead, {4.28f, 324.25f, 10.9f}},
    {kFaceLidR, kHead, {-4.28f, 324.25f, 10.9f}},
    {kFaceJaw, kHead, {0, 318, -6}},
    {kFaceLipUpper, kHead, {0, 313, 20}},
    {kFaceCornerL, kHead, {4.3f, 312.2f, 19}},
    {kFaceCornerR, kHead, {-4.3f, 312.2f, 19}},
};

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kDeg = kPi / 180.0f;

constexpr AnimClip kIdle = GirlClip(ANIM_IDLE);
constexpr AnimClip kDanceIn = GirlClip(ANIM_DANCE_IN);
constexpr AnimClip kDanceLoop = GirlClip(ANIM_DANCE);
constexpr AnimClip kDanceOut = GirlClip(ANIM_DANCE_OUT);
constexpr AnimClip kShake = GirlClip(ANIM_SHAKE);

// Joint angles in degrees about the bone's x, y and z axes (applied x, y, z),
// plus the root offset: the clips are written in these terms and blended
// linearly, which keeps every clip a smooth function of the frame.
struct Params {
  float a[kBoneCount][3] = {};
  V3 root;
};

void Zero(Params& p) { p = Params{}; }

Params Scale(const Params& p, float s) {
  Params r;
  for (int b = 0; b < kBoneCount; ++b)
    for (int k = 0; k < 3; ++k) r.a[b][k] = p.a[b][k] * s;
  r.root = p.root * s;
  return r;
}

// Hair tails trail the motion of the head a little.
void TailFollow(Params& p, float sway, float swing) {
  p.a[kTailL1][2] += sway * 0.6f;
  p.a[kTailL2][2] += sway * 0.5f;
  p.a[kTailL3][2] += sway * 0.4f;
  p.a[kTailR1][2] += sway * 0.6f;
  p.a[kTailR2][2] += sway * 0.5f;
  p.a[kTailR3][2] += sway * 0.4f;
  for (int b : {kTailL1, kTailL2, kTailL3, kTailR1, kTailR2, kTailR3}) p.a[b][0] += swing;
}

Params Idle(float f) {
  Params p;
  Zero(p);
  const float ph = 2 * kPi * (f - kIdle.start_frame) / (kIdle.end_frame - kIdle.start_frame);
  const float s1 = std::sin(ph), s2 = std::sin(2 * ph);
  p.a[kChest][0] = -1.5f * s2;  // breathing
  p.a[kSpine][0] = 0.6f * s2;
  p.root.x = 2.0f * s1;  // weight shift
  p.a[kHips][2] = 1.5f * s1;
  p.a[kSpine][2] = -1.2f * s1;
  p.a[kThighL][2] = -1.5f * s1 - 0.6f * s1;
  p.a[kThighR][2] = -1.5f * s1 - 0.6f * s1;
  p.a[kHead][1] = 9.0f * std::sin(ph) * (0.6f + 0.4f * std::cos(ph));  // a look around
  p.a[kHead][2] = 2.5f * s2;
  p.a[kHead][0] = -2.0f * std::sin(3 * ph);
  p.a[kUpperArmL][2] = 1.5f * s2;
  p.a[kUpperArmR][2] = -1.5f * s2;
  p.a[kForearmL][0] = -2.0f * s1;
  p.a[kForearmR][0] = 2.0f * s1;
  TailFollow(p, -1.5f * s1, 1.0f * s2);
  return p;
}

// The dance, periodic with the drawn loop: its first drawn frame and the
// clip's end frame are the same pose. One bounce a beat, lowest half a beat
// after each beat line; a step to the side every two beats.
Params Dance(float f) {
  Params p;
  Zero(p);
  const float ph = 2 * kPi * (f - kDanceFirstDrawnFrame) / kDancePassFrames;
  constexpr float kBeats = kDanceBeatsPerPass;
  const float bounce = 0.5f - 0.5f * std::cos(kBeats * ph);
  const float sway = std::sin(kBeats / 2 * ph);
  const float twist = std::sin(2 * ph);
  const float knee = 3.0f + 12.0f * bounce;
  const float drop = (85.0f + 83.0f) * (1.0f - std::cos(knee * kDeg));
  p.root = V3(9.0f * sway, -drop, 0);
  p.a[kHips][2] = 4.0f * sway;
  p.a[kHips][1] = 8.0f * twist;
  p.a[kSpine][2] = -7.0f * sway;
  p.a[kChest][1] = 10.0f * twist;
  p.a[kChest][0] = 3.0f * bounce;
  const float legZ = -4.0f * sway - std::atan(9.0f * sway / 168.0f) / kDeg;
  for (int side = 0; side < 2; ++side) {
    const int th = side ? kThighR : kThighL, sh = side ? kShinR : kShinL, ft = side ? kFootR : kFootL;
    p.a[th][0] = -knee;
    p.a[th][2] = legZ;
    p.a[th][1] = -8.0f * twist;
    p.a[sh][0] = 2 * knee;
    p.a[ft][0] = -knee;
  }
  // Arms take turns: the left rises in the first half of each pass, the
  // right in the second, so the pass starts and ends with both arms low.
  const float upL = std::pow(std::max(0.0f, std::sin(2 * ph)), 2.0f);
  const float upR = std::pow(std::max(0.0f, -std::sin(2 * ph)), 2.0f);
  p.a[kUpperArmL][2] = 8.0f + 105.0f * upL + 10.0f * upR;
  p.a[kUpperArmR][2] = -(8.0f + 105.0f * upR + 10.0f * upL);
  p.a[kUpperArmL][0] = -6.0f - 18.0f * upR;
  p.a[kUpperArmR][0] = -6.0f - 18.0f * upL;
  p.a[kForearmL][0] = -14.0f - 40.0f * upL - 30.0f * upR * (0.5f + 0.5f * std::sin(kBeats * ph));
  p.a[kForearmR][0] = -14.0f - 40.0f * upR - 30.0f * upL * (0.5f + 0.5f * std::sin(kBeats * ph));
  p.a[kForearmL][2] = 12.0f * upL;
  p.a[kForearmR][2] = -12.0f * upR;
  p.a[kShoulderL][2] = 6.0f * upL;
  p.a[kShoulderR][2] = -6.0f * upR;
  p.a[kHandL][2] = -10.0f * sway;
  p.a[kHandR][2] = -10.0f * sway;
  p.a[kHead][0] = 5.0f * std::sin(kBeats * ph);
  p.a[kHead][2] = -6.0f * sway;
  p.a[kHead][1] = -6.0f * twist;
  TailFollow(p, -6.0f * std::sin(kBeats / 2 * ph - 0.9f), 4.0f * bounce);
  // A raised arm would sweep through the tail on its side: the tail swings back.
  for (int b : {kTailL1, kTailL2}) p.a[b][0] += 22.0f * upL;
  for (int b : {kTailR1, kTailR2}) p.a[b][0] += 22.0f * upR;
  return p;
}

// The startled reaction: a jump of the shoulders, hands to the chest, a head shake, recovery.
Params Shake(float f) {
  Params p;
  Zero(p);
  const float t = f - kShake.start_frame;
  const float e = Smooth(0.0f, 5.0f, t) * (1.0f - Smooth(12.0f, 35.0f, t));
  const float shakeEnv = Smooth(2.0f, 6.0f, t) * (1.0f - Smooth(8.0f, 26.0f, t));
  const float hop = std::sin(kPi * Clamp(t / 8.0f, 0.0f, 1.0f));
  p.root = V3(0, 5.0f * hop, -3.0f * e);
  p.a[kShoulderL][2] = 9.0f * e;
  p.a[kShoulderR][2] = -9.0f * e;
  p.a[kUpperArmL][0] = -48.0f * e;
  p.a[kUpperArmR][0] = -48.0f * e;
  p.a[kUpperArmL][2] = -4.0f * e;
  p.a[kUpperArmR][2] = 4.0f * e;
  p.a[kUpperArmL][1] = -20.0f * e;
  p.a[kUpperArmR][1] = 20.0f * e;
  p.a[kForearmL][0] = -95.0f * e;
  p.a[kForearmR][0] = -95.0f * e;
  p.a[kHandL][0] = 10.0f * e;
  p.a[kHandR][0] = 10.0f * e;
  p.a[kChest][0] = -7.0f * e;
  p.a[kHead][0] = -9.0f * e;
  p.a[kHead][1] = 14.0f * shakeEnv * std::sin(2 * kPi * t / 9.0f);
  p.a[kHips][1] = 4.0f * shakeEnv * std::sin(2 * kPi * t / 9.0f + 1.0f);
  const float knee = 8.0f * e;
  for (int side = 0; side < 2; ++side) {
    p.a[side ? kThighR : kThighL][0] = -knee;
    p.a[side ? kShinR : kShinL][0] = 2 * knee;
    p.a[side ? kFootR : kFootL][0] = -knee;
  }
  p.root.y -= (85.0f + 83.0f) * (1.0f - std::cos(knee * kDeg));
  TailFollow(p, -5.0f * shakeEnv * std::sin(2 * kPi * t / 9.0f - 1.2f), 6.0f * e);
  return p;
}

// Hair lags behind a turn of the head instead of sweeping round with it,
// which keeps the tails off her shoulders.
Params SteadyTails(Params p) {
  p.a[kTailL1][1] -= 0.85f * p.a[kHead][1];
  p.a[kTailR1][1] -= 0.85f * p.a[kHead][1];
  return p;
}

Params ParamsAtRaw(float f);

Params ParamsAt(float f) { return SteadyTails(ParamsAtRaw(f)); }

Params ParamsAtRaw(float f) {
  if (f <= kIdle.end_frame) return Idle(f);
  if (f <= kDanceIn.end_frame) {  // lead-in: reaches the pose one step before the first drawn dance frame
    const float s = Smooth(kDanceIn.start_frame, kDanceIn.end_frame - 1.0f, f);
    return Scale(Dance(f + 1.0f), s);
  }
  if (f <= kDanceLoop.end_frame) return Dance(f);
  if (f <= kDanceOut.end_frame) {  // lead-out: the pose that ends every pass, fading to the bind pose
    const float s = 1.0f - Smooth(kDanceOut.start_frame, kDanceOut.end_frame, f);
    return Scale(Dance(kDanceLoop.end_frame), s);
  }
  return Shake(f);
}

// q for a rotation by deg about an axis, right-handed, composed in the order x, y, z.
void Quat(float out[4], float ax, float ay, float az) {
  auto mul = [](const float a[4], const float b[4], float r[4]) {  // a * b (b applied first)
    r[0] = a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1];
    r[1] = a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0];
    r[2] = a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3];
    r[3] = a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2];
  };
  const float qx[4] = {std::sin(ax * kDeg / 2), 0, 0, std::cos(ax * kDeg / 2)};
  const float qy[4] = {0, std::sin(ay * kDeg / 2), 0, std::cos(ay * kDeg / 2)};
  const float qz[4] = {0, 0, std::sin(az * kDeg / 2), std::cos(az * kDeg / 2)};
  float t[4], q[4];
  mul(qy, qx, t);
  mul(qz, t, q);
  // The matrix built from a stored quaternion turns points the other way
  // round (row vectors), so the conjugate is what goes into the file.
  out[0] = -q[0];
  out[1] = -q[1];
  out[2] = -q[2];
  out[3] = q[3];
}

}  // namespace

Pose PoseAtFrame(int frame) {
  const Params p = ParamsAt(static_cast<float>(frame));
  Pose pose;
  pose.rootOffset = p.root;
  for (int b = 0; b < kBoneCount; ++b) Quat(pose.rot[b], p.a[b][0], p.a[b][1], p.a[b][2]);
  return pose;
}

void PoseWorld(const Pose& pose, MATRIX world[kBoneCount]) {
  for (int b = 0; b < kBoneCount; ++b) {
    const BoneDef& d = kBones[b];
    V3 off = d.bindPos;
    if (d.parent >= 0)
      off = d.bindPos - kBones[d.parent].bindPos;
    else
      off = off + pose.rootOffset;
    QUATERNION q{pose.rot[b][0], pose.rot[b][1], pose.rot[b][2], pose.rot[b][3]};
    MATRIX r, t, local;
    MatrixRotationQuaternion(r, q);
    MatrixTranslation(t, off.x, off.y, off.z);
    MatrixMultiply(local, r, t);
    if (d.parent >= 0)
      MatrixMultiply(world[b], local, world[d.parent]);
    else
      world[b] = local;
  }
}

}  // namespace girlgen
