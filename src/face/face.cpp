#include "face/face.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "face/face_expressions.h"
#include "face/voice_lines.h"
#include "files/bundle.h"
#include "files/files.h"
#include "rig/girl_clips.h"
#include "scene/ModelPOD.h"

FaceReport face_report;
int32_t face_volume = 3;
bool face_captions = true;
bool face_enabled = true;

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kDeg = 180.0f / kPi;
constexpr int kTicksPerSecond = 30;

float Clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }
// Moves v towards target by at most step.
float Toward(float v, float target, float step) {
  return v < target ? (v + step < target ? v + step : target) : (v - step > target ? v - step : target);
}

// The layer's own random numbers: xorshift, seeded by FaceReset.
uint32_t g_random = 1;
uint32_t Random() {
  g_random ^= g_random << 13;
  g_random ^= g_random >> 17;
  g_random ^= g_random << 5;
  return g_random;
}
int RandomInt(int lo, int hi) { return lo + static_cast<int>(Random() % static_cast<uint32_t>(hi - lo + 1)); }
float RandomFloat(float lo, float hi) { return lo + (hi - lo) * (Random() % 10001) / 10000.0f; }

long g_tick = 0;

// ---- Blink -------------------------------------------------------------------------
// 2 to 6 seconds apart; a blink closes in two ticks and opens in two or
// three (100 to 200 ms), held shut at most one tick; now and then a second
// follows at once.

const float kBlinkQuick[] = {0.6f, 1.0f, 0.45f, 0.1f};
const float kBlinkSlow[] = {0.55f, 1.0f, 0.7f, 0.35f, 0.1f};
struct Blink {
  int wait = 0;   // ticks to the next blink, counted from the last one's start
  int pause = 0;  // ticks open before the second blink of a double
  bool twice = false;
  const float* curve = nullptr;
  int length = 0, at = 0;
} g_blink;

void BlinkStart() {
  const bool slow = Random() % 2;
  g_blink.curve = slow ? kBlinkSlow : kBlinkQuick;
  g_blink.length = slow ? 5 : 4;
  g_blink.at = 0;
}

float BlinkTick() {
  Blink& b = g_blink;
  --b.wait;
  if (!b.curve) {
    if (b.pause > 0) {
      if (--b.pause == 0) BlinkStart();
    } else if (b.wait <= 0) {
      b.wait = RandomInt(2 * kTicksPerSecond, 6 * kTicksPerSecond);
      b.twice = Random() % 100 < 15;
      BlinkStart();
    }
  }
  if (!b.curve) return 0;
  const float v = b.curve[b.at++];
  if (b.at >= b.length) {
    b.curve = nullptr;
    if (b.twice) {
      b.twice = false;
      b.pause = 3;  // two ticks open, then the second
    }
  }
  return v;
}

// ---- Gaze ---------------------------------------------------------------------------

// Where her eyes are in the model, near enough for aiming from them.
const float kEyesAt[3] = {0.0f, 324.0f, 8.0f};
constexpr long kPointerStill = 5 * kTicksPerSecond;

struct Gaze {
  bool pointer = false;
  float x = 0, y = 0;
  long moved = -1000000;  // tick of the last move
  float eye_yaw = 0, eye_pitch = 0, head_yaw = 0, head_pitch = 0;
  float weight = 1;  // fades out while a clip moves her head
  int glance_wait = 60, glance_left = 0;
  float glance_yaw = 0, glance_pitch = 0;
} g_gaze;

// The frame update's projection: 70 taken as radians, a 2:3 view.
const float kFocal = 1.0f / std::tan(35.0f), kAspect = 2.0f / 3.0f;

// The model's point p in camera space for the camera of `in`.
void ToCamera(const FaceFrameInput& in, const float p[3], float c[3]) {
  const float a = in.v_angle / kDeg, cs = std::cos(a), sn = std::sin(a);
  c[0] = cs * p[0] + sn * p[2] + in.v_pan_x;
  c[1] = p[1] + in.v_pan_y;
  c[2] = -sn * p[0] + cs * p[2] - in.v_dist;
}
// A direction in camera space back in the model.
void FromCamera(const FaceFrameInput& in, const float c[3], float d[3]) {
  const float a = in.v_angle / kDeg, cs = std::cos(a), sn = std::sin(a);
  d[0] = cs * c[0] - sn * c[2];
  d[1] = c[1];
  d[2] = sn * c[0] + cs * c[2];
}

// Where she looks, relative to her body. She faces the viewer (level, to
// where the camera is round her) and looks off that by as much as the
// pointer is off her eyes on the screen, as if the screen stood half way
// between her and the camera: right of her eyes is to her left (yaw > 0),
// above them is up (pitch > 0); a pointer on her eyes, or none, is you.
void Aim(const FaceFrameInput& in, bool pointer, float* yaw, float* pitch) {
  float eyes[3];
  ToCamera(in, kEyesAt, eyes);
  const float depth = -eyes[2] > 1.0f ? -eyes[2] : 1.0f;
  float dx = 0, dy = 0;
  if (pointer) {
    const float ex = 160.0f * (1.0f + kFocal / kAspect * eyes[0] / depth);
    const float ey = 240.0f * (1.0f - kFocal * eyes[1] / depth);
    dx = (g_gaze.x - ex) * depth * kAspect / (kFocal * 160.0f);
    dy = (ey - g_gaze.y) * depth / (kFocal * 240.0f);
  }
  // Towards the camera, level: in camera space straight back at it.
  const float toward[3] = {-eyes[0], 0.0f, -eyes[2]};
  float t[3], right[3];
  FromCamera(in, toward, t);
  const float flat = std::sqrt(t[0] * t[0] + t[2] * t[2]);
  const float look = 0.5f * depth;
  const float screenRight[3] = {1, 0, 0};
  FromCamera(in, screenRight, right);
  const float d[3] = {t[0] / (flat > 0 ? flat : 1) * look + right[0] * dx, dy,
                      t[2] / (flat > 0 ? flat : 1) * look + right[2] * dx};
  *yaw = std::atan2(d[0], d[2]) * kDeg;
  *pitch = std::atan2(d[1], std::sqrt(d[0] * d[0] + d[2] * d[2])) * kDeg;
}

void GazeTick(const FaceFrameInput& in, FacePose* pose) {
  Gaze& g = g_gaze;
  float yaw, pitch;
  const bool pointer = g.pointer && g_tick - g.moved < kPointerStill;
  Aim(in, pointer, &yaw, &pitch);
  if (in.clip_gaze) {
    yaw = in.clip_gaze[0], pitch = in.clip_gaze[1];
  } else if (!pointer) {
    // At you, glancing aside now and then.
    if (g.glance_left > 0) {
      --g.glance_left;
    } else if (--g.glance_wait <= 0) {
      g.glance_left = RandomInt(12, 36);
      g.glance_wait = RandomInt(45, 130);
      g.glance_yaw = RandomFloat(-10, 10);
      g.glance_pitch = RandomFloat(-5, 4);
    }
    if (g.glance_left > 0) yaw += g.glance_yaw, pitch += g.glance_pitch;
  }
  yaw = Clamp(yaw, -60, 60);
  pitch = Clamp(pitch, -45, 45);
  // The head takes part, the eyes the rest; the eyes get there first.
  const float head_yaw = Clamp(0.55f * yaw, -35, 35), head_pitch = Clamp(0.5f * pitch, -20, 20);
  const float eye_yaw = Clamp(yaw - head_yaw, -25, 25), eye_pitch = Clamp(pitch - head_pitch, -25, 25);
  g.eye_yaw += (eye_yaw - g.eye_yaw) * 0.45f;
  g.eye_pitch += (eye_pitch - g.eye_pitch) * 0.45f;
  g.head_yaw += (head_yaw - g.head_yaw) * 0.18f;
  g.head_pitch += (head_pitch - g.head_pitch) * 0.18f;
  // The dance and the shake move her head themselves.
  // A clip that says where to look (its gaze track) leads through the gaze.
  const bool clip_leads = !in.clip_gaze && (in.anim_state == ANIM_DANCE_IN || in.anim_state == ANIM_DANCE ||
                                            in.anim_state == ANIM_DANCE_OUT || in.anim_state == ANIM_SHAKE);
  g.weight = Toward(g.weight, clip_leads ? 0.0f : 1.0f, clip_leads ? 1.0f / 8 : 1.0f / 15);
  pose->eye_yaw = g.eye_yaw * g.weight;
  pose->eye_pitch = g.eye_pitch * g.weight;
  pose->head_yaw = g.head_yaw * g.weight;
  pose->head_pitch = g.head_pitch * g.weight;
}

// ---- Lip sync ---------------------------------------------------------------------

// A bundle's text file (at most 1 MB), read as every input is. False, with
// "<path>: what is wrong" in *problem, when it is missing, unreadable or
// too large.
bool ReadBundleText(const char* name, const char* type, std::string* text, std::string* problem) {
  constexpr uint64_t kMaxTextBytes = 1u << 20;
  text->clear();
  std::string path;
  if (!BundlePathForResource(name, type, path)) {
    *problem = BundleWhyNot(name, type);
    return false;
  }
  struct stat st {};
  const FileStatus read = FileReadText(path.c_str(), kMaxTextBytes, text, &st);
  if (read == kFileOk) return true;
  *problem = path + ": " + (read == kFileTooLarge ? std::string("larger than 1 MB") : FileStatusText(read, st, errno));
  text->clear();
  return false;
}

// What a voice line's mouth does: its stored timing, or failing that its
// loudness tick by tick.
struct LineMouth {
  std::vector<MouthKey> keys;
  std::vector<float> loudness;
};
std::map<std::string, LineMouth> g_mouths;
const LineMouth* g_line = nullptr;
long g_line_start = 0;
float g_jaw = 0, g_width = 0, g_lip = 0;
// The mouth as expression presets: the last open shape's and how far open;
// and the last vowel's (the shape's where the timing names none), which an
// imported character shows: her face has a shape of its own for fewer vowels.
const char* g_mouth_preset = "aa";
const char* g_vowel_preset = "aa";
float g_mouth_open = 0;

const LineMouth& MouthOf(const std::string& name) {
  auto it = g_mouths.find(name);
  if (it != g_mouths.end()) return it->second;
  LineMouth m;
  std::string path, error, text;
  if (!ReadBundleText(name.c_str(), "lips", &text, &error)) {
    std::fprintf(stderr, "Lips %s; her mouth follows the voice's loudness\n", error.c_str());
  } else if (BundlePathForResource(name.c_str(), "lips", path) && !LipsParse(text, &m.keys, &error)) {
    std::fprintf(stderr, "%s:%s\n", path.c_str(), error.c_str());
    m.keys.clear();
  } else if (m.keys.empty()) {
    std::fprintf(stderr, "Lips %s: no mouth shapes in it; her mouth follows the voice's loudness\n", path.c_str());
  }
  if (m.keys.empty() && BundlePathForResource(name.c_str(), "wav", path)) {
    SoundPCM pcm;
    if (SoundLoadWAV(path.c_str(), &pcm) == kSoundOK && pcm.rate > 0) {
      // Loudness in windows of one tick, mapped from -45..-15 dBFS to shut..open.
      const uint32_t window = pcm.rate / kTicksPerSecond ? pcm.rate / kTicksPerSecond : 1;
      for (uint32_t at = 0; at < pcm.frames; at += window) {
        double sum = 0;
        uint32_t n = 0;
        for (uint32_t i = at; i < pcm.frames && i < at + window; ++i, ++n) {
          const float v = pcm.samples[static_cast<size_t>(i) * pcm.channels];
          sum += static_cast<double>(v) * v;
        }
        const double db = 10.0 * std::log10(sum / (n ? n : 1) + 1e-12);
        m.loudness.push_back(Clamp(static_cast<float>((db + 45.0) / 30.0), 0.0f, 1.0f));
      }
    }
    SoundPCMFree(&pcm);
  }
  return g_mouths.emplace(name, std::move(m)).first->second;
}

void LipsTick(const FaceFrameInput& in, FacePose* pose) {
  if (in.line_started) {
    g_line = &MouthOf(in.line_started);
    g_line_start = g_tick;
  }
  MouthShape shape = kMouthRest;
  float open = 0;
  char vowel = 0;
  if (in.line_playing && g_line) {
    // Where the voice is, as heard; the ticks since it started without one.
    double at = SoundServicePosition(in.line_sound);
    if (at < 0) at = static_cast<double>(g_tick - g_line_start) / kTicksPerSecond;
    if (!g_line->keys.empty()) {
      const MouthKey k = LipsAt(g_line->keys, static_cast<int>(at * 1000.0));
      shape = k.shape;
      open = k.open;
      vowel = k.vowel;
    } else if (!g_line->loudness.empty()) {
      const size_t i = static_cast<size_t>(at * kTicksPerSecond);
      open = i < g_line->loudness.size() ? g_line->loudness[i] : 0.0f;
      shape = open > 0.55f ? kMouthA : (open > 0.15f ? kMouthE : kMouthRest);
    }
  } else {
    g_line = nullptr;
  }
  // Each part of the mouth moves at most a third of its way a tick: at rest
  // within three ticks of the line's end.
  FacePose target;
  FaceMouthPose(&target, shape, open);
  constexpr float kStep = 0.34f;
  g_jaw = Toward(g_jaw, target.jaw, kStep);
  g_width = Toward(g_width, target.width, kStep);
  g_lip = Toward(g_lip, target.lip, kStep);
  pose->jaw = g_jaw;
  pose->width = g_width;
  pose->lip = g_lip;
  const bool opens = shape == kMouthA || shape == kMouthO || shape == kMouthE;
  if (opens) g_mouth_preset = shape == kMouthA ? "aa" : shape == kMouthO ? "oh" : "ee";
  if (opens) {
    static const char* const kVowels[][2] = {{"a", "aa"}, {"i", "ih"}, {"u", "ou"}, {"e", "ee"}, {"o", "oh"}};
    g_vowel_preset = g_mouth_preset;
    for (const auto& v : kVowels)
      if (vowel == v[0][0]) g_vowel_preset = v[1];
  }
  g_mouth_open = Toward(g_mouth_open, opens ? open : 0.0f, kStep);
  face_report.mouth = g_jaw > 0 ? g_jaw : 0;
  face_report.mouth_shape = shape;
}

// ---- Captions -------------------------------------------------------------------------

std::vector<CaptionLine> g_captions;
bool g_captions_read = false;
int g_caption_left = 0;

void CaptionTick(const FaceFrameInput& in) {
  if (!g_captions_read) {
    g_captions_read = true;
    std::string path, error, text;
    if (!ReadBundleText("captions", "txt", &text, &error))
      std::fprintf(stderr, "Captions %s; no captions are shown\n", error.c_str());
    else if (BundlePathForResource("captions", "txt", path) && !CaptionsParse(text, &g_captions, &error))
      std::fprintf(stderr, "%s:%s\n", path.c_str(), error.c_str());
    else if (g_captions.empty())
      std::fprintf(stderr, "Captions %s: no captions in it; none are shown\n", path.c_str());
  }
  face_report.caption_appeared = false;
  if (in.line_started && face_captions) {
    if (const CaptionLine* c = CaptionFind(g_captions, in.line_started)) {
      // The line's length and about a second to finish reading.
      const int ticks = in.line_sound ? SoundServiceDurationTicks(in.line_sound) : 0;
      g_caption_left = (ticks > 0 ? ticks : 3 * kTicksPerSecond) + kTicksPerSecond;
      face_report.caption = c->text;
      face_report.caption_lang = c->lang;
      face_report.caption_appeared = true;
      return;
    }
  }
  if (g_caption_left > 0 && --g_caption_left == 0) {
    face_report.caption.clear();
    face_report.caption_lang.clear();
  }
}

// ---- Dance music ------------------------------------------------------------------------
// One loop of the music is kMusicPasses passes of the dance; at the first
// frame of each pass the music is put back where that pass begins if it has
// drifted (a late tick slows her, never the music).

constexpr double kPassSeconds = static_cast<double>(kDancePassFrames) / kTicksPerSecond;
constexpr double kMusicDrift = 0.04;

struct Music {
  SystemSoundID sound = 0;
  bool looked = false;  // the bundle was asked for it
  int passes = 1;       // dance passes in one loop of the music
  bool playing = false;
  int pass = 0;
  int last_state = 0;
  float duck = 1;
} g_music;

double MusicLoop() { return g_music.passes * kPassSeconds; }

// The clip of a dance state playing: the added dance's, or hers.
const AnimClip& DanceClip(const FaceFrameInput& in) {
  return in.dance ? in.dance[in.anim_state - ANIM_DANCE_IN] : GirlClip(static_cast<AnimState>(in.anim_state));
}
int DanceFirstDrawnFrame(const FaceFrameInput& in) {
  return in.dance ? in.dance[ANIM_DANCE - ANIM_DANCE_IN].start_frame + 1 : kDanceFirstDrawnFrame;
}

// Where the music should be for the frame drawn now.
double MusicAt(const FaceFrameInput& in) {
  const double first = DanceFirstDrawnFrame(in) + 0.001;
  double passAt = (g_music.pass % g_music.passes) * kPassSeconds;
  if (in.dance) {
    // An added dance's pass takes the whole number of beats nearest its length.
    const AnimClip& d = in.dance[ANIM_DANCE - ANIM_DANCE_IN];
    const int frames = d.end_frame - d.start_frame - 1;
    const int beats = std::max(1, (frames + kDanceBeatFrames / 2) / kDanceBeatFrames);
    const long loopBeats = static_cast<long>(g_music.passes) * kDanceBeatsPerPass;
    passAt =
        static_cast<double>((static_cast<long>(g_music.pass) * beats) % loopBeats) * kDanceBeatFrames / kTicksPerSecond;
  }
  double at = (in.anim_frame - first) / kTicksPerSecond + passAt;
  at = std::fmod(at, MusicLoop());
  return at < 0 ? at + MusicLoop() : at;
}

void MusicTick(const FaceFrameInput& in) {
  Music& m = g_music;
  const bool dancing = in.anim_state == ANIM_DANCE_IN || in.anim_state == ANIM_DANCE;
  const bool leaving = in.anim_state == ANIM_DANCE_OUT && m.playing;
  if (!dancing && !leaving) {
    if (m.playing) SoundServiceStop(m.sound);
    m.playing = false;
    m.last_state = in.anim_state;
    face_report.music = false;
    face_report.music_gain = 0;
    return;
  }
  if (!m.looked) {
    m.looked = true;
    // Without music she dances in silence, which one line says and the
    // trace shows (music false).
    std::string path, problem;
    if (!BundlePathForResource("dance", "wav", path)) {
      problem = BundleWhyNot("dance", "wav");
    } else {
      const int32_t status = SoundServiceCreate(path.c_str(), &m.sound);
      if (status != kSoundOK)
        problem = path + ": " + SoundProblem(path.c_str(), status);
      else if (SoundServiceSeconds(m.sound) <= 0)
        problem = path + ": no samples";
    }
    if (!problem.empty()) {
      std::fprintf(stderr, "Music %s; she dances without music\n", problem.c_str());
      if (m.sound) SoundServiceDispose(m.sound);
      m.sound = 0;
    }
    const int ticks = m.sound ? SoundServiceDurationTicks(m.sound) : 0;
    m.passes = ticks >= kDancePassFrames ? (ticks + kDancePassFrames / 2) / kDancePassFrames : 1;
  }
  const bool pass_start = in.anim_state == ANIM_DANCE && in.anim_frame < DanceFirstDrawnFrame(in) + 0.5f;
  if (in.anim_state == ANIM_DANCE_IN) m.pass = 0;
  if (pass_start && m.last_state == ANIM_DANCE) ++m.pass;
  m.last_state = in.anim_state;
  if (m.sound) {
    const double want = MusicAt(in);
    if (!m.playing) {
      SoundServicePlayLoop(m.sound, want);
    } else if (pass_start) {
      double off = SoundServicePosition(m.sound) - want;
      off -= MusicLoop() * std::floor(off / MusicLoop() + 0.5);
      if (std::fabs(off) > kMusicDrift) SoundServicePlayLoop(m.sound, want);
    }
    // In with the lead-in, out over the lead-out, lower while she speaks.
    float gain = 1;
    const AnimClip& clip = DanceClip(in);
    const float through = (in.anim_frame - clip.start_frame) / (clip.end_frame - clip.start_frame);
    if (in.anim_state == ANIM_DANCE_IN) gain = Clamp(0.3f + through, 0, 1);
    if (in.anim_state == ANIM_DANCE_OUT) gain = Clamp(1.0f - through, 0, 1);
    m.duck = Toward(m.duck, in.line_playing ? 0.35f : 1.0f, 0.12f);
    SoundServiceSetGain(m.sound, gain * m.duck);
    face_report.music_gain = gain * m.duck;
  }
  m.playing = true;
  face_report.music = m.sound != 0;
}

FaceRig g_rig;
bool g_started = false;
FaceCharacter g_character;  // an imported character's face, else no scene
float g_happy = 0;

// What the face asks of the expression presets this tick. The look presets
// follow the eyes within the character's range maps, or 25 degrees for her.
std::map<std::string, float> Wanted(const FacePose& pose, bool answering_tap) {
  std::map<std::string, float> w;
  w["blink"] = pose.lids;
  w[g_character.scene ? g_vowel_preset : g_mouth_preset] = g_mouth_open;
  g_happy = Toward(g_happy, answering_tap ? 1.0f : 0.0f, 1.0f / 6);
  w["happy"] = g_happy;
  FaceRangeMap her;
  her.input = 25;
  her.output = 1;
  const bool theirs = g_character.scene && g_character.look_expressions;
  const FaceRangeMap& left = theirs ? g_character.outer : her;
  const FaceRangeMap& right = theirs ? g_character.inner : her;
  const FaceRangeMap& up = theirs ? g_character.up : her;
  const FaceRangeMap& down = theirs ? g_character.down : her;
  w["lookLeft"] = pose.eye_yaw > 0 ? left.At(pose.eye_yaw) : 0.0f;
  w["lookRight"] = pose.eye_yaw < 0 ? right.At(pose.eye_yaw) : 0.0f;
  w["lookUp"] = pose.eye_pitch > 0 ? up.At(pose.eye_pitch) : 0.0f;
  w["lookDown"] = pose.eye_pitch < 0 ? down.At(pose.eye_pitch) : 0.0f;
  return w;
}

// Below this a preset counts as not shown.
constexpr float kShownWeight = 0.01f;

// The strongest of what the face asks, as the character's presets' rules
// leave it (`ruled`, null for her).
void ReportStrongest(const std::map<std::string, float>& wanted, const std::map<std::string, float>* ruled) {
  std::map<std::string, float> weights = wanted;
  if (ruled)
    for (const auto& p : *ruled) weights[p.first] = p.second;
  face_report.expression.clear();
  face_report.expression_weight = 0;
  for (const auto& p : weights)
    if (p.first != "lookAt" && p.second >= kShownWeight && p.second > face_report.expression_weight) {
      face_report.expression = p.first;
      face_report.expression_weight = p.second;
    }
}

}  // namespace

void FaceFrame(const FaceFrameInput& in) {
  if (!face_enabled) {
    if (in.scene) in.scene->SetPoseLayer(nullptr);
    return;
  }
  if (!g_started) FaceReset(1);
  ++g_tick;
  FacePose pose;
  pose.lids = BlinkTick();
  GazeTick(in, &pose);
  LipsTick(in, &pose);
  CaptionTick(in);
  MusicTick(in);
  face_report.gaze_yaw = pose.eye_yaw + pose.head_yaw;
  face_report.gaze_pitch = pose.eye_pitch + pose.head_pitch;
  std::map<std::string, float> wanted = Wanted(pose, in.answering_tap);
  if (in.clip_expressions)
    for (const auto& e : *in.clip_expressions) {
      float& w = wanted[e.first];
      w = std::max(w, std::min(std::max(e.second, 0.0f), 1.0f));
    }
  // Her rig has lids of its own: a clip's blink shuts them too.
  pose.lids = std::max(pose.lids, wanted["blink"]);
  face_report.blink = pose.lids;
  if (in.scene && g_character.scene == in.scene) {
    const std::map<std::string, float> weights = FaceExpressionWeights(g_character, wanted);
    ReportStrongest(wanted, &weights);
    FaceCharacterApply(&g_character, in.scene, pose, weights);
    return;
  }
  ReportStrongest(wanted, nullptr);
  if (in.scene && g_rig.scene != in.scene) FaceRigBind(&g_rig, in.scene);
  if (in.scene) FaceRigApply(&g_rig, in.scene, pose);
}

void FaceUseCharacter(const nlohmann::json* info, const CPODScene* scene) {
  g_character = FaceCharacter();
  if (!info || !scene) return;
  std::string error;
  if (!FaceCharacterRead(*info, scene, &g_character, &error)) {
    std::fprintf(stderr, "Character: %s; its face follows her rig where it has her bones\n", error.c_str());
    g_character = FaceCharacter();
    return;
  }
  bool binds = false;
  for (const FaceExpression& e : g_character.presets) binds = binds || !e.binds.empty();
  FaceRig rig;
  if (!binds && FaceRigBind(&rig, scene)) g_character = FaceCharacter();
}

void FaceSetVolume(int32_t level) {
  face_volume = level < 0 ? 0 : (level >= kFaceVolumeLevels ? kFaceVolumeLevels - 1 : level);
  // Roughly even steps to the ear; high is the loudness there always was.
  static const float kGain[kFaceVolumeLevels] = {0.0f, 0.2f, 0.5f, 1.0f};
  SoundServiceSetMasterGain(kGain[face_volume]);
}

void FaceToggleMute() {
  static int32_t last = kFaceVolumeLevels - 1;
  if (face_volume > 0) {
    last = face_volume;
    FaceSetVolume(0);
  } else {
    FaceSetVolume(last);
  }
}

void FaceSetCaptions(bool on) {
  face_captions = on;
  if (!on) {
    g_caption_left = 0;
    face_report.caption.clear();
    face_report.caption_lang.clear();
  }
}

bool FaceOnView(float v_angle, float v_dist, float pan_x, float pan_y, float* x, float* y, float* reach) {
  // Her head's middle, a little above the eyes, in camera space.
  const float a = v_angle / kDeg, cs = std::cos(a), sn = std::sin(a);
  const float hx = kEyesAt[0], hy = kEyesAt[1] + 6.0f, hz = kEyesAt[2] - 6.0f;
  const float cx = cs * hx + sn * hz + pan_x, cy = hy + pan_y, cz = -sn * hx + cs * hz - v_dist;
  if (cz > -1.0f) return false;
  *x = 160.0f * (1.0f + kFocal / kAspect * cx / -cz);
  *y = 240.0f * (1.0f - kFocal * cy / -cz);
  *reach = 240.0f * kFocal * 34.0f / -cz;  // her head with its hair, about 34 units round
  return true;
}

void FacePointer(float x, float y) {
  if (!g_gaze.pointer || x != g_gaze.x || y != g_gaze.y) g_gaze.moved = g_tick;
  g_gaze.pointer = true;
  g_gaze.x = x;
  g_gaze.y = y;
}

void FacePointerNone() { g_gaze.pointer = false; }

void FaceReset(uint32_t seed) {
  g_started = true;
  g_random = seed ? seed : 1;
  g_tick = 0;
  g_blink = Blink();
  g_blink.wait = RandomInt(2 * kTicksPerSecond, 6 * kTicksPerSecond);
  g_gaze = Gaze();
  g_line = nullptr;
  g_mouths.clear();
  g_jaw = g_width = g_lip = 0;
  g_mouth_preset = g_vowel_preset = "aa";
  g_mouth_open = 0;
  g_happy = 0;
  g_captions.clear();
  g_captions_read = false;
  g_caption_left = 0;
  if (g_music.playing) SoundServiceStop(g_music.sound);
  g_music = Music();
  g_rig = FaceRig();
  face_report = FaceReport();
}
