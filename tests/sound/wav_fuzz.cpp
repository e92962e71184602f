// Any bytes at all go through the WAV decoder and, when accepted, through
// the resampler; a sound that decodes must also be internally consistent.
#include <cstdint>
#include <cstdlib>

#include "sound/sound_service.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SoundPCM pcm;
  if (SoundDecodeWAV(data, size, &pcm) == kSoundOK) {
    if (pcm.channels == 0 || pcm.rate == 0 || (pcm.frames && !pcm.samples)) std::abort();
    uint32_t frames = 0;
    float* mix = SoundResampleStereo(pcm, 48000, &frames);
    std::free(mix);
    SoundPCMFree(&pcm);
  }
  return 0;
}
