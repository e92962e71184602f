#include "app/app_trace.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "app/RootViewController.h"
#include "app/app_character.h"
#include "app/app_loop.h"
#include "app/mascot_app.h"
#include "character/girl.h"
#include "character/girl_animation.h"
#include "character/girl_camera.h"
#include "character/girl_frame.h"
#include "character/girl_sound.h"
#include "character/girl_springs.h"
#include "character/girl_touch.h"
#include "face/face.h"
#include "files/files.h"
#include "uikit/uikit.h"

namespace {
FILE* g_trace = nullptr;
bool g_trace_owned = false;
std::string g_trace_path;
// The character the trace last named: the one the command line picked at
// first, so that only changes in the run (the stored choice at start, the
// settings, a file dropped) are events.
std::string g_traced_character;
int g_trace_error = 0;  // errno of the first write that failed

std::string Dump(const nlohmann::json& j) { return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace); }

// One line; the first failure is kept for TraceClose to report.
void Write(const std::string& line) {
  if (std::fprintf(g_trace, "%s\n", line.c_str()) < 0 && !g_trace_error) g_trace_error = errno ? errno : EIO;
}

void Emit(const nlohmann::json& j) {
  if (!g_trace) return;
  Write(Dump(j));
}

// The face layer's fields, in this order after all the others.
std::string FaceFields() {
  nlohmann::ordered_json f;
  f["blink"] = face_report.blink;
  f["mouth"] = face_report.mouth;
  f["mouth_shape"] = MouthShapeName(face_report.mouth_shape);
  f["gaze"] = {face_report.gaze_yaw, face_report.gaze_pitch};
  f["caption"] = face_report.caption;
  f["music"] = face_report.music;
  f["music_gain"] = face_report.music_gain;
  f["volume"] = face_volume;
  f["captions"] = face_captions;
  return f.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// An imported character's springs and the face's strongest expression,
// after every other field: ",\"springs\":[...],\"expression\":[...]".
std::string CharacterFields() {
  nlohmann::ordered_json f;
  const GirlSpringsReport springs = GirlSpringsReadout();
  f["springs"] = {springs.chains_moving, springs.max_speed};
  f["expression"] = {face_report.expression, face_report.expression_weight};
  std::string text = f.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  text.back() = ',';
  text.front() = ',';
  text.pop_back();
  return text;
}

// The outlet names of the buttons shown on the screen on top, in drawing order.
nlohmann::json VisibleButtons() {
  nlohmann::json names = nlohmann::json::array();
  const UIViewController* top = OvantaTopScreen();
  if (!top) return names;
  for (const UIView* v : top->subviews) {
    if (v->isHidden() || !dynamic_cast<const UIButton*>(v)) continue;
    for (const auto& o : top->outlets)
      if (o.second == v) {
        names.push_back(o.first);
        break;
      }
  }
  return names;
}
}  // namespace

bool TraceOpen(const std::string& path) {
  TraceClose();
  g_trace_error = 0;
  g_trace_path = path;
  g_traced_character = AppCharacterShown();
  if (path == "-") {
    g_trace = stdout;
    return true;
  }
  g_trace = FileOpenOutput(path.c_str());
  if (!g_trace) {
    std::fprintf(stderr, "trace %s: cannot be written (%s)\n", path.c_str(), std::strerror(errno));
    return false;
  }
  g_trace_owned = true;
  return true;
}

bool TraceClose() {
  if (!g_trace) return true;
  bool ok = true;
  if (g_trace_owned) {
    ok = FileCloseOutput(g_trace);
  } else {
    ok = std::fflush(g_trace) == 0 && !std::ferror(g_trace);
    if (!ok) std::clearerr(g_trace);
  }
  if (!ok && !g_trace_error) g_trace_error = errno ? errno : EIO;
  g_trace = nullptr;
  g_trace_owned = false;
  if (g_trace_error) {
    std::fprintf(stderr, "trace %s: cannot be written (%s); it is incomplete\n",
                 g_trace_path == "-" ? "(standard output)" : g_trace_path.c_str(), std::strerror(g_trace_error));
    g_trace_error = 0;
    return false;
  }
  return true;
}

void TraceBeforeTick() {
  frame_report = FrameReport{};
  frame_report.sound_slot = -1;
  face_report.caption_appeared = false;
}

void TraceAfterTick(long tick, bool drawn) {
  if (!g_trace) return;
  if (frame_report.reloaded) Emit({{"tick", tick}, {"event", "reload"}});
  if (frame_report.reloaded && AppCharacterShown() != g_traced_character) {
    g_traced_character = AppCharacterShown();
    Emit({{"tick", tick}, {"event", "character"}, {"id", g_traced_character}});
  }
  if (frame_report.sound_slot >= 0) {
    const int set = GirlChoiceIndex(n_sound_set, 2);
    const char* file = sound_sets[set][frame_report.sound_slot];
    Emit({{"tick", tick}, {"event", "sound"}, {"slot", frame_report.sound_slot}, {"file", file ? file : ""}});
  }
  if (face_report.caption_appeared)
    Emit({{"tick", tick}, {"event", "caption"}, {"text", face_report.caption}, {"lang", face_report.caption_lang}});
  if (frame_report.picked)
    Emit({{"tick", tick},
          {"event", "pick"},
          {"x", frame_report.pick_x},
          {"y", frame_report.pick_y},
          {"hit", frame_report.pick_hit}});
  nlohmann::json j;
  j["tick"] = tick;
  j["state"] = static_cast<int>(anim_girl.state);
  j["frame"] = anim_girl.frame;
  j["bg_frame"] = anim_bg.frame;
  j["current_sound"] = current_sound;
  j["sound_is_played"] = sound_is_played;
  j["v_angle"] = v_angle;
  j["v_dist"] = v_dist;
  j["v_pan"] = {v_pan[0], v_pan[1]};
  j["v_mode"] = static_cast<int>(v_mode);
  j["continue_dancing"] = continue_dancing;
  j["screen_update_disabled"] = screen_update_disabled;
  j["n_clothes"] = n_clothes;
  j["n_hair"] = n_hair;
  j["n_skin"] = n_skin;
  j["n_sound_set"] = n_sound_set;
  j["name"] = girlname ? girlname->text() : std::string();
  // Later fields go after the ones above, which keep their text and order.
  std::string line = Dump(j);
  line.pop_back();
  line += ",\"buttons\":" + Dump(VisibleButtons());
  line += "," + FaceFields().substr(1);  // the face layer's fields, then the closing brace
  line.pop_back();
  line += MascotAppTraceFields() + CharacterFields() + "}";  // desktop mode's, then the character's
  if (!drawn) line.insert(line.size() - 1, ",\"drawn\":false");
  // The chosen dance, then the idle, last of all.
  line.insert(line.size() - 1, ",\"dance\":" + Dump(girl_dance_id) + ",\"idle\":" + Dump(girl_idle_id));
  Write(line);
  if (std::fflush(g_trace) != 0 && !g_trace_error) g_trace_error = errno ? errno : EIO;
}
