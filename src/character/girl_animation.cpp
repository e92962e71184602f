#include "character/girl_animation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "character/girl.h"
#include "character/girl_sound.h"

AnimStruct anim_girl;
AnimStruct anim_bg;

namespace {

AnimClip g_added[3];
bool g_has_added = false;
std::map<std::string, std::vector<float>> g_added_expressions;
ClipGaze g_added_gaze;
AnimClip g_idle[2];
bool g_has_idle = false;
std::map<std::string, std::vector<float>> g_idle_expressions;
ClipGaze g_idle_gaze;

// The gaze a clip (from `start` on, a frame each) asks for at `frame`.
bool GazeAt(const ClipGaze& gaze, int32_t start, int32_t end, float frame, float yawPitch[2]) {
  if (gaze.empty() || frame < (float)start || frame > (float)end) return false;
  const size_t k = std::min(static_cast<size_t>(std::lround(frame - (float)start)), gaze.size() - 1);
  yawPitch[0] = gaze[k][0], yawPitch[1] = gaze[k][1];
  return true;
}

// A clip's expressions at `frame`: the weights from `start` on, a frame each.
void ExpressionsAt(const std::map<std::string, std::vector<float>>& weights, int32_t start, int32_t end, float frame,
                   std::map<std::string, float>* at) {
  if (frame < (float)start || frame > (float)end) return;
  const size_t k = static_cast<size_t>(std::lround(frame - (float)start));
  for (const auto& e : weights)
    if (!e.second.empty()) (*at)[e.first] = e.second[std::min(k, e.second.size() - 1)];
}

// Advances without chaining; used for the hand-over frame so a chained clip
// never chains twice in one call.
void Step(AnimStruct* a) {
  if (a->stopped) return;
  a->frame = a->frame + a->speed;
  if (a->frame < static_cast<float>(a->end_frame)) return;
  if (a->loop) {
    a->frame = static_cast<float>(a->loop_frame);
    return;
  }
  a->frame = static_cast<float>(a->end_frame);
  a->stopped = true;
}

}  // namespace

const AnimClip* AnimationClip(AnimState state) {
  // The clip boundaries are fixed by the character's timeline, not read
  // from it; an added dance's come from where it was laid.
  if (state < ANIM_IDLE || state > ANIM_DANCE_OUT) return nullptr;
  if (g_has_idle && state == ANIM_IDLE) return &g_idle[1];
  if (g_has_added && state >= ANIM_DANCE_IN) return &g_added[state - ANIM_DANCE_IN];
  return &GirlClip(state);
}

const AnimClip* AnimationAddedDance() { return g_has_added ? g_added : nullptr; }

void AnimationUseDanceExpressions(const std::map<std::string, std::vector<float>>& weights, const ClipGaze& gaze) {
  g_added_expressions = weights;
  g_added_gaze = gaze;
}

void AnimationUseIdleExpressions(const std::map<std::string, std::vector<float>>& weights, const ClipGaze& gaze) {
  g_idle_expressions = weights;
  g_idle_gaze = gaze;
}

bool AnimationClipGazeAt(float frame, float yawPitch[2]) {
  const AnimClip& d = g_added[ANIM_DANCE - ANIM_DANCE_IN];
  return (g_has_added && GazeAt(g_added_gaze, d.start_frame, d.end_frame, frame, yawPitch)) ||
         (g_has_idle && GazeAt(g_idle_gaze, g_idle[1].start_frame, g_idle[1].end_frame, frame, yawPitch));
}

std::map<std::string, float> AnimationDanceExpressionsAt(float frame) {
  std::map<std::string, float> at;
  if (g_has_added) {
    const AnimClip& d = g_added[ANIM_DANCE - ANIM_DANCE_IN];
    ExpressionsAt(g_added_expressions, d.start_frame, d.end_frame, frame, &at);
  }
  if (g_has_idle) ExpressionsAt(g_idle_expressions, g_idle[1].start_frame, g_idle[1].end_frame, frame, &at);
  return at;
}

void AnimationUseDance(const AnimClip* inDanceOut) {
  if (!inDanceOut) g_added_expressions.clear(), g_added_gaze.clear();
  g_has_added = inDanceOut != nullptr;
  if (g_has_added)
    for (int k = 0; k < 3; ++k) g_added[k] = inDanceOut[k];
}

void AnimationUseIdle(const AnimClip* inLoop) {
  if (!inLoop) g_idle_expressions.clear(), g_idle_gaze.clear();
  g_has_idle = inLoop != nullptr;
  if (g_has_idle) g_idle[0] = inLoop[0], g_idle[1] = inLoop[1];
}

void AnimationStart(AnimStruct* a, int start, int end, AnimState state, bool loop) {
  a->state = state;
  a->speed = 1.0f;
  a->start_frame = start;
  a->end_frame = end;
  a->loop_frame = start;
  a->loop = loop;
  a->stopped = false;
  a->frame = static_cast<float>(static_cast<double>(start) + 0.001);
}

void AnimationStartN(AnimStruct* a, AnimState state) {
  GirlSoundResetIdle();
  const AnimClip* clip = AnimationClip(state);
  if (!clip) return;
  if (state == ANIM_IDLE && g_has_idle) {
    AnimationStart(a, g_idle[0].start_frame, clip->end_frame, state, true);
    a->loop_frame = clip->start_frame;
    return;
  }
  AnimationStart(a, clip->start_frame, clip->end_frame, state, clip->loop);
}

void Animate(AnimStruct* a) {
  if (a->stopped) return;
  Step(a);
  if (a->stopped) AnimationStopped(a);
}

void AnimationStopped(AnimStruct* a) {
  switch (a->state) {
    case ANIM_IDLE:
      std::fputs("ERROR:Idle animation is never stopped!", stderr);
      AnimationStartN(a, ANIM_IDLE);
      break;
    case ANIM_SHAKE:
    case ANIM_DANCE_OUT:
      AnimationStartN(a, ANIM_IDLE);
      break;
    case ANIM_DANCE_IN:
      AnimationStartN(a, ANIM_DANCE);
      break;
    case ANIM_DANCE:
      AnimationStartN(a, continue_dancing != 0 ? ANIM_DANCE : ANIM_DANCE_OUT);
      break;
    default:
      return;  // unknown clip: stays stopped on its end frame
  }
  Step(a);
}
