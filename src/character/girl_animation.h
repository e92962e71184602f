// The clip player: turns a model's single keyframed timeline into clips and,
// for the character, chains them (idle, shake reaction, dance with its
// lead-in and lead-out).
//
// The frame update draws each model at its player's frame and then calls
// Animate once per displayed frame; the shake response and the dance buttons
// start clips with AnimationStartN. One call of Animate is one frame: nothing
// here reads a clock.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "rig/girl_clips.h"

struct AnimStruct {
  AnimState state;
  bool loop;     // wrap at the end instead of stopping
  bool stopped;  // a non-looping clip reached its end
  float frame;   // what the model is drawn at
  float speed;   // frames per Animate; always 1
  int32_t start_frame;
  int32_t end_frame;
  int32_t loop_frame;  // where a loop wraps to: start_frame but in an added idle, whose lead-in plays once
};

extern AnimStruct anim_girl;
extern AnimStruct anim_bg;

// The row of the clip table (rig/girl_clips.h) for a state.
const AnimClip* AnimationClip(AnimState state);  // null outside ANIM_IDLE..ANIM_DANCE_OUT
// The added dance's three clips, null while she dances her own.
const AnimClip* AnimationAddedDance();
// The expressions and gaze (yaw, pitch) the added dance asks for
// (dance/dance.h's, a frame of its dance clip each), kept until the next
// AnimationUseDance; those the added idle asks for (a frame of its loop
// each), kept until the next AnimationUseIdle; and what they ask at `frame`
// of the timeline (nothing outside those clips; false: no gaze asked).
using ClipGaze = std::vector<std::array<float, 2>>;
void AnimationUseDanceExpressions(const std::map<std::string, std::vector<float>>& weights, const ClipGaze& gaze);
void AnimationUseIdleExpressions(const std::map<std::string, std::vector<float>>& weights, const ClipGaze& gaze);
std::map<std::string, float> AnimationDanceExpressionsAt(float frame);
bool AnimationClipGazeAt(float frame, float yawPitch[2]);

// The clips of a dance added to the scene shown (dance/dance.h): its
// lead-in, dance and lead-out, played for ANIM_DANCE_IN, ANIM_DANCE and
// ANIM_DANCE_OUT instead of hers. Null: hers (after every load until the
// load lays one).
void AnimationUseDance(const AnimClip* inDanceOut);
// An idle added to the scene shown: its lead-in and its loop (dance/dance.h),
// played for ANIM_IDLE instead of hers; the lead-in once each time the idle
// starts. Null: hers (after every load until the load lays one).
void AnimationUseIdle(const AnimClip* inLoop);

void AnimationStart(AnimStruct* a, int start, int end, AnimState state, bool loop);
// Starts a clip of the character's table and restarts the idle-voice
// countdown; an unknown state changes nothing else.
void AnimationStartN(AnimStruct* a, AnimState state);
void Animate(AnimStruct* a);
// Chains the follow-up clip; called by Animate when a clip ends.
void AnimationStopped(AnimStruct* a);
