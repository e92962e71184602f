#include "app/ui_draw.h"

#include "gles/gles.h"
#include <imgui.h>
#include <imgui_internal.h>
#include <cerrno>
#include <cfloat>
#include <cmath>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "files/files.h"
#include "platform/bundle.h"
#include "platform/uikit.h"
#include "platform/utf8.h"
#include "texture/gamelib.h"

static_assert(sizeof(ImDrawIdx) == 2, "GL ES 1.1 draws 16-bit indices only");

namespace {

const char* const kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kBoldFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
const uint64_t kFontLimit = 32u << 20;  // far above any interface font

// Latin with its supplements and extensions, Greek, Cyrillic with its
// supplement, general punctuation (the ellipsis) and the check mark.
const ImWchar kGlyphRanges[] = {0x0020, 0x024F, 0x0370, 0x03FF, 0x0400, 0x052F, 0x2000, 0x206F,
                                0x2713, 0x2713, 0};
// The one glyph for any character the font lacks, characters beyond 16 bits
// included (ImGui reads those as U+FFFD): an empty box, drawn by us.
const ImWchar kMissingGlyph = 0xFFFD;

// The interface's colours on the light screens.
const ImU32 kAccent = IM_COL32(31, 82, 184, 255);       // 7:1 on white
const ImU32 kHoverTint = IM_COL32(238, 240, 245, 255);  // a light screen's key under the pointer
const ImU32 kHoverRim = IM_COL32(96, 104, 122, 255);
const ImU32 kPressTint = IM_COL32(212, 217, 228, 255);  // ... pressed
const ImU32 kFieldInk = IM_COL32(20, 20, 31, 255);
const ImU32 kPlaceholderInk = IM_COL32(102, 102, 115, 255);  // 5.7:1 on white

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
KitState kit;

ImU32 Rgba(const UIColor& c, float alpha = 1.0f) {
  return ImGui::ColorConvertFloat4ToU32(ImVec4(c.r, c.g, c.b, c.a * alpha));
}

int FramebufferWidth(const ImDrawData* data) {
  return static_cast<int>(data->DisplaySize.x * data->FramebufferScale.x);
}
int FramebufferHeight(const ImDrawData* data) {
  return static_cast<int>(data->DisplaySize.y * data->FramebufferScale.y);
}

// Draws ImGui's output; with `limit`, nothing outside it.
void RenderDrawData(ImDrawData* data, const PixelRect* limit = nullptr) {
  const int fb_w = FramebufferWidth(data), fb_h = FramebufferHeight(data);
  if (fb_w <= 0 || fb_h <= 0) return;

  // Leave the frame update's state as found: it sets only part of it per tick.
  const GLboolean depth = glIsEnabled(GL_DEPTH_TEST), cull = glIsEnabled(GL_CULL_FACE),
                  light = glIsEnabled(GL_LIGHTING), blend = glIsEnabled(GL_BLEND),
                  tex2d = glIsEnabled(GL_TEXTURE_2D), scissor = glIsEnabled(GL_SCISSOR_TEST);
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
    glTexCoordPointer(2, GL_FLOAT, sizeof(ImDrawVert), reinterpret_cast<const char*>(vtx) + IM_OFFSETOF(ImDrawVert, uv));
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(ImDrawVert), reinterpret_cast<const char*>(vtx) + IM_OFFSETOF(ImDrawVert, col));
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
      glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(cmd.ElemCount),
                     GL_UNSIGNED_SHORT, idx + cmd.IdxOffset);
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
      const PixelRect r = {static_cast<int>(std::floor(x0 * scale.x)) - 1, fb_h - static_cast<int>(std::ceil(y1 * scale.y)) - 1,
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

// A font's size in points: fonts are rasterised at the pixel scale, and
// text drawn straight into a draw list is sized in points.
float PointSize(const ImFont* font) { return font->FontSize / kit.font_scale; }

// The body font (the first one built) and the bold one, outside a frame too.
ImFont* BodyFont() { return kit.ctx->IO.Fonts->Fonts[0]; }
ImFont* TitleFont() { return kit.title_font ? kit.title_font : BodyFont(); }

// `text` cut at a character so that it and an ellipsis fit in `width`.
std::string FitWithEllipsis(ImFont* font, float size, const std::string& text, float width) {
  if (font->CalcTextSizeA(size, 1e6f, 0.0f, text.c_str()).x <= width) return text;
  const char* const ellipsis = "\xE2\x80\xA6";
  const float room = width - font->CalcTextSizeA(size, 1e6f, 0.0f, ellipsis).x;
  std::string head;
  for (size_t at = 0; at < text.size();) {
    const size_t next = Utf8Next(text, at);
    const std::string longer = text.substr(0, next);
    if (font->CalcTextSizeA(size, 1e6f, 0.0f, longer.c_str()).x > room) break;
    head = longer;
    at = next;
  }
  return head + ellipsis;
}

// The lines `text` breaks into at `width`, as a label draws them.
std::vector<std::string> WrapLines(ImFont* font, float size, const std::string& text, float width) {
  std::vector<std::string> lines;
  const char* s = text.c_str();
  const char* end = s + text.size();
  while (s < end) {
    const char* next = font->CalcWordWrapPositionA(size / font->FontSize, s, end, width);
    if (next == s) next = s + 1;
    const char* cut = next;
    while (cut > s && (cut[-1] == ' ' || cut[-1] == '\n')) --cut;
    lines.emplace_back(s, cut);
    s = next;
    while (s < end && (*s == ' ' || *s == '\n')) ++s;
  }
  return lines;
}

// The narrowest width up to `width` at which `text` takes no more lines
// than at `width`: the lines come out of even length, and no short word is
// left alone on the last one.
float BalancedWrap(ImFont* font, float size, const std::string& text, float width) {
  const size_t lines = WrapLines(font, size, text, width).size();
  if (lines < 2) return width;
  float lo = width / static_cast<float>(lines) * 0.9f, hi = width;
  while (hi - lo > 1.0f) {
    const float mid = (lo + hi) * 0.5f;
    (WrapLines(font, size, text, mid).size() <= lines ? hi : lo) = mid;
  }
  return hi;
}

ImFont* LabelFont(const UILabel& l) { return l.bold ? TitleFont() : BodyFont(); }
// Room kept between a label's box and its text.
float LabelPad(const UILabel& l) { return l.background.a > 0 ? 10.0f : 0.0f; }

// What a control did under the pointer this frame.
struct ControlInput {
  bool clicked = false, held = false, hover = false;
};

// The controls take input topmost first, so that where two overlap the one
// drawn on top gets the click.
std::map<UIView*, ControlInput> TakeInput(UIViewController* vc, ImVec2 origin) {
  std::map<UIView*, ControlInput> out;
  for (size_t i = vc->subviews.size(); i-- > 0;) {
    UIView* v = vc->subviews[i];
    auto* b = dynamic_cast<UIButton*>(v);
    auto* tf = dynamic_cast<UITextField*>(v);
    if (v->hidden || !(b || (tf && tf->editable))) continue;
    ImGui::SetCursorScreenPos(ImVec2(origin.x + v->frame.x, origin.y + v->frame.y));
    ImGui::PushID(static_cast<int>(i));
    ControlInput in;
    in.clicked = ImGui::InvisibleButton("c", ImVec2(v->frame.width, v->frame.height));
    in.held = ImGui::IsItemActive();
    in.hover = ImGui::IsItemHovered();
    ImGui::PopID();
    out[v] = in;
  }
  return out;
}

void DrawButton(UIButton* b, ImVec2 origin, const ControlInput& in) {
  ImDrawList* dl = ImGui::GetWindowDrawList();
  if (in.clicked && b->enabled && b->action) kit.pending.push_back(b->action);
  const bool held = in.held && b->enabled, hover = in.hover && b->enabled;
  ImVec2 p0(origin.x + b->frame.x, origin.y + b->frame.y);
  ImVec2 p1(p0.x + b->frame.width, p0.y + b->frame.height);
  if (held) {
    // Pressed: the key sinks a little.
    p0 = ImVec2(p0.x + 1.5f, p0.y + 1.5f);
    p1 = ImVec2(p1.x - 1.5f, p1.y - 1.5f);
  }
  const ImVec2 size(p1.x - p0.x, p1.y - p0.y);
  const float alpha = b->enabled ? 1.0f : 0.45f;
  const float rounding = size.y * 0.3f;
  const bool glass = !b->icon.empty();
  if (glass) {
    // Over the scene: translucent dark glass with a light rim; lighter and
    // rimmed brighter under the pointer, brighter still while pressed.
    const int fill = held ? 200 : hover ? 150 : 95;
    const int rim = held || hover ? 235 : 110;
    dl->AddRectFilled(p0, p1, IM_COL32(20, 24, 36, static_cast<int>(fill * alpha)), rounding);
    if (held) dl->AddRectFilled(p0, p1, IM_COL32(120, 160, 255, static_cast<int>(60 * alpha)), rounding);
    dl->AddRect(p0, p1, IM_COL32(255, 255, 255, static_cast<int>(rim * alpha)), rounding, 0, hover || held ? 2.0f : 1.0f);
  } else {
    // On a light screen: white keys with a soft rim; a tint under the
    // pointer, a deeper one while pressed. A key with its own fill keeps it.
    ImU32 fill = held ? kPressTint : hover ? kHoverTint : IM_COL32(255, 255, 255, 255);
    if (b->fillColor.a > 0) fill = Rgba(b->fillColor);
    ImU32 rim = hover || held ? kHoverRim : IM_COL32(160, 166, 182, 255);
    if (b->fillColor.a > 0 && !hover && !held) rim = Rgba(b->titleColor);
    dl->AddRectFilled(p0, p1, fill, rounding);
    if (b->fillColor.a > 0 && (hover || held))
      dl->AddRectFilled(p0, p1, held ? IM_COL32(0, 0, 0, 50) : IM_COL32(255, 255, 255, 40), rounding);
    dl->AddRect(p0, p1, rim, rounding, 0, hover || held || b->fillColor.a > 0 ? 2.0f : 1.0f);
  }
  const std::string& title = b->title(held ? UIControlStateHighlighted : UIControlStateNormal);
  const GLuint icon = b->icon.empty() ? 0 : UIKitTexture(b->icon);
  if (icon) {
    const float side = std::min(size.x, size.y) - 6.0f;
    const ImVec2 c((p0.x + p1.x) * 0.5f, (p0.y + p1.y) * 0.5f);
    dl->AddImage(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(icon)), ImVec2(c.x - side / 2, c.y - side / 2),
                 ImVec2(c.x + side / 2, c.y + side / 2), ImVec2(0, 0), ImVec2(1, 1),
                 IM_COL32(255, 255, 255, static_cast<int>(255 * alpha)));
  } else if (!title.empty()) {
    ImFont* font = TitleFont();
    const float fs = PointSize(font);
    // The chosen one of a set also says so with a mark, not by colour alone.
    const std::string shown = b->selected ? "\xE2\x9C\x93 " + title : title;
    const std::string fit = FitWithEllipsis(font, fs, shown, size.x - 8.0f);
    const ImVec2 ts = font->CalcTextSizeA(fs, 1e6f, 0.0f, fit.c_str());
    const ImVec2 tp(std::round(p0.x + (size.x - ts.x) * 0.5f), std::round(p0.y + (size.y - ts.y) * 0.5f));
    dl->AddText(font, fs, tp, Rgba(b->titleColor, alpha), fit.c_str());
  }
}

// The name field: the kit edits it (platform/uikit.h); here it is drawn,
// and a click gives it the keyboard focus with the caret where it landed.
void DrawTextField(UITextField* tf, ImVec2 origin, const ControlInput& in) {
  ImDrawList* dl = ImGui::GetWindowDrawList();
  const ImVec2 p0(origin.x + tf->frame.x, origin.y + tf->frame.y);
  const ImVec2 p1(p0.x + tf->frame.width, p0.y + tf->frame.height);
  ImFont* font = ImGui::GetFont();
  const float fs = PointSize(font);
  const float pad = 8.0f, inner = tf->frame.width - 2 * pad;
  const std::string& text = tf->text_;
  if (tf->caret > text.size()) tf->caret = text.size();
  auto width_to = [&](size_t bytes) { return font->CalcTextSizeA(fs, 1e6f, 0.0f, text.c_str(), text.c_str() + bytes).x; };
  // Scrolled so that the caret stays in view while editing; else the name
  // shows from its start.
  const float shift = tf->focused ? std::max(0.0f, width_to(tf->caret) - inner + 2.0f) : 0.0f;
  if (in.clicked) {
    tf->becomeFirstResponder();
    const float x = ImGui::GetIO().MousePos.x - (p0.x + pad) + shift;
    size_t best = 0;
    for (size_t at = 0;; at = Utf8Next(text, at)) {
      if (std::fabs(width_to(at) - x) < std::fabs(width_to(best) - x)) best = at;
      if (at >= text.size()) break;
    }
    tf->caret = best;
  }
  dl->AddRectFilled(p0, p1, IM_COL32(255, 255, 255, 255), 8.0f);
  dl->AddRect(p0, p1, tf->focused ? kAccent : in.hover ? IM_COL32(120, 130, 150, 255) : IM_COL32(200, 205, 215, 255),
              8.0f, 0, tf->focused ? 2.0f : 1.0f);
  const float ty = std::round(p0.y + (tf->frame.height - fs) * 0.5f);
  dl->PushClipRect(ImVec2(p0.x + pad - 1, p0.y), ImVec2(p1.x - pad + 2, p1.y), true);
  if (text.empty())
    dl->AddText(font, fs, ImVec2(p0.x + pad, ty), kPlaceholderInk, tf->placeholder.c_str());
  else
    dl->AddText(font, fs, ImVec2(std::round(p0.x + pad - shift), ty), kFieldInk, text.c_str());
  if (tf->focused) {
    const float cx = std::round(p0.x + pad - shift + width_to(tf->caret));
    dl->AddRectFilled(ImVec2(cx, ty), ImVec2(cx + 1.5f, ty + fs), kAccent);
  }
  dl->PopClipRect();
}

// The name over the scene: white with a soft dark outline on a dark glass
// plate, so that it reads over any backdrop (a clock or a bright sky behind
// it); cut with "..." when it does not fit.
void DrawTitle(UITextField* tf, ImVec2 origin) {
  ImDrawList* dl = ImGui::GetWindowDrawList();
  const ImVec2 p0(origin.x + tf->frame.x, origin.y + tf->frame.y);
  ImFont* font = TitleFont();
  const float fs = PointSize(font) * 1.3f;
  const float pad = 12.0f;
  const std::string text = FitWithEllipsis(font, fs, tf->text_, tf->frame.width - 2 * pad - 8.0f);
  const ImVec2 ts = font->CalcTextSizeA(fs, 1e6f, 0.0f, text.c_str());
  const ImVec2 tp(p0.x + (tf->frame.width - ts.x) * 0.5f, p0.y + (tf->frame.height - ts.y) * 0.5f);
  if (!text.empty())
    dl->AddRectFilled(ImVec2(tp.x - pad, p0.y + 2), ImVec2(tp.x + ts.x + pad, p0.y + tf->frame.height - 2),
                      IM_COL32(13, 15, 26, 150), (tf->frame.height - 4) * 0.5f);
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy)
      if (dx || dy) dl->AddText(font, fs, ImVec2(tp.x + dx, tp.y + dy), IM_COL32(0, 0, 0, 140), text.c_str());
  dl->AddText(font, fs, tp, IM_COL32(255, 255, 255, 255), text.c_str());
}

void DrawScreen(UIViewController* vc, float offset, bool on_top, int depth) {
  // Each level of the navigation stack gets a window of its own, reused by
  // every screen shown at that level: ImGui never frees a window, so one per
  // screen object would grow with every visit to the settings screen. The
  // screens are drawn bottom first and each is brought to the front as it
  // is drawn, so a deeper screen is always in front. Only the screen on top
  // takes input, so a click never reaches the screen under it, nor one
  // sliding away.
  char name[32];
  std::snprintf(name, sizeof name, "screen%d", depth);
  ImGui::SetNextWindowPos(ImVec2(offset, 0));
  ImGui::SetNextWindowSize(ImVec2(kit.width, kit.height));
  ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                           ImGuiWindowFlags_NoBackground | ImGuiWindowFlags_NoScrollWithMouse;
  if (!on_top) flags |= ImGuiWindowFlags_NoInputs;
  ImGui::Begin(name, nullptr, flags);
  ImGui::BringWindowToDisplayFront(ImGui::GetCurrentWindow());
  const ImVec2 origin(offset, 0);
  ImDrawList* dl = ImGui::GetWindowDrawList();
  if (vc->opaque) dl->AddRectFilled(origin, ImVec2(offset + kit.width, kit.height), Rgba(vc->background));
  const std::map<UIView*, ControlInput> input = TakeInput(vc, origin);
  // A click anywhere else on the screen ends an edit of its field.
  const bool clicked = on_top && ImGui::IsMouseClicked(0);
  for (UIView* v : vc->subviews) {
    if (v->hidden) continue;
    const ImVec2 p0(origin.x + v->frame.x, origin.y + v->frame.y);
    const ImVec2 p1(p0.x + v->frame.width, p0.y + v->frame.height);
    auto found = input.find(v);
    const ControlInput in = found != input.end() ? found->second : ControlInput{};
    if (auto* b = dynamic_cast<UIButton*>(v)) {
      DrawButton(b, origin, in);
    } else if (auto* l = dynamic_cast<UILabel*>(v)) {
      ImFont* font = LabelFont(*l);
      const float fs = PointSize(font) * l->size;
      const float pad = LabelPad(*l);
      const float wrap = l->wrap ? BalancedWrap(font, fs, l->text, v->frame.width - 2 * pad) : 0.0f;
      const ImVec2 ts = font->CalcTextSizeA(fs, 1e6f, wrap, l->text.c_str());
      const float x = l->centered ? p0.x + (v->frame.width - ts.x) * 0.5f : p0.x + pad;
      const float y = p0.y + (v->frame.height - ts.y) * 0.5f;
      if (l->background.a > 0)  // a box just round the text
        dl->AddRectFilled(ImVec2(x - pad, y - pad * 0.6f), ImVec2(x + ts.x + pad, y + ts.y + pad * 0.6f),
                          Rgba(l->background), 10.0f);
      if (l->wrap) {
        // Line by line, each centred in the box.
        float ly = y;
        for (const std::string& line : WrapLines(font, fs, l->text, wrap)) {
          const ImVec2 ls = font->CalcTextSizeA(fs, 1e6f, 0.0f, line.c_str());
          const float lx = l->centered ? p0.x + (v->frame.width - ls.x) * 0.5f : x;
          dl->AddText(font, fs, ImVec2(lx, ly), Rgba(l->color), line.c_str());
          ly += fs;
        }
      } else {
        dl->AddText(font, fs, ImVec2(x, y), Rgba(l->color), l->text.c_str());
      }
    } else if (auto* panel = dynamic_cast<UIPanel*>(v)) {
      dl->AddRectFilled(p0, p1, Rgba(panel->color), panel->rounding);
    } else if (auto* iv = dynamic_cast<UIImageView*>(v)) {
      const GLuint tex = UIKitTexture(iv->image);
      if (tex)
        dl->AddImage(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(tex)), p0, p1);
      else
        dl->AddRectFilled(p0, p1, IM_COL32(30, 30, 46, 255));
    } else if (auto* tf = dynamic_cast<UITextField*>(v)) {
      if (!tf->editable) {
        DrawTitle(tf, origin);
        continue;
      }
      if (clicked && !in.hover) tf->resignFirstResponder();
      DrawTextField(tf, origin, in);
    }
  }
  ImGui::End();
}

// The overlay over everything: the view dimmed, a panel with the rows.
void DrawOverlay(const UIOverlay& o) {
  ImDrawList* dl = ImGui::GetForegroundDrawList();
  const float w = kit.width, h = kit.height;
  dl->AddRectFilled(ImVec2(0, 0), ImVec2(w, h), IM_COL32(0, 0, 0, 150));
  ImFont* body = ImGui::GetFont();
  ImFont* bold = TitleFont();
  const float fs = PointSize(body) * 0.85f, line = std::round(fs * 1.32f);
  const float title_h = 34, footer_h = 28;
  float panel_h = title_h + footer_h + 12;
  for (const UIOverlayRow& r : o.rows) panel_h += r.key.empty() ? line + 4 : line;
  const ImVec2 p0(10, std::max(4.0f, std::round((h - panel_h) * 0.5f)));
  const ImVec2 p1(w - 10, std::min(h - 4, p0.y + panel_h));
  dl->AddRectFilled(p0, p1, IM_COL32(22, 27, 44, 245), 14.0f);
  dl->AddRect(p0, p1, IM_COL32(255, 255, 255, 90), 14.0f, 0, 1.0f);
  const float tfs = PointSize(bold) * 1.2f;
  const ImVec2 ts = bold->CalcTextSizeA(tfs, 1e6f, 0.0f, o.title.c_str());
  dl->AddText(bold, tfs, ImVec2(std::round((w - ts.x) * 0.5f), p0.y + 9), IM_COL32(255, 255, 255, 255), o.title.c_str());
  float y = p0.y + title_h + 4;
  const float key_x = p0.x + 16, text_x = p0.x + 112;
  for (const UIOverlayRow& r : o.rows) {
    if (r.key.empty()) {
      y += 4;
      dl->AddText(bold, fs, ImVec2(key_x, y), IM_COL32(150, 190, 255, 255), r.text.c_str());
    } else {
      float x = key_x;
      if (const GLuint icon = r.icon.empty() ? 0 : UIKitTexture(r.icon)) {
        const float side = line - 2;
        dl->AddImage(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(icon)), ImVec2(x, y),
                     ImVec2(x + side, y + side));
        x += side + 5;
      }
      dl->AddText(bold, fs, ImVec2(x, y), IM_COL32(255, 255, 255, 255), r.key.c_str());
      const std::string text = FitWithEllipsis(body, fs, r.text, p1.x - 10 - text_x);
      dl->AddText(body, fs, ImVec2(text_x, y), IM_COL32(218, 222, 232, 255), text.c_str());
    }
    y += line;
  }
  const ImVec2 fsz = body->CalcTextSizeA(fs, 1e6f, 0.0f, o.footer.c_str());
  dl->AddText(body, fs, ImVec2(std::round((w - fsz.x) * 0.5f), p1.y - footer_h + 4), IM_COL32(255, 214, 120, 255),
              o.footer.c_str());
}

void Build(UINavigationController& nav) {
  ImGuiIO& io = ImGui::GetIO();
  io.DisplaySize = ImVec2(kit.width, kit.height);
  io.DisplayFramebufferScale = ImVec2(kit.scale, kit.scale);
  io.DeltaTime = 1.0f / 30.0f;
  ImGui::NewFrame();
  // Bottom first: the screen under a push, or the top one under a screen
  // sliding out after a pop (which was one level deeper).
  const auto shown = nav.visible(kit.width);
  const int top = static_cast<int>(nav.depth()) - 1;
  for (size_t i = 0; i < shown.size(); ++i) {
    const bool on_top = shown[i].first == nav.topViewController();
    DrawScreen(shown[i].first, shown[i].second, on_top, on_top ? top : i == 0 ? top - 1 : top + 1);
  }
  if (kit.overlay) DrawOverlay(*kit.overlay);
}

bool RunPending() {
  std::vector<std::function<void()>> run;
  run.swap(kit.pending);
  for (auto& fn : run) fn();
  return !run.empty();
}

// The box that stands for a missing character: an outline the size of a
// capital letter, drawn into the atlas pixels reserved for it.
void PaintMissingGlyph(ImFontAtlas* atlas, int rect_id, unsigned char* alpha, int tex_w) {
  const ImFontAtlasCustomRect* r = atlas->GetCustomRectByIndex(rect_id);
  if (!r || !alpha) return;
  const int stroke = std::max(1, static_cast<int>(r->Width) / 7);
  for (int y = 0; y < r->Height; ++y)
    for (int x = 0; x < r->Width; ++x) {
      const bool edge = x < stroke || y < stroke || x >= r->Width - stroke || y >= r->Height - stroke;
      alpha[static_cast<size_t>(r->Y + y) * tex_w + r->X + x] = edge ? 255 : 0;
    }
}

// Fonts rasterised at `scale` pixels a point: the body and the bold title
// font, with the missing-character box in each. False without a texture.
bool BuildFonts(float scale) {
  ImGuiIO& io = ImGui::GetIO();
  if (kit.font_texture) glDeleteTextures(1, &kit.font_texture);
  kit.font_texture = 0;
  io.Fonts->Clear();
  kit.font_scale = scale;
  const float px = 16.0f * scale;
  // A font is read as every input is (a pipe or a device in its place never
  // blocks); the atlas takes a copy in its own memory.
  FileStatus status = kFileOk;
  struct stat st = {};
  int err = 0;
  auto add = [&](const char* path) -> ImFont* {
    char* data = nullptr;
    size_t size = 0;
    status = FileReadAll(path, kFontLimit, &data, &size, &st);
    err = errno;
    if (status != kFileOk) return nullptr;
    void* copy = ImGui::MemAlloc(size);
    std::memcpy(copy, data, size);
    std::free(data);
    return io.Fonts->AddFontFromMemoryTTF(copy, static_cast<int>(size), px, nullptr, kGlyphRanges);
  };
  ImFont* body = add(kFontPath);
  if (!body) {
    if (status == kFileMissing)
      std::fprintf(stderr, "font %s not found; using the built-in font\n", kFontPath);
    else
      std::fprintf(stderr, "font %s: %s; using the built-in font\n", kFontPath,
                   FileStatusText(status, st, err).c_str());
    ImFontConfig def;
    def.SizePixels = 13.0f * scale;
    body = io.Fonts->AddFontDefault(&def);
  }
  kit.title_font = add(kBoldFontPath);
  // Box size: about a capital letter, sitting on the baseline (placed once
  // the fonts' ascent is known).
  const int box_w = std::max(3, static_cast<int>(px * 0.5f)), box_h = std::max(4, static_cast<int>(px * 0.68f));
  std::vector<std::pair<ImFont*, int>> boxes;
  for (ImFont* font : {body, kit.title_font})
    if (font) boxes.emplace_back(font, io.Fonts->AddCustomRectFontGlyph(font, kMissingGlyph, box_w, box_h, px * 0.62f));
  io.FontGlobalScale = 1.0f / scale;
  // Coverage only: drawn with the vertex colours (GL_MODULATE), a quarter
  // of the memory of white RGBA.
  unsigned char* pixels = nullptr;
  int w = 0, h = 0;
  io.Fonts->GetTexDataAsAlpha8(&pixels, &w, &h);
  for (const auto& b : boxes) {
    PaintMissingGlyph(io.Fonts, b.second, pixels, w);
    for (ImFontGlyph& g : b.first->Glyphs)
      if (g.Codepoint == kMissingGlyph) {
        g.X0 += std::round(px * 0.06f);
        g.X1 += std::round(px * 0.06f);
        g.Y0 = std::round(b.first->Ascent) - box_h;
        g.Y1 = std::round(b.first->Ascent);
      }
  }
  glGenTextures(1, &kit.font_texture);
  glBindTexture(GL_TEXTURE_2D, kit.font_texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, w, h, 0, GL_ALPHA, GL_UNSIGNED_BYTE, pixels);
  glBindTexture(GL_TEXTURE_2D, 0);
  io.Fonts->SetTexID(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(kit.font_texture)));
  io.Fonts->ClearTexData();
  return kit.font_texture != 0;
}

void ForgetTextures() {
  for (auto& t : kit.textures)
    if (t.second) glDeleteTextures(1, &t.second);
  kit.textures.clear();
}

}  // namespace

bool UIKitInit(float width, float height, float scale) {
  if (kit.ctx) UIKitShutdown();
  kit.width = width;
  kit.height = height;
  kit.scale = scale;
  IMGUI_CHECKVERSION();
  kit.ctx = ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;
  io.LogFilename = nullptr;
  io.BackendRendererName = "ovanta_gles1";
  io.MousePos = ImVec2(-FLT_MAX, -FLT_MAX);
  ImGui::StyleColorsDark();
  ImGuiStyle& style = ImGui::GetStyle();
  style.WindowPadding = ImVec2(0, 0);
  // No border: it would keep a point of every screen's edge unpainted.
  style.WindowBorderSize = 0;
  // Rasterised at the pixel scale so text stays sharp when the view is scaled.
  return BuildFonts(scale);
}

void UIKitSetScale(float scale) {
  if (!kit.ctx || !(scale > 0)) return;
  const bool refont = std::fabs(scale - kit.font_scale) > 0.05f * scale;
  kit.scale = scale;
  // Artwork with or without its double size, by the new scale.
  ForgetTextures();
  if (refont) BuildFonts(scale);
}

void UIKitShutdown() {
  if (!kit.ctx) return;
  ForgetTextures();
  if (kit.font_texture) glDeleteTextures(1, &kit.font_texture);
  kit.font_texture = 0;
  ImGui::DestroyContext(kit.ctx);
  kit.ctx = nullptr;
  kit.title_font = nullptr;
  kit.pending.clear();
  kit.overlay = nullptr;
}

bool UIKitReady() { return kit.ctx != nullptr; }

unsigned int UIKitTexture(const std::string& name) {
  auto it = kit.textures.find(name);
  if (it != kit.textures.end()) return it->second;
  GLuint tex = 0;
  tag_TexPicDesc desc{};
  // Where a point has more than one pixel, the artwork's double-size
  // version ("name@2x.png") is used when the bundle has one.
  std::string pick = name;
  const size_t dot = name.rfind('.');
  if (kit.scale > 1.0f && dot != std::string::npos && dot > 0) {
    const std::string twice = name.substr(0, dot) + "@2x" + name.substr(dot);
    std::string path;
    if (BundlePathForResource(twice.c_str(), nullptr, path)) pick = twice;
  }
  unsigned char* px = name.empty() ? nullptr : ReadPictureData(pick.c_str(), &desc);
  if (px) {
    // The decoder premultiplies; ImGui blends straight alpha.
    for (int i = 0; i < desc.xs * desc.ys; ++i) {
      unsigned char* p = px + 4 * i;
      if (p[3] && p[3] < 255)
        for (int k = 0; k < 3; ++k) p[k] = static_cast<unsigned char>(std::min(255, p[k] * 255 / p[3]));
    }
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, desc.xs, desc.ys, 0, GL_RGBA, GL_UNSIGNED_BYTE, px);
    glBindTexture(GL_TEXTURE_2D, 0);
    std::free(px);
  }
  kit.textures[name] = tex;
  return tex;
}


void UIKitFrame(UINavigationController& nav, bool render) {
  if (!kit.ctx) return;
  Build(nav);
  if (render) {
    ImGui::Render();
    RenderDrawData(ImGui::GetDrawData());
    kit.pieces_valid = false;
    nav.advance();
  } else {
    ImGui::EndFrame();
  }
  RunPending();
}

bool UIKitFrameOverScene(UINavigationController& nav, bool scene_all, const PixelRect& scene, int width,
                         int height, PixelRect* changed) {
  *changed = {0, 0, width, height};
  if (!kit.ctx) return true;
  Build(nav);
  ImGui::Render();
  ImDrawData* data = ImGui::GetDrawData();
  std::vector<KitState::Piece> now;
  const bool known = Pieces(data, &now);
  // The interface's own size may round apart from the surface's.
  const bool all = scene_all || !known || !kit.pieces_valid || FramebufferWidth(data) != width ||
                   FramebufferHeight(data) != height;
  if (!all) *changed = RectClip(RectUnion(scene, PiecesChanged(kit.pieces, now)), width, height);
  RedrawShowScene(*changed, width, height);
  RenderDrawData(data, changed);
  kit.pieces.swap(now);
  kit.pieces_valid = known;
  nav.advance();
  RunPending();
  return all;
}

bool UIKitClick(UINavigationController& nav, float x, float y) {
  if (!kit.ctx) return false;
  ImGuiIO& io = ImGui::GetIO();
  const ImVec2 was = io.MousePos;
  const bool was_down = io.MouseDown[0];
  bool ran = false;
  const bool downs[3] = {false, true, false};
  for (bool down : downs) {
    io.MousePos = ImVec2(x, y);
    io.MouseDown[0] = down;
    Build(nav);
    ImGui::EndFrame();
    ran = RunPending() || ran;
  }
  io.MousePos = was;
  io.MouseDown[0] = was_down;
  return ran;
}

void UIKitPointer(bool present, float x, float y, bool down) {
  if (!kit.ctx) return;
  ImGuiIO& io = ImGui::GetIO();
  io.MousePos = present || down ? ImVec2(x, y) : ImVec2(-FLT_MAX, -FLT_MAX);
  io.MouseDown[0] = down;
}

UITextField* UIKitEditedField(UINavigationController& nav) {
  UIViewController* top = nav.topViewController();
  if (!top) return nullptr;
  for (UIView* v : top->subviews)
    if (auto* tf = dynamic_cast<UITextField*>(v))
      if (tf->editable && tf->focused && !tf->hidden) return tf;
  return nullptr;
}

UITextField* UIKitFieldAt(UINavigationController& nav, float x, float y) {
  UIViewController* top = nav.topViewController();
  if (!top) return nullptr;
  for (UIView* v : top->subviews) {
    auto* tf = dynamic_cast<UITextField*>(v);
    if (tf && tf->editable && !tf->hidden && x >= tf->frame.x && x < tf->frame.x + tf->frame.width &&
        y >= tf->frame.y && y < tf->frame.y + tf->frame.height)
      return tf;
  }
  return nullptr;
}

void UIKitSetOverlay(const UIOverlay* overlay) { kit.overlay = overlay; }

std::vector<std::string> UIKitLabelLines(const UILabel& label) {
  if (!kit.ctx) return {};
  ImFont* font = LabelFont(label);
  const float fs = PointSize(font) * label.size;
  if (!label.wrap) return {label.text};
  const float width = BalancedWrap(font, fs, label.text, label.frame.width - 2 * LabelPad(label));
  return WrapLines(font, fs, label.text, width);
}

bool UIKitHitsControl(UINavigationController& nav, float x, float y) {
  for (const auto& s : nav.visible(kit.width)) {
    for (UIView* v : s.first->subviews) {
      if (v->hidden) continue;
      const bool control = dynamic_cast<UIButton*>(v) || (dynamic_cast<UITextField*>(v) &&
                                                          static_cast<UITextField*>(v)->editable);
      if (!control) continue;
      const float x0 = s.second + v->frame.x, y0 = v->frame.y;
      if (x >= x0 && x < x0 + v->frame.width && y >= y0 && y < y0 + v->frame.height) return true;
    }
    if (s.first->opaque && x >= s.second) return true;
  }
  return false;
}
