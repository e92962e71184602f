#include "app/ui_render.h"

#include <imgui.h>

#include <algorithm>
#include <cstdint>

#include "app/ui_internal.h"
#include "gles/gles.h"
#include "redraw/redraw.h"

static_assert(sizeof(ImDrawIdx) == 2, "GL ES 1.1 draws 16-bit indices only");

namespace uidraw {

int FramebufferWidth(const ImDrawData* data) {
  return static_cast<int>(data->DisplaySize.x * data->FramebufferScale.x);
}
int FramebufferHeight(const ImDrawData* data) {
  return static_cast<int>(data->DisplaySize.y * data->FramebufferScale.y);
}

}  // namespace uidraw

using uidraw::FramebufferHeight;
using uidraw::FramebufferWidth;

void UIKitRender(ImDrawData* data, const PixelRect* limit) {
  const int fb_w = FramebufferWidth(data), fb_h = FramebufferHeight(data);
  if (fb_w <= 0 || fb_h <= 0) return;

  // Leave the frame update's state as found: it sets only part of it per tick.
  const GLboolean depth = glIsEnabled(GL_DEPTH_TEST), cull = glIsEnabled(GL_CULL_FACE),
                  light = glIsEnabled(GL_LIGHTING), blend = glIsEnabled(GL_BLEND), tex2d = glIsEnabled(GL_TEXTURE_2D),
                  scissor = glIsEnabled(GL_SCISSOR_TEST);
  GLint matrix_mode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &matrix_mode);

  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glEnable(GL_SCISSOR_TEST);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glMatrixMode(GL_TEXTURE);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  const ImVec2 pos = data->DisplayPos;
  glOrthof(pos.x, pos.x + data->DisplaySize.x, pos.y + data->DisplaySize.y, pos.y, -1.0f, 1.0f);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();

  const ImVec2 clip_scale = data->FramebufferScale;
  for (int n = 0; n < data->CmdListsCount; ++n) {
    const ImDrawList* list = data->CmdLists[n];
    const ImDrawVert* vtx = list->VtxBuffer.Data;
    const ImDrawIdx* idx = list->IdxBuffer.Data;
    glVertexPointer(2, GL_FLOAT, sizeof(ImDrawVert), reinterpret_cast<const char*>(vtx) + IM_OFFSETOF(ImDrawVert, pos));
    glTexCoordPointer(2, GL_FLOAT, sizeof(ImDrawVert),
                      reinterpret_cast<const char*>(vtx) + IM_OFFSETOF(ImDrawVert, uv));
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(ImDrawVert),
                   reinterpret_cast<const char*>(vtx) + IM_OFFSETOF(ImDrawVert, col));
    for (int c = 0; c < list->CmdBuffer.Size; ++c) {
      const ImDrawCmd& cmd = list->CmdBuffer[c];
      if (cmd.UserCallback) {
        cmd.UserCallback(list, &cmd);
        continue;
      }
      const float x0 = (cmd.ClipRect.x - pos.x) * clip_scale.x, y0 = (cmd.ClipRect.y - pos.y) * clip_scale.y;
      const float x1 = (cmd.ClipRect.z - pos.x) * clip_scale.x, y1 = (cmd.ClipRect.w - pos.y) * clip_scale.y;
      if (x1 <= x0 || y1 <= y0) continue;
      PixelRect clip = {static_cast<int>(x0), static_cast<int>(fb_h - y1), 0, 0};
      clip.x1 = clip.x0 + static_cast<int>(x1 - x0);
      clip.y1 = clip.y0 + static_cast<int>(y1 - y0);
      if (limit) {
        clip = {std::max(clip.x0, limit->x0), std::max(clip.y0, limit->y0), std::min(clip.x1, limit->x1),
                std::min(clip.y1, limit->y1)};
        if (RectEmpty(clip)) continue;
      }
      glScissor(clip.x0, clip.y0, clip.x1 - clip.x0, clip.y1 - clip.y0);
      glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(reinterpret_cast<intptr_t>(cmd.GetTexID())));
      glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(cmd.ElemCount), GL_UNSIGNED_SHORT, idx + cmd.IdxOffset);
    }
  }

  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  glBindTexture(GL_TEXTURE_2D, 0);
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_TEXTURE);
  glPopMatrix();
  glMatrixMode(static_cast<GLenum>(matrix_mode));
  glScissor(0, 0, fb_w, fb_h);
  glColor4f(1, 1, 1, 1);
  auto set = [](GLenum cap, GLboolean on) { on ? glEnable(cap) : glDisable(cap); };
  set(GL_DEPTH_TEST, depth);
  set(GL_CULL_FACE, cull);
  set(GL_LIGHTING, light);
  set(GL_BLEND, blend);
  set(GL_TEXTURE_2D, tex2d);
  set(GL_SCISSOR_TEST, scissor);
}
