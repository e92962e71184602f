#include "character/girl_frame.h"

#include <cmath>
#include <cstring>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "character/SoundEffect.h"
#include "character/girl.h"
#include "character/girl_animation.h"
#include "character/girl_camera.h"
#include "character/girl_scene.h"
#include "character/girl_shake.h"
#include "character/girl_sound.h"
#include "character/girl_springs.h"
#include "character/girl_touch.h"
#include "face/face.h"
#include "gles/gl_check.h"
#include "math/Matrix.h"
#include "physics/boobs_physics_b0.h"
#include "render/render_mesh.h"
#include "render/simple_ogl_shadow.h"
#include "scene/ModelPOD.h"

FrameReport frame_report;
bool girl_on_desktop = false;
FramePixels frame_pixels = kFramePixelsNone;
FrameChange frame_changed = {true, {}};
bool frame_draws = true;

namespace {

// What the last frame drew where, for the next to tell what changed.
struct Drawn {
  bool known = false;
  PixelRect her;
  const CPODScene* model = nullptr;
  const float* shadow = nullptr;
  int culling = 0;
  bool desktop = false;
  BackdropMemo backdrop;
  std::vector<uint8_t> backdrop_drawn;
};
Drawn& LastDrawn() {
  static Drawn* d = new Drawn();
  return *d;
}

// Sets frame_changed and, when only part is redrawn, the scissor to it. Her
// pose, the physics and the camera are those the frame draws with. Returns
// which backdrop nodes can reach the changed part (DrawBackdrop's `drawn`),
// null when everything is drawn.
const uint8_t* ScissorToChange() {
  frame_changed = {true, {}};
  Drawn& d = LastDrawn();
  if (frame_pixels == kFramePixelsNone) {
    d = Drawn();
    return nullptr;
  }
  // A reload may put new scenes where the old ones were.
  if (frame_report.reloaded) d = Drawn();
  PixelRect her, room;
  const bool her_known = SceneDrawnRect(girl_model, anim_girl.frame, &her);
  CPODScene* const shown_room = girl_on_desktop ? nullptr : bg;
  const bool room_known = BackdropChangedRect(shown_room, anim_bg.frame, &d.backdrop, &room);
  // A tap reads the backdrop alone under the finger, so all of it is drawn.
  const bool partial = her_known && room_known && d.known && frame_pixels == kFramePixelsKept && !touch.request &&
                       d.model == girl_model && d.shadow == girl_shadow.positions && d.culling == debug_no_culling &&
                       d.desktop == girl_on_desktop;
  const PixelRect change = RectUnion(RectUnion(d.her, her), room);
  d.known = her_known;
  d.her = her;
  d.model = girl_model;
  d.shadow = girl_shadow.positions;
  d.culling = debug_no_culling;
  d.desktop = girl_on_desktop;
  if (!partial) return nullptr;
  frame_changed = {false, change};
  glEnable(GL_SCISSOR_TEST);
  glScissor(change.x0, change.y0, change.x1 - change.x0, change.y1 - change.y0);
  BackdropNodesIn(d.backdrop, change, &d.backdrop_drawn);
  return shown_room && d.backdrop_drawn.size() == bg->meshNodeCount ? d.backdrop_drawn.data() : nullptr;
}

// The soft parts' networks as built and as settled at recent reloads, one
// for each of her models: the settling is a fixed run of steps, so the same
// network comes to rest at the same bits, and a reload that comes back to a
// model (a new hair colour, skin or voice, or an outfit worn before) takes
// the settled state instead of running the steps again.
struct SettledSoftParts {
  bool valid = false;
  unsigned long long used = 0;  // reload that last took it, for replacing the oldest
  PhySkinObj built, settled;
};
constexpr int kSettledKept = kGirlOptionCount;
SettledSoftParts* Settled() {
  static SettledSoftParts* s = new SettledSoftParts[kSettledKept]();
  return s;
}

// The kept entry whose network as built equals phy_skin (without the scene
// pointer), else null.
SettledSoftParts* SameAsSettled() {
  float* mesh = phy_skin.mesh_pos;
  phy_skin.mesh_pos = nullptr;
  SettledSoftParts* found = nullptr;
  for (int i = 0; i < kSettledKept && !found; ++i) {
    SettledSoftParts& s = Settled()[i];
    // Bit for bit on purpose: the kept state stands in for running the steps,
    // so it may only be used where the steps would start from the very same
    // bits (== would take a -0 for a +0 and give a different settled pose).
    // The record is floats and 32-bit integers after an 8-byte pointer: no padding.
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
    if (s.valid && std::memcmp(&phy_skin, &s.built, sizeof phy_skin) == 0) found = &s;
  }
  phy_skin.mesh_pos = mesh;
  return found;
}

void SettleSoftParts() {
  static unsigned long long reloads = 0;
  ++reloads;
  if (SettledSoftParts* s = SameAsSettled()) {
    s->used = reloads;
    float* mesh = phy_skin.mesh_pos;
    phy_skin = s->settled;
    phy_skin.mesh_pos = mesh;
    PhySkinWriteBack(&phy_skin);
    return;
  }
  SettledSoftParts* s = &Settled()[0];
  for (int i = 1; i < kSettledKept; ++i)
    if (!Settled()[i].valid || (s->valid && Settled()[i].used < s->used)) s = &Settled()[i];
  s->built = phy_skin;
  s->built.mesh_pos = nullptr;
  for (int i = 0; i < kSettlingSteps; ++i) PhySkinFrame(&phy_skin);
  s->settled = phy_skin;
  s->settled.mesh_pos = nullptr;
  s->valid = true;
  s->used = reloads;
}

#ifdef __GLIBC__
// Free heap a reload may leave resident; a settings change leaves 7 to 12 MB.
constexpr size_t kKeptFreeHeap = size_t(16) << 20;
// Free heap whose pages were handed back at the last trim and not taken
// again since, as far as the allocator's count tells: it still counts them
// free. 0 until the first trim.
size_t g_free_handed_back = 0;
#endif

void ReloadScene() {
  // Nothing drawn is in flight when the old textures go: the driver frees
  // them (or lets her new texture be written into one) at once rather than
  // after the new ones are made.
  glFinish();
  GirlLoadScene();
  GirlLoadSounds();
  AnimationStartN(&anim_girl, ANIM_IDLE);
  AnimationStart(&anim_bg, 0, bg ? static_cast<int>(bg->frameCount) : 0, ANIM_IDLE, true);
  // Let the soft parts and the accelerometer filter come to rest as for an
  // upright, still device before anything is drawn. (The steps take no
  // force, so the two need not interleave.)
  SettleSoftParts();
  GirlSpringsSettle(girl_model, anim_girl.frame);
  for (int i = 0; i < kSettlingSteps / 2; ++i) GirlShake(0.0f, -1.0f, 0.0f);
  GirlSoundResetIdle();
  girl_reload_scene = false;
  girl_reload_sound = false;
  frame_report.reloaded = true;
#ifdef __GLIBC__
  // A reload leaves some megabytes free between blocks that stay (scenes
  // read and parsed, voices, the driver's scratch of the frames after).
  // They are kept for the next reload and frame: handed back, both took
  // them again a page fault at a time, tens of milliseconds. Reloads reuse
  // them rather than creep (her texture is made a band at a time into the
  // storage it had), so resident memory stays level; only a reload that
  // leaves more free than that (a picture made whole, a damaged bundle) hands
  // every free page back. Pages handed back are not counted again: a heap
  // whose free space lies below a block that stays (one left high by an
  // earlier start in the same process) would otherwise hand its 20 MB back
  // at every reload and fault them in again at the next, 20 to 30 ms each.
  const size_t free_heap = mallinfo2().fordblks;
  if (free_heap < g_free_handed_back) g_free_handed_back = free_heap;
  if (free_heap > g_free_handed_back + kKeptFreeHeap) {
    malloc_trim(0);
    g_free_handed_back = mallinfo2().fordblks;
  }
#endif
}

// The pixel under the tap: touches come in points, the surface may hold
// more than one pixel a point.
GLint pick_px = 0, pick_py = 0;

// The face layer's tick: what she plays, says and where the camera is.
void FaceTick(bool line_started) {
  FaceFrameInput in;
  in.scene = girl_model;
  in.anim_state = anim_girl.state;
  in.dance = AnimationAddedDance();
  // What an added dance or idle asks of the face while its clip plays.
  const bool added_clip = anim_girl.state == ANIM_DANCE || anim_girl.state == ANIM_IDLE;
  const std::map<std::string, float> asked = AnimationDanceExpressionsAt(anim_girl.frame);
  if (!asked.empty() && added_clip) in.clip_expressions = &asked;
  float gaze[2];
  if (added_clip && AnimationClipGazeAt(anim_girl.frame, gaze)) in.clip_gaze = gaze;
  in.anim_frame = anim_girl.frame;
  if (line_started) in.line_started = sound_sets[GirlChoiceIndex(n_sound_set, 2)][current_sound];
  in.line_playing = sound_is_played;
  if (sound_is_played && current_sound >= 0 && current_sound < kSoundSlots && sounds[current_sound])
    in.line_sound = sounds[current_sound]->soundID();
  in.v_angle = v_angle;
  in.v_dist = v_dist;
  in.v_pan_x = v_pan[0];
  in.v_pan_y = v_pan[1];
  in.answering_tap = sound_is_played && current_sound == kSoundSlotTouch;
  FaceFrame(in);
}

void ReadPickPixel(int line) {
  glFlush();
  glReadPixels(pick_px, pick_py, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, touch.pixel);
  const GLenum error = glGetError();
  if (error != GL_NO_ERROR) GLprintError(error, "Classes/girl", line);
}

// Lighting, camera, backdrop, her and her shadow, and the tap pick, which
// reads the drawn pixels.
void DrawFrame() {
  InitTestLight();
  glShadeModel(GL_SMOOTH);
  glFrontFace(GL_CCW);
  if (debug_no_culling)
    glDisable(GL_CULL_FACE);
  else
    glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);

  // The camera lives in the projection, so lighting stays in scene space.
  GirlSetCamera(v_angle, v_dist, v_pan[0], v_pan[1]);

  // Where she is drawn and her drawing blend the same pose: once is enough.
  SkinKeepBegin();
  const uint8_t* backdrop_nodes = ScissorToChange();
  glColor4f(1, 1, 1, 1);
  // The room's gaps are dark slate (girl_scene.cpp); on the desktop nothing.
  if (girl_on_desktop) glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (girl_on_desktop) glClearColor(0.3f, 0.3f, 0.4f, 1.0f);

  glDisable(GL_BLEND);
  if (bg && !girl_on_desktop) {
    DrawBackdrop(bg, anim_bg.frame, backdrop_nodes);
    glMatrixMode(GL_MODELVIEW);
  }
  if (touch.request) ReadPickPixel(228);

  if (girl_model) DrawModelWithEnv(girl_model, anim_girl.frame, nullptr);
  SkinKeepEnd();

  glDisable(GL_LIGHTING);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(-8.0f, 0.0f, 0.0f);
  if (!girl_on_desktop) SimpleShadowDraw(&girl_shadow);
  glEnable(GL_LIGHTING);

  if (touch.request) {
    // The pick compares the backdrop alone with everything drawn over it.
    // On the desktop the clear leaves alpha 0 and she does not.
    const int channel = girl_on_desktop ? 3 : 0;
    const uint8_t backdrop_red = touch.pixel[channel];
    ReadPickPixel(244);
    frame_report.picked = true;
    frame_report.pick_x = touch.x;
    frame_report.pick_y = touch.y;
    if (touch.pixel[channel] != backdrop_red) {
      touch.hit = true;
      sound_touch_timer = 1;
      frame_report.pick_hit = true;
    }
    touch.request = false;
  }

  glDisable(GL_SCISSOR_TEST);
}

}  // namespace

void RenderFrame(int width, int height) {
  frame_report = FrameReport{};
  frame_report.sound_slot = -1;

  if (girl_reload_scene) ReloadScene();

  // A tap outside the surface (a window edge, a scripted point) has no pixel
  // to read; it is answered as a miss rather than read from undefined memory.
  if (touch.request) {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const double sx = width > 0 ? static_cast<double>(viewport[2]) / width : 1.0;
    const double sy = height > 0 ? static_cast<double>(viewport[3]) / height : 1.0;
    pick_px = static_cast<GLint>(std::floor(touch.x * sx));
    pick_py = static_cast<GLint>(std::floor(touch.y * sy));
    if (pick_px < viewport[0] || pick_py < viewport[1] || pick_px >= viewport[0] + viewport[2] ||
        pick_py >= viewport[1] + viewport[3]) {
      touch.request = false;
      frame_report.picked = true;
      frame_report.pick_x = touch.x;
      frame_report.pick_y = touch.y;
    }
  }

  const bool was_playing = sound_is_played;
  GirlSoundFrame();
  const bool started = !was_playing && current_sound >= 0 && current_sound < kSoundSlots && sounds[current_sound];
  if (started) frame_report.sound_slot = current_sound;
  FaceTick(started);
  GirlSpringsTick(girl_model, anim_girl.frame, &phy.force.x, v_angle);

  PhySkinFrame(&phy_skin);
  PhySkinFrame(&phy_skin);
  PhySkinForce(&phy_skin, -phy.force.x, phy.force.y, phy.force.z);

  if (frame_draws) DrawFrame();
  Animate(&anim_bg);
  Animate(&anim_girl);

  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
}
