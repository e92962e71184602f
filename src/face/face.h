// The face layer: what makes her seem alive, one tick at a time, on top of
// everything else she does. She blinks now and then, looks towards the
// pointer (or at you, with small glances aside), moves her lips with the
// line she speaks (its stored mouth timing, or its loudness when it has
// none), shows the line as a caption, and dances to music of her own.
//
// It runs on the tick clock and draws from its own random generator, never
// from rand(), so the voice scheduler's draws and every trace of the rest
// stay as they were, and a headless run (seeded 1) repeats exactly.
//
// The frame update (character/girl_frame.cpp) calls FaceFrame once a tick
// after the voice tick and before she is drawn; the app tells it where the
// pointer is, applies the volume and captions settings, and reads what it
// shows (face_report: the caption, the trace's fields).
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "face/face_rig.h"
#include "rig/girl_clips.h"
#include "sound/sound_service.h"

class CPODScene;

// What the frame update knows that the face layer follows.
struct FaceFrameInput {
  CPODScene* scene = nullptr;          // her scene; a new one (after a reload) is rigged again
  int anim_state = 0;                  // the clip playing (AnimState)
  float anim_frame = 0;                // the frame drawn this tick
  const char* line_started = nullptr;  // voice file (no ".wav") of a line that started this tick
  SystemSoundID line_sound = 0;        // the sound of the line playing, 0 for none
  bool line_playing = false;
  float v_angle = 0, v_dist = 560, v_pan_x = 0, v_pan_y = -200;  // the camera
  bool answering_tap = false;                                    // the line playing answers a tap: she looks happy
  // The dance clips playing (lead-in, dance, lead-out) when a dance was
  // added (dance/dance.h); null for hers. The music keeps its own beat: each
  // pass of an added dance lasts the whole number of beats nearest its length.
  const AnimClip* dance = nullptr;
  // Expressions the clip playing asks for (an added dance's tracks), by
  // preset name, 0..1; the face shows each at least that much. Null: none.
  const std::map<std::string, float>* clip_expressions = nullptr;
  // Where the clip playing turns her gaze (an added dance's look-at track):
  // yaw and pitch in degrees, as face_report's; her gaze follows it instead
  // of the pointer or the camera. Null: none.
  const float* clip_gaze = nullptr;
};
void FaceFrame(const FaceFrameInput& in);

// What the last FaceFrame did and shows.
struct FaceReport {
  float blink = 0;  // 0 open .. 1 closed
  float mouth = 0;  // 0 closed .. 1 fully open
  MouthShape mouth_shape = kMouthRest;
  float gaze_yaw = 0, gaze_pitch = 0;  // degrees: eyes and head together, relative to her body
  std::string caption;                 // the text on screen, "" for none
  std::string caption_lang;            // "en" or "ru" while there is one
  bool caption_appeared = false;       // a caption came up this tick
  bool music = false;                  // the dance music is playing
  float music_gain = 0;                // its gain: in with the dance, out with the dance-out, lower under a line
  // The strongest expression preset (VRM 1.0 names: blink, aa, oh, ee,
  // happy, lookLeft, ...) and its weight; "" and 0 when none shows.
  std::string expression;
  float expression_weight = 0;
};
extern FaceReport face_report;

// Settings, stored with the others ("Ovanta_volume", "Ovanta_captions").
extern int32_t face_volume;  // 0 off, 1 low, 2 medium, 3 high (the loudness there always was)
extern bool face_captions;
const int kFaceVolumeLevels = 4;
// Sets the volume (brought into 0..3) and applies it to every sound at once.
void FaceSetVolume(int32_t level);
// The M key: off, and back to the last level that was not off.
void FaceToggleMute();
// Off: no caption shows (one on screen goes at once).
void FaceSetCaptions(bool on);

// Where her face is on the 320 x 480 point view for a camera (points, y
// from the top) and about how far round that it reaches; false when it is
// behind the camera. The caption keeps clear of it.
bool FaceOnView(float v_angle, float v_dist, float pan_x, float pan_y, float* x, float* y, float* reach);

// The pointer over her view (points, y from the top), or none. A pointer
// that has not moved for five seconds counts as none.
void FacePointer(float x, float y);
void FacePointerNone();

// The character shown is an imported one: its character.json (`info`) and
// loaded scene. Its face follows its file's expressions and look-at
// (face/face_expressions.h); a file without expressions whose bones are her
// face rig's (her own exports) keeps her rig. Null: her, by her rig.
void FaceUseCharacter(const nlohmann::json* info, const CPODScene* scene);

// Starts afresh: the random generator seeded, no caption, no music, eyes
// open. The headless driver seeds 1; the window seeds from the clock.
void FaceReset(uint32_t seed);
// Off, the face layer does nothing and her face stays as the clips leave
// it; for the benchmark that measures what the layer costs.
extern bool face_enabled;
