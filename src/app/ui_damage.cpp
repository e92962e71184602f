// Drawing the interface over the scene layer only where something changed:
// ImGui's output cut into pieces, each draw command hashed with the pixels
// it can touch, and the pieces of this frame held against the last one's.
#include "app/ui_draw.h"

#include <imgui.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "app/ui_internal.h"
#include "app/ui_render.h"
#include "redraw/redraw.h"

namespace uidraw {
namespace {

// The pieces of ImGui's output: each draw command's texture, clip and
// vertices hashed, with the pixels it can touch (GL's y up, a pixel to
// spare). False when a command is a callback, whose drawing is unknown.
bool Pieces(const ImDrawData* data, std::vector<KitState::Piece>* out) {
  out->clear();
  const int fb_h = FramebufferHeight(data);
  const ImVec2 pos = data->DisplayPos, scale = data->FramebufferScale;
  for (int n = 0; n < data->CmdListsCount; ++n) {
    const ImDrawList* list = data->CmdLists[n];
    for (const ImDrawCmd& cmd : list->CmdBuffer) {
      if (cmd.UserCallback) return false;
      uint64_t h = 1469598103934665603ull;
      auto mix = [&h](const void* p, size_t size) {
        const unsigned char* b = static_cast<const unsigned char*>(p);
        for (size_t i = 0; i < size; ++i) h = (h ^ b[i]) * 1099511628211ull;
      };
      const ImTextureID tex = cmd.GetTexID();
      mix(&tex, sizeof tex);
      mix(&cmd.ClipRect, sizeof cmd.ClipRect);
      float lo[2] = {FLT_MAX, FLT_MAX}, hi[2] = {-FLT_MAX, -FLT_MAX};
      for (unsigned i = 0; i < cmd.ElemCount; ++i) {
        const ImDrawVert& v = list->VtxBuffer[list->IdxBuffer[static_cast<int>(cmd.IdxOffset + i)] + cmd.VtxOffset];
        mix(&v.pos, sizeof v.pos);
        mix(&v.uv, sizeof v.uv);
        mix(&v.col, sizeof v.col);
        lo[0] = std::min(lo[0], v.pos.x);
        lo[1] = std::min(lo[1], v.pos.y);
        hi[0] = std::max(hi[0], v.pos.x);
        hi[1] = std::max(hi[1], v.pos.y);
      }
      if (cmd.ElemCount == 0) continue;
      // Within the clip rectangle and the triangles' extent, both in points.
      const float x0 = std::max(lo[0], cmd.ClipRect.x) - pos.x, x1 = std::min(hi[0], cmd.ClipRect.z) - pos.x;
      const float y0 = std::max(lo[1], cmd.ClipRect.y) - pos.y, y1 = std::min(hi[1], cmd.ClipRect.w) - pos.y;
      if (!(x1 > x0 && y1 > y0)) continue;
      const PixelRect r = {
          static_cast<int>(std::floor(x0 * scale.x)) - 1, fb_h - static_cast<int>(std::ceil(y1 * scale.y)) - 1,
          static_cast<int>(std::ceil(x1 * scale.x)) + 1, fb_h - static_cast<int>(std::floor(y0 * scale.y)) + 1};
      mix(&r, sizeof r);
      out->push_back({h, r});
    }
  }
  std::sort(out->begin(), out->end());
  return true;
}

// Where two sorted piece lists differ: the pieces only one of them has.
PixelRect PiecesChanged(const std::vector<KitState::Piece>& a, const std::vector<KitState::Piece>& b) {
  PixelRect r;
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (j == b.size() || (i < a.size() && a[i].hash < b[j].hash)) {
      r = RectUnion(r, a[i++].rect);
    } else if (i == a.size() || b[j].hash < a[i].hash) {
      r = RectUnion(r, b[j++].rect);
    } else {
      ++i;
      ++j;
    }
  }
  return r;
}

}  // namespace
}  // namespace uidraw

using namespace uidraw;

bool UIKitFrameOverScene(UINavigationController& nav, bool scene_all, const PixelRect& scene, int width, int height,
                         PixelRect* changed) {
  *changed = {0, 0, width, height};
  if (!kit.ctx) return true;
  Build(nav);
  ImGui::Render();
  ImDrawData* data = ImGui::GetDrawData();
  std::vector<KitState::Piece> now;
  const bool known = Pieces(data, &now);
  // The interface's own size may round apart from the surface's.
  const bool all =
      scene_all || !known || !kit.pieces_valid || FramebufferWidth(data) != width || FramebufferHeight(data) != height;
  if (!all) *changed = RectClip(RectUnion(scene, PiecesChanged(kit.pieces, now)), width, height);
  RedrawShowScene(*changed, width, height);
  UIKitRender(data, changed);
  kit.pieces.swap(now);
  kit.pieces_valid = known;
  nav.advance();
  RunPending();
  return all;
}
