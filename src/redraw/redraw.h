// Drawing only what changed.
//
// A software rasteriser spends most of a frame on pixels, while from one
// tick to the next most of the picture stays as it was: the room holds still
// while she breathes, blinks and sways. Where the surface keeps its pixels
// between frames (headless, or a window shown by copying each frame), the
// room and she are drawn into a scene layer that keeps its pixels too, and
// only inside the rectangle that can have changed: where she was and is,
// and where the room's moving parts were and are. The interface is then
// laid over a copy of the layer, again only where the scene or the
// interface changed. The pixels are those of drawing everything; the window
// copies out only the changed part.
//
// Callers: the frame update (character/girl_frame.cpp) asks where she and
// the room's moving parts are drawn; the app's tick binds the scene layer
// around the frame update and its compositor shows the layer under the
// interface (app/RootViewController.cpp, app/app_loop.cpp, app/ui_draw.cpp).
#pragma once

#include <cstdint>
#include <vector>

#include "gles/gles.h"

class CPODScene;

// Pixels [x0, x1) x [y0, y1) of the surface, y up as GL counts; empty when
// x0 >= x1 or y0 >= y1.
struct PixelRect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};
bool RectEmpty(const PixelRect& r);
PixelRect RectUnion(const PixelRect& a, const PixelRect& b);
// r cut to [0, width) x [0, height).
PixelRect RectClip(const PixelRect& r, int width, int height);

// ---------------------------------------------------------------------------
// Where meshes land

// Adds to *out the pixels the mesh nodes of `scene` cover at `frame`, as
// DrawModel draws them under the projection, modelview and viewport in
// force: rigid meshes placed by their world matrix, skinned ones blended as
// drawn (the physics' current positions included), with a pixel to spare on
// every side; a node with a vertex at or behind the eye may cover any pixel.
// False when that cannot be told (positions not stored as floats): the
// caller then redraws everything.
bool SceneDrawnRect(CPODScene* scene, float frame, PixelRect* out);

// The room's moving parts. Each mesh node's placement (its world matrix
// and, when skinned, its bones') is kept from one call to the next; a node
// whose placement changed adds where it was and where it is now to *out.
// False when that cannot be told: a memo of another scene, camera or
// viewport (it starts afresh, every node placed, for the next call) or a
// node placed as SceneDrawnRect cannot. The caller then redraws everything.
struct BackdropMemo {
  struct Node {
    std::vector<float> placement;
    PixelRect rect;
  };
  const CPODScene* scene = nullptr;
  float projection[16] = {}, modelview[16] = {};
  GLint viewport[4] = {};
  std::vector<Node> nodes;
};
bool BackdropChangedRect(CPODScene* scene, float frame, BackdropMemo* memo, PixelRect* out);
// Which of the memo's nodes can draw inside r (for DrawBackdrop's `drawn`):
// the others leave no pixel there. All of them when the memo is empty.
void BackdropNodesIn(const BackdropMemo& memo, const PixelRect& r, std::vector<uint8_t>* drawn);

// ---------------------------------------------------------------------------
// The scene layer

// Binds the scene layer, made (or made again at a new size) as a colour
// texture beside the surface's own depth buffer `depth`, which the
// interface never uses; `surface` is the surface's colour texture. *fresh
// when its pixels are new: the frame update must then draw everything.
// False (nothing bound) when the driver cannot make it.
bool RedrawSceneBegin(int width, int height, GLuint depth, GLuint surface, bool* fresh);
// Copies the layer's pixels inside r into the surface's colour texture,
// exactly (a copy of the bytes).
void RedrawShowScene(const PixelRect& r, int width, int height);
// Drops the layer (the GL context current); the next Begin makes it anew.
void RedrawRelease();
