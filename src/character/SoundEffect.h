// One short voice file loaded into the system sound service, played
// asynchronously. Created and owned by the voice scheduler (girl_sound.cpp).
//
// playWithFlag is what the scheduler relies on: the flag it is given turns
// true when the play starts and false when the service reports the end of
// the play (delivered by SoundServicePump between ticks). The object never
// owns the flag; the flag must outlive the registration.
#pragma once

#include "sound/sound_service.h"

class SoundEffect {
 public:
  // A new object for the WAV file at path, or null: silently for a null
  // path, with one system-log line when the file cannot be loaded. The
  // caller owns the result and deletes it.
  static SoundEffect* soundEffectWithContentsOfFile(const char* path);

  // Unregisters the completion and disposes the sound. A play cut short
  // here never reports its end, so a registered flag is cleared at once.
  ~SoundEffect();

  void play();
  void playWithFlag(bool* flag);

  // The end-of-sound callback: clears the flag given as client data.
  static void completion_proc_flag(SystemSoundID sound, void* client_data);

  SystemSoundID soundID() const { return _soundID; }
  bool* completionFlag() const { return completion_flag; }

  SoundEffect(const SoundEffect&) = delete;
  SoundEffect& operator=(const SoundEffect&) = delete;

 private:
  SoundEffect() = default;
  bool initWithContentsOfFile(const char* path);

  SystemSoundID _soundID = 0;
  bool* completion_flag = nullptr;
};
