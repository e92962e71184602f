// What the files of the interface drawing share (app/ui_*.cpp, behind
// app/ui_draw.h): the kit's one state and what each file does for the
// others. Each file has one job: ui_draw.cpp drives the frames and clicks,
// ui_widgets.cpp draws the screens and the overlay, ui_render.cpp turns
// ImGui's output into GL ES 1.1 draws, ui_damage.cpp tells what changed
// over the scene layer, ui_fonts.cpp builds the fonts, ui_textures.cpp
// keeps the artwork's textures and ui_hit.cpp answers what is under a
// point. Not for any other caller.
#pragma once

#include <imgui.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "gles/gles.h"
#include "redraw/redraw.h"
#include "uikit/uikit.h"

namespace uidraw {

struct KitState {
  ImGuiContext* ctx = nullptr;
  GLuint font_texture = 0;
  ImFont* title_font = nullptr;
  float width = 320, height = 480, scale = 1;
  float font_scale = 1;  // the pixel scale the fonts were rasterised at
  std::map<std::string, GLuint> textures;
  std::vector<std::function<void()>> pending;
  const UIOverlay* overlay = nullptr;
  // What the last frame over the scene layer drew, piece by piece (see
  // UIKitFrameOverScene); invalid after a frame drawn straight over the last.
  struct Piece {
    uint64_t hash;
    PixelRect rect;
    bool operator<(const Piece& o) const { return hash < o.hash; }
  };
  std::vector<Piece> pieces;
  bool pieces_valid = false;
};
extern KitState kit;

// ui_render.cpp: the size in pixels of the framebuffer ImGui's output is for.
int FramebufferWidth(const ImDrawData* data);
int FramebufferHeight(const ImDrawData* data);

// ui_widgets.cpp: starts an ImGui frame and builds the visible screens of
// `nav` and the overlay in it; the caller renders or ends the frame.
void Build(UINavigationController& nav);

// ui_draw.cpp: runs the actions of the controls clicked in the frame just
// built. Whether any ran.
bool RunPending();

// ui_fonts.cpp: a font's size in points (fonts are rasterised at the pixel
// scale, text drawn straight into a draw list is sized in points); the body
// font (the first one built) and the bold one, outside a frame too; the
// fonts rasterised at `scale` pixels a point (false without a texture).
float PointSize(const ImFont* font);
ImFont* BodyFont();
ImFont* TitleFont();
bool BuildFonts(float scale);

// ui_textures.cpp: drops the artwork's textures.
void ForgetTextures();

}  // namespace uidraw
