// The voice scheduler: which line the character says, and when.
//
// Other modules only raise requests by writing a request timer (0 none,
// 1 due now, n > 1 due after n - 1 more ticks without a line playing); once a
// tick GirlSoundFrame starts at most one line, by priority, through
// SoundEffect. Lines of the current language and outfit (catalog/catalog.h)
// are loaded by GirlLoadSounds on every scene (re)load.
#pragma once

#include <cstdint>

class SoundEffect;

const int kSoundSlots = 7;  // idle, login, touch, shake, outfit remark, setup, none

extern SoundEffect* sounds[kSoundSlots];
extern const char* sound_sets[2][kSoundSlots];

extern int32_t sound_login_timer;
extern int32_t sound_setup_timer;
extern int32_t sound_touch_timer;
extern int32_t sound_shake_timer;
extern int32_t sound_new_setting_timer;
extern int32_t sound_idle_timer;
// Her first meeting with the user (the first launch): the greeting slot
// says the first-meeting line (catalog/catalog.h) instead of the one for
// every later start, until it has been said.
extern bool sound_first_meeting;
// Set while nobody can see her (the help over her): the greeting waits.
extern bool sound_greeting_held;
extern int32_t current_sound;  // slot of the line playing, -1 when none
extern bool sound_is_played;   // from a line's start until its end is reported

int GirlLoadSounds();
void GirlReleaseSounds();
void GirlSoundResetIdle();
void GirlSoundFrame();
