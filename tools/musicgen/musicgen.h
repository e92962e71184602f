// The dance music, made from nothing but code at build time: a short
// four-on-the-floor loop whose beats are her dance's (rig/girl_clips.h)
// so that her steps land on the kick drum. For the build tool and its tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

const int kMusicRate = 22050;
// Passes of her dance loop that one loop of the music lasts (four bars).
const int kMusicPasses = 2;

// The whole loop as 16-bit mono samples at kMusicRate; it joins its own
// start without a click, and its first sample is the first drawn frame of a
// dance pass.
std::vector<int16_t> MakeDanceMusic();
// Writes "dance.wav" into dir; false with a message on failure.
bool WriteDanceMusic(const std::string& dir);
