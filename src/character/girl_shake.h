// The accelerometer filter: turns each sample into the force the frame
// update applies to the soft-skin network, and detects the jerk that starts
// the shake reaction (shake clip and shake voice line).
//
// GirlShake is called with every accelerometer sample (30 a second) and by
// the settling after a reload; the frame update reads phy.force. The test
// buttons of the main screen apply their impulses through the GirlShake*Button
// functions, bypassing the filter.
#pragma once

#include "math/Vector.h"

struct ShakeFilter {
  VECTOR3 slow;   // gravity estimate
  VECTOR3 fast;   // smoothed current acceleration
  VECTOR3 jerk;   // slow - fast
  VECTOR3 last;   // the raw sample
  VECTOR3 force;  // 2 * (last - 0.5 * slow), applied to the spring network
};

extern ShakeFilter phy;

// Squared jerk above which the shake reaction starts (|jerk| about 1.38 g).
const float kShakeJerkThreshold2 = 1.9f;

// One sample in units of g; an upright, still device reads (0, -1, 0).
void GirlShake(float x, float y, float z);

// The test impulses, straight onto phy_skin.
void GirlShakeXButton();  // (-10, 0, 0)
void GirlShakeYButton();  // (0, 2, 0)
void GirlShakeZButton();  // (0, 0, +8) when bit 4 of one rand() is set, else (0, 0, -8)
