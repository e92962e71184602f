// Desktop mode's own logic, free of GL and of X: her silhouette from the
// alpha of a frame, the part of the surface the window shows around it, and
// her place on the desktop (held, falling under gravity with a small
// bounce, standing on the work area's bottom or on a window's top edge and
// going where that window goes).
//
// The app (app/mascot_app.h) feeds it every frame and the desktop's
// top-level windows, from the X server in the window or from the script's
// lines headless; the surface layer's X11 part (surface/desktop_x11.h)
// shows the result. Plain records and free functions; no clock, one call a
// tick, so a script gives the same fall every time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Pixels, y down; empty when w or h is 0.
struct MascotRect {
  int x = 0, y = 0, w = 0, h = 0;
};
bool operator==(const MascotRect& a, const MascotRect& b);
inline bool operator!=(const MascotRect& a, const MascotRect& b) { return !(a == b); }

// Alpha above this counts as her (the SHAPE mask and the trace's
// silhouette); soft edges below it are left to the compositor.
const int kMascotAlphaThreshold = 96;

struct MascotSilhouette {
  MascotRect box;  // the bounding box of her opaque pixels
  long area = 0;   // their number
  // The same pixels as rectangles: runs of each row, the equal runs of
  // consecutive rows joined into one (what the X SHAPE regions take).
  std::vector<MascotRect> rects;
};
// Of a width x height RGBA picture, top row first.
MascotSilhouette MascotSilhouetteOf(const uint8_t* rgba, int width, int height);

// The runs of each row of the picture a silhouette was last taken of, so
// that the next picture, changed only inside a rectangle (the part of the
// frame drawn again), is looked at only there: most of a frame on the
// desktop is clear pixels that stay clear.
struct MascotRows {
  int width = 0, height = 0;
  std::vector<std::vector<MascotRect>> runs;  // per row: x and w of each run, left to right
};
// As MascotSilhouetteOf for a picture that differs from the one `rows` was
// taken of only inside `changed`; `rows` then holds this one's. Rows of
// another size (or none yet): the whole picture is looked at.
MascotSilhouette MascotSilhouetteUpdate(MascotRows* rows, const uint8_t* rgba, int width, int height,
                                        const MascotRect& changed);

// The part of a surface of surface_w x surface_h the window shows: her box
// with `margin` around it. It keeps `last` while she stays inside it (a
// dance does not resize the window every tick) and grows when she leaves
// it; an empty `last` starts afresh. Never beyond the surface; empty when
// she is.
MascotRect MascotWindowPart(const MascotRect& her, const MascotRect& last, int margin, int surface_w, int surface_h);

// A top-level window of the desktop, screen pixels.
struct MascotDeskWindow {
  std::string id;
  MascotRect r;
};

enum MascotPose { kMascotStanding, kMascotHeld, kMascotFalling };
const char* MascotPoseName(MascotPose pose);

// Where her window is on the screen and what holds her up.
struct MascotPlace {
  MascotPose pose = kMascotStanding;
  int x = 0;
  float y = 0;        // the window's top; fractions while she falls
  float vy = 0;       // pixels a tick, down
  std::string on;     // the window she stands on ("": the work area's bottom)
  MascotRect on_was;  // where it was at the last tick
};

// Her feet in her window: the horizontal middle of her box and its lowest
// row (window pixels).
struct MascotFeet {
  int x = 0, bottom = 0;
};

// Picked up: she holds still wherever the window is moved.
void MascotHold(MascotPlace& p);
// Let go (or a new start): she falls from where she is.
void MascotDrop(MascotPlace& p);
// One tick. Falling: gravity, then she lands on the highest top edge under
// her feet (of `windows`, bottom to top in stacking order, her own left
// out by the caller) or the bottom of `work`, with a small bounce. Standing
// on a window: she moves with it, and falls when it is gone or no longer
// under her feet. Standing on the bottom: she falls when the work area's
// bottom moved away from her feet.
void MascotStep(MascotPlace& p, const MascotFeet& feet, const MascotRect& work,
                const std::vector<MascotDeskWindow>& windows);
