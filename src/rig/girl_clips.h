// Her clip table: which frames of the character's one timeline make each
// clip, and whether it loops. The one source for the player that plays the
// clips (girl_animation), the generator that animates her timeline against
// them (tools/girlgen), the dance music (tools/musicgen and the face layer's
// music) and the tests. Header only, so the generators need no app library.
#pragma once

#include <cstdint>

enum AnimState : int32_t {
  ANIM_IDLE = 1,
  ANIM_SHAKE = 2,
  ANIM_DANCE_IN = 3,
  ANIM_DANCE = 4,
  ANIM_DANCE_OUT = 5,
};

// One row of the clip table, indexed by AnimState - ANIM_IDLE.
struct AnimClip {
  int32_t start_frame;
  int32_t end_frame;
  bool loop;
};

constexpr AnimClip kGirlClips[] = {
    {0, 175, true},     // ANIM_IDLE
    {308, 344, false},  // ANIM_SHAKE
    {175, 185, false},  // ANIM_DANCE_IN
    {185, 298, false},  // ANIM_DANCE
    {299, 307, false},  // ANIM_DANCE_OUT
};
constexpr int kGirlClipCount = sizeof kGirlClips / sizeof kGirlClips[0];

constexpr const AnimClip& GirlClip(AnimState state) { return kGirlClips[state - ANIM_IDLE]; }

// Her timeline has a frame a tick: 30 a second.
constexpr int kClipFramesPerSecond = 30;

// Frames in her timeline: the last clip's end frame is the last frame.
constexpr int kGirlFrameCount = kGirlClips[ANIM_SHAKE - ANIM_IDLE].end_frame + 1;

// A chained clip shows its start + 1 first and hands over when it reaches
// its end frame, so one pass of the dance loop draws start + 1 .. end - 1.
constexpr int kDanceFirstDrawnFrame = GirlClip(ANIM_DANCE).start_frame + 1;
constexpr int kDancePassFrames = GirlClip(ANIM_DANCE).end_frame - GirlClip(ANIM_DANCE).start_frame - 1;
// The dance's beats: she bounces once a beat and is lowest (her step lands)
// half a beat after each beat line, the first beat line being the first
// drawn frame of a pass. The music puts its kick drum on those landings.
constexpr int kDanceBeatsPerPass = 8;
static_assert(kDancePassFrames % kDanceBeatsPerPass == 0, "a beat is a whole number of frames");
constexpr int kDanceBeatFrames = kDancePassFrames / kDanceBeatsPerPass;
