// Dances and idles the user adds: a VRM animation (vrm/vrma_file.h) laid
// on the character shown. Her scene's one timeline grows by the added dance's own
// lead-in, its frames (30 a second, retargeted through the humanoid by
// vrm/vrm_retarget) and its lead-out; the dance button then plays those
// frames instead of her own dance (character/girl_animation reads the clip
// ranges). An added idle is laid the same way as a lead-in and a loop the
// player plays instead of her idle. Bones the file does not turn keep
// playing her idle.
//
// The scene loading (character/girl_scene) calls DanceLay after every
// load; the command lines and the settings pick the file (app/app_dance).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "vrm/vrma_file.h"

class CPODScene;

// The added clips' frames in the grown timeline, as the clip table gives
// hers (rig/girl_clips.h): start and end of the lead-in, the dance and the
// lead-out.
struct DanceClips {
  int32_t in_start = 0, in_end = 0;
  int32_t dance_start = 0, dance_end = 0;
  int32_t out_start = 0, out_end = 0;
  // The file's expression weights (0..1) at each frame of the dance clip,
  // from dance_start on, by preset (or custom) name; empty without any.
  std::map<std::string, std::vector<float>> expressions;
  // Where its look-at track turns her gaze at each of those frames: yaw
  // (to her left) and pitch (up), degrees, from her body; empty without one.
  std::vector<std::array<float, 2>> gaze;
};

// Frames of the added lead-in and lead-out (hers take as long).
constexpr int kDanceLeadInFrames = 10;
constexpr int kDanceLeadOutFrames = 9;

// An added idle's frames: a lead-in from her idle's first pose (played
// whenever the idle starts, so it takes over from her other clips, which
// end there), then the loop, from loop_start up to loop_end, where it wraps
// back to loop_start without a seam.
struct IdleClips {
  int32_t in_start = 0, loop_start = 0, loop_end = 0;
  // The file's expression weights and gaze at each frame of the loop, from
  // loop_start, as a dance's.
  std::map<std::string, std::vector<float>> expressions;
  std::vector<std::array<float, 2>> gaze;
};
constexpr int kIdleLeadInFrames = 10;

// Reads a dance file's bytes whole (at most vrm::kMaxAnimationBytes), and
// reads them as a dance. False with the reason (one line, without the
// file's name) when it cannot be read, or used; `missing` (when given) says
// whether the file was missing or unreadable rather than refused.
bool DanceReadBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* reason, bool* missing = nullptr);
bool DanceReadFile(const std::string& path, vrm::Animation* out, std::string* reason);

// The humanoid bones of a loaded scene: an imported character's from its
// character.json (`info`), hers (null) from her bones' names.
std::map<std::string, int> DanceHumanoid(const CPODScene& scene, const nlohmann::json* info);

// Lays `dance` on `scene` (loaded, evaluable, frame 0 its rest) after its
// last frame; `clips` says where. False, with `reason`, changing nothing,
// when the scene has none of the bones the dance turns or the timeline
// would grow past what a scene may hold.
bool DanceLay(CPODScene* scene, const std::map<std::string, int>& humanoid, const vrm::Animation& dance,
              DanceClips* clips, std::string* reason);
// The same for a file played as her idle.
bool DanceLayIdle(CPODScene* scene, const std::map<std::string, int>& humanoid, const vrm::Animation& idle,
                  IdleClips* clips, std::string* reason);
