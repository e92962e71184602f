#include "character/SoundEffect.h"

SoundEffect* SoundEffect::soundEffectWithContentsOfFile(const char* path) {
  if (!path) return nullptr;
  SoundEffect* s = new SoundEffect();
  if (!s->initWithContentsOfFile(path)) {
    delete s;
    return nullptr;
  }
  return s;
}

bool SoundEffect::initWithContentsOfFile(const char* path) {
  completion_flag = nullptr;
  if (!path) {
    SoundLog("NSURL is nil for path: %s", "(null)");
    return false;
  }
  SystemSoundID handle = 0;
  const int32_t status = SoundServiceCreate(path, &handle);
  if (status != 0) {
    SoundLog("Error %d loading sound at path: %s", static_cast<int>(status), path);
    SoundLog("Sound %s: %s", path, SoundProblem(path, status).c_str());
    return false;
  }
  _soundID = handle;
  return true;
}

SoundEffect::~SoundEffect() {
  if (!_soundID) return;
  // Removing the completion below means the end of a play in progress is
  // never reported; a waiting caller would wait forever.
  if (completion_flag && SoundServiceIsPlaying(_soundID)) *completion_flag = false;
  SoundServiceRemoveCompletion(_soundID);
  SoundServiceDispose(_soundID);
}

void SoundEffect::play() { SoundServicePlay(_soundID); }

void SoundEffect::playWithFlag(bool* flag) {
  if (flag != completion_flag) {
    // The play still going on (if any) is restarted below and will report
    // its end to the new flag only, so the old one is released here.
    if (completion_flag && SoundServiceIsPlaying(_soundID)) *completion_flag = false;
    completion_flag = flag;
    SoundServiceRemoveCompletion(_soundID);
    if (flag) {
      SoundServiceAddCompletion(_soundID, completion_proc_flag, flag);
      *flag = true;
    }
  } else if (flag) {
    *flag = true;
  }
  SoundServicePlay(_soundID);
}

void SoundEffect::completion_proc_flag(SystemSoundID, void* client_data) {
  if (client_data) *static_cast<bool*>(client_data) = false;
}
