// TEMPORARY, for this test program only: the voice scheduler's countdown
// reset and the two request values the clip player, the shake filter and the
// gestures touch. Remove this file once the voice scheduler (girl_sound.cpp)
// is in ovanta_character; the tests then run against the real one.
#include <cstdlib>

#include "character/girl_sound.h"

int32_t sound_idle_timer = 0;
int32_t sound_shake_timer = 0;
int32_t current_sound = -1;

void GirlSoundResetIdle() { sound_idle_timer = (std::rand() & 511) + 450; }
