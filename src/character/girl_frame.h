// The per-tick work of the character: a pending reload, one voice tick, the
// face layer's tick (face/face.h), an imported character's springs
// (character/girl_springs.h), lighting, physics, camera, backdrop,
// character and shadow, the tap pick and the animation advance. Called once per 30 Hz tick through
// CShell::RenderScene with the GL context current; the caller presents.
#pragma once

#include <cstdint>

#include "redraw/redraw.h"

// Physics steps run (in pairs) while the network settles after a reload.
const int kSettlingSteps = 2000;

// width x height: the surface in points (the view's size; the portrait
// aspect is fixed). Only the tap pick uses it, to find the pixel under a
// touch when the surface has more than one pixel a point.
void RenderFrame(int width, int height);

// What the last RenderFrame did, for the app's trace and its tests. Reset
// at the start of every call; nothing in the frame update reads it.
struct FrameReport {
  bool reloaded;           // the scene and voices were reloaded
  int32_t sound_slot;      // slot of the line that started, -1 when none did
  bool picked;             // a tap pick was answered
  int32_t pick_x, pick_y;  // its position, points, y from the bottom edge
  bool pick_hit;           // it hit what is drawn over the backdrop
};
extern FrameReport frame_report;

// Desktop mode (app/mascot_app.h): no room behind her and no shadow, the
// surface cleared to transparent, so that what she leaves has alpha 0; a
// tap then hits where her pixels are opaque.
extern bool girl_on_desktop;

// Drawing only what changed (redraw/redraw.h). The app says before each
// frame what the framebuffer holds; RenderFrame then redraws everything, or
// only the rectangle that can have changed, and says which in frame_changed.
enum FramePixels {
  kFramePixelsNone,   // nothing kept from one frame to the next
  kFramePixelsFresh,  // a scene layer that keeps its pixels, new this frame
  kFramePixelsKept,   // the scene layer with the last frame's pixels
};
extern FramePixels frame_pixels;
struct FrameChange {
  bool all;        // everything was drawn
  PixelRect rect;  // else only this (possibly nothing)
};
extern FrameChange frame_changed;

// Whether this frame is drawn (the app's clock says, app/app_loop.h). An
// undrawn frame runs all the rest: reload, voices, face, soft parts and the
// animation advance; a tap waits for the next drawn frame, and what changed
// is told against the last frame drawn.
extern bool frame_draws;
