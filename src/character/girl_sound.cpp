#include "character/girl_sound.h"

#include <cstdlib>
#include <string>

#include "character/SoundEffect.h"
#include "character/girl.h"
#include "files/bundle.h"

SoundEffect* sounds[kSoundSlots] = {};
const char* sound_sets[2][kSoundSlots] = {
    {kVoices[0].idle, kVoices[0].greeting, kVoices[0].touch, kVoices[0].shake, nullptr, kVoices[0].setup, nullptr},
    {kVoices[1].idle, kVoices[1].greeting, kVoices[1].touch, kVoices[1].shake, nullptr, kVoices[1].setup, nullptr},
};

bool sound_first_meeting = false;
bool sound_greeting_held = false;

int32_t sound_login_timer = 0;
int32_t sound_setup_timer = 0;
int32_t sound_touch_timer = 0;
int32_t sound_shake_timer = 0;
int32_t sound_new_setting_timer = 0;
int32_t sound_idle_timer = 0;
int32_t current_sound = -1;
bool sound_is_played = false;

// Deleting a playing SoundEffect clears the flag it maintains
// (sound_is_played), so a reload in the middle of a line does not leave the
// scheduler waiting for an end that is never reported.
static void ReleaseSlot(int slot) {
  delete sounds[slot];
  sounds[slot] = nullptr;
}

int GirlLoadSounds() {
  for (int i = 0; i < kSoundSlots; ++i) ReleaseSlot(i);
  n_sound_set = GirlChoiceIndex(n_sound_set, 2);
  // The scene loader has normally reduced n_clothes already; reducing the
  // index again here keeps a stray value from reading outside the table.
  sound_sets[n_sound_set][4] = kVoices[n_sound_set].outfit[GirlChoiceIndex(n_clothes, 4)];
  sound_sets[n_sound_set][1] = sound_first_meeting ? kVoices[n_sound_set].first_meeting : kVoices[n_sound_set].greeting;
  for (int i = 0; i < kSoundSlots; ++i) {
    const char* name = sound_sets[n_sound_set][i];
    if (!name) continue;
    std::string path;
    if (BundlePathForResource(name, "wav", path)) {
      sounds[i] = SoundEffect::soundEffectWithContentsOfFile(path.c_str());
    } else {
      // A missing voice file would otherwise leave no trace at all.
      std::string where = BundleRoot();
      where += where.empty() ? "" : "/";
      SoundLog("Error %d loading sound at path: %s%s.wav", static_cast<int>(kSoundErrOpen), where.c_str(), name);
      SoundLog("Sound %s", BundleWhyNot(name, "wav").c_str());
    }
  }
  return 1;
}

void GirlReleaseSounds() {
  for (int i = 0; i < kSoundSlots; ++i) ReleaseSlot(i);
}

void GirlSoundResetIdle() { sound_idle_timer = (std::rand() & 511) + 450; }

static bool Due(int32_t& timer) {
  if (timer != 1) return false;
  timer = 0;
  return true;
}

void GirlSoundFrame() {
  if (sound_touch_timer > 1) --sound_touch_timer;
  if (sound_is_played) return;

  current_sound = -1;
  int32_t* counting[] = {&sound_login_timer, &sound_shake_timer, &sound_setup_timer, &sound_new_setting_timer,
                         &sound_idle_timer};
  for (int32_t* t : counting)
    if (*t > 1 && !(t == &sound_login_timer && sound_greeting_held)) --*t;

  int slot;
  if (!sound_greeting_held && Due(sound_login_timer))
    slot = 1;
  else if (Due(sound_setup_timer))
    slot = 5;
  else if (Due(sound_touch_timer))
    slot = 2;
  else if (Due(sound_shake_timer))
    slot = 3;
  else if (Due(sound_new_setting_timer))
    slot = 4;
  else if (Due(sound_idle_timer))
    slot = (std::rand() & 0x4000) ? 0 : 4;
  else
    return;

  current_sound = slot;
  if (sounds[slot]) sounds[slot]->playWithFlag(&sound_is_played);
  if (slot == 1) sound_first_meeting = false;  // met: the next greeting is the usual one
  GirlSoundResetIdle();
}
