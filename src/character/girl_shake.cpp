#include "character/girl_shake.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "character/girl_animation.h"
#include "character/girl_sound.h"
#include "physics/boobs_physics_b0.h"

ShakeFilter phy;

namespace {

// The slot of the shake line in the voice set.
const int kShakeSoundSlot = 3;

// Real sensors saturate at a few g; anything beyond this is a broken reading
// that would otherwise throw the soft parts out of the picture for good.
const float kMaxSample = 16.0f;

void Filter(float s, float& slow, float& fast, float& jerk, float& last) {
  if (s > kMaxSample) s = kMaxSample;
  if (s < -kMaxSample) s = -kMaxSample;
  slow = 0.03f * s + 0.97f * slow;
  last = s;
  fast = 0.4f * s + 0.6f * fast;
  jerk = slow - fast;
}

}  // namespace

void GirlShake(float x, float y, float z) {
  // A sample that is not a number would stay in the averages forever. A
  // broken sensor repeats itself 30 times a second, so a run of bad samples
  // is reported once.
  static bool bad_run = false;
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
    if (!bad_run) std::fprintf(stderr, "Shake: accelerometer sample dropped, not a number\n");
    bad_run = true;
    return;
  }
  bad_run = false;
  Filter(x, phy.slow.x, phy.fast.x, phy.jerk.x, phy.last.x);
  Filter(y, phy.slow.y, phy.fast.y, phy.jerk.y, phy.last.y);
  Filter(z, phy.slow.z, phy.fast.z, phy.jerk.z, phy.last.z);

  const float j2 = phy.jerk.x * phy.jerk.x + phy.jerk.y * phy.jerk.y + phy.jerk.z * phy.jerk.z;
  if (j2 > kShakeJerkThreshold2 && (anim_girl.state == ANIM_IDLE || anim_girl.state == ANIM_DANCE_OUT)) {
    AnimationStartN(&anim_girl, ANIM_SHAKE);
    // A line already playing is not asked for again.
    if (current_sound != kShakeSoundSlot) sound_shake_timer = 1;
  }

  phy.force.x = 2.0f * (phy.last.x - 0.5f * phy.slow.x);
  phy.force.y = 2.0f * (phy.last.y - 0.5f * phy.slow.y);
  phy.force.z = 2.0f * (phy.last.z - 0.5f * phy.slow.z);
}

void GirlShakeXButton() { PhySkinForce(&phy_skin, -10.0f, 0.0f, 0.0f); }

void GirlShakeYButton() { PhySkinForce(&phy_skin, 0.0f, 2.0f, 0.0f); }

void GirlShakeZButton() {
  const float z = static_cast<float>((std::rand() & 16) - 8);
  PhySkinForce(&phy_skin, 0.0f, 0.0f, z);
}
