#include "app/ui_draw.h"

#include "gles/gles.h"
#include <imgui.h>
#include <imgui_stdlib.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

#include "platform/bundle.h"
#include "platform/uikit.h"
#include "texture/gamelib.h"

static_assert(sizeof(ImDrawIdx) == 2, "GL ES 1.1 draws 16-bit indices only");

namespace {

const char* const kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kBoldFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

struct KitState {
  ImGuiContext* ctx = nullptr;
  GLuint font_texture = 0;
  ImFont* title_font = nullptr;
  float width = 320, height = 480, scale = 1;
  std::map<std::string, GLuint> textures;
  std::vector<std::function<void()>> pending;
};
KitState kit;

ImU32 Rgba(const UIColor& c, float alpha = 1.0f) {
  return ImGui::ColorConvertFloat4ToU32(ImVec4(c.r, c.g, c.b, c.a * alpha));
}

void RenderDrawData(ImDrawData* data) {
  const int fb_w = static_cast<int>(data->DisplaySize.x * data->FramebufferScale.x);
  const int fb_h = static_cast<int>(data->DisplaySize.y * data->FramebufferScale.y);
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
      glScissor(static_cast<GLint>(x0), static_cast<GLint>(fb_h - y1), static_cast<GLsizei>(x1 - x0),
                static_cast<GLsizei>(y1 - y0));
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

// A font's size in points: fonts are rasterised at the pixel scale, and
// text drawn straight into a draw list is sized in points.
float PointSize(const ImFont* font) { return font->FontSize / kit.scale; }

void DrawButton(UIButton* b, ImVec2 origin, int id) {
  ImDrawList* dl = ImGui::GetWindowDrawList();
  const ImVec2 p0(origin.x + b->frame.x, origin.y + b->frame.y);
  const ImVec2 size(b->frame.width, b->frame.height);
  const ImVec2 p1(p0.x + size.x, p0.y + size.y);
  ImGui::SetCursorScreenPos(p0);
  ImGui::PushID(id);
  const bool clicked = ImGui::InvisibleButton("b", size);
  const bool held = ImGui::IsItemActive();
  const bool hover = ImGui::IsItemHovered();
  ImGui::PopID();
  if (clicked && b->enabled && b->action) kit.pending.push_back(b->action);

  const float alpha = b->enabled ? 1.0f : 0.45f;
  const float rounding = size.y * 0.3f;
  const bool glass = !b->icon.empty();
  if (glass) {
    // Over the scene: translucent dark glass with a light rim, lighter while pressed.
    const int fill = held ? 150 : hover ? 120 : 95;
    dl->AddRectFilled(p0, p1, IM_COL32(20, 24, 36, static_cast<int>(fill * alpha)), rounding);
    dl->AddRect(p0, p1, IM_COL32(255, 255, 255, static_cast<int>(110 * alpha)), rounding, 0, 1.0f);
  } else {
    // On a light screen: white keys with a soft rim, so the title colours read as given.
    const int fill = held ? 215 : hover ? 240 : 255;
    dl->AddRectFilled(p0, p1, IM_COL32(fill, fill, fill, static_cast<int>(255 * alpha)), rounding);
    dl->AddRect(p0, p1, IM_COL32(160, 166, 182, static_cast<int>(255 * alpha)), rounding, 0, 1.0f);
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
    ImFont* font = kit.title_font ? kit.title_font : ImGui::GetFont();
    const float fs = PointSize(font);
    const ImVec2 ts = font->CalcTextSizeA(fs, size.x, 0.0f, title.c_str());
    const ImVec2 tp(p0.x + (size.x - ts.x) * 0.5f, p0.y + (size.y - ts.y) * 0.5f);
    const UIColor c = b->titleColor;
    dl->AddText(font, fs, tp, Rgba(c, alpha), title.c_str());
  }
}

void DrawScreen(UIViewController* vc, float offset, bool on_top) {
  // Each screen object gets a window of its own; a new window opens in
  // front. Only the screen on top takes input, so a click never reaches (or
  // raises) the screen under it, nor one sliding away.
  char name[32];
  std::snprintf(name, sizeof name, "screen%d", vc->uiSerial());
  ImGui::SetNextWindowPos(ImVec2(offset, 0));
  ImGui::SetNextWindowSize(ImVec2(kit.width, kit.height));
  ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                           ImGuiWindowFlags_NoBackground | ImGuiWindowFlags_NoScrollWithMouse;
  if (!on_top) flags |= ImGuiWindowFlags_NoInputs;
  ImGui::Begin(name, nullptr, flags);
  const ImVec2 origin(offset, 0);
  ImDrawList* dl = ImGui::GetWindowDrawList();
  if (vc->opaque) dl->AddRectFilled(origin, ImVec2(offset + kit.width, kit.height), Rgba(vc->background));
  int id = 0;
  for (UIView* v : vc->subviews) {
    ++id;
    if (v->hidden) continue;
    const ImVec2 p0(origin.x + v->frame.x, origin.y + v->frame.y);
    const ImVec2 p1(p0.x + v->frame.width, p0.y + v->frame.height);
    if (auto* b = dynamic_cast<UIButton*>(v)) {
      DrawButton(b, origin, id);
    } else if (auto* l = dynamic_cast<UILabel*>(v)) {
      ImFont* font = l->bold && kit.title_font ? kit.title_font : ImGui::GetFont();
      const float fs = PointSize(font) * l->size;
      const ImVec2 ts = font->CalcTextSizeA(fs, 1e6f, 0.0f, l->text.c_str());
      const float x = l->centered ? p0.x + (v->frame.width - ts.x) * 0.5f : p0.x;
      dl->AddText(font, fs, ImVec2(x, p0.y + (v->frame.height - ts.y) * 0.5f), Rgba(l->color), l->text.c_str());
    } else if (auto* iv = dynamic_cast<UIImageView*>(v)) {
      const GLuint tex = UIKitTexture(iv->image);
      if (tex)
        dl->AddImage(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(tex)), p0, p1);
      else
        dl->AddRectFilled(p0, p1, IM_COL32(30, 30, 46, 255));
    } else if (auto* tf = dynamic_cast<UITextField*>(v)) {
      ImGui::PushID(id);
      if (tf->editable) {
        ImGui::SetCursorScreenPos(p0);
        ImGui::SetNextItemWidth(v->frame.width);
        if (tf->focused && !ImGui::IsAnyItemActive()) ImGui::SetKeyboardFocusHere();
        if (ImGui::InputTextWithHint("##t", tf->placeholder.c_str(), &tf->text_,
                                     ImGuiInputTextFlags_EnterReturnsTrue) && tf->action)
          kit.pending.push_back(tf->action);
        tf->focused = ImGui::IsItemActive();
      } else {
        // The name over the scene: white with a soft dark outline.
        ImFont* font = kit.title_font ? kit.title_font : ImGui::GetFont();
        const float fs = PointSize(font) * 1.3f;
        const ImVec2 ts = font->CalcTextSizeA(fs, 1e6f, 0.0f, tf->text_.c_str());
        const ImVec2 tp(p0.x + (v->frame.width - ts.x) * 0.5f, p0.y + (v->frame.height - ts.y) * 0.5f);
        for (int dx = -1; dx <= 1; ++dx)
          for (int dy = -1; dy <= 1; ++dy)
            if (dx || dy) dl->AddText(font, fs, ImVec2(tp.x + dx, tp.y + dy), IM_COL32(0, 0, 0, 140), tf->text_.c_str());
        dl->AddText(font, fs, tp, IM_COL32(255, 255, 255, 255), tf->text_.c_str());
      }
      ImGui::PopID();
    }
  }
  ImGui::End();
}

void Build(UINavigationController& nav) {
  ImGuiIO& io = ImGui::GetIO();
  io.DisplaySize = ImVec2(kit.width, kit.height);
  io.DisplayFramebufferScale = ImVec2(kit.scale, kit.scale);
  io.DeltaTime = 1.0f / 30.0f;
  ImGui::NewFrame();
  for (const auto& s : nav.visible(kit.width)) DrawScreen(s.first, s.second, s.first == nav.topViewController());
}

bool RunPending() {
  std::vector<std::function<void()>> run;
  run.swap(kit.pending);
  for (auto& fn : run) fn();
  return !run.empty();
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
  ImGui::StyleColorsDark();
  ImGuiStyle& style = ImGui::GetStyle();
  style.FrameRounding = 8;
  style.WindowPadding = ImVec2(0, 0);
  style.Colors[ImGuiCol_FrameBg] = ImVec4(1, 1, 1, 0.92f);
  style.Colors[ImGuiCol_FrameBgHovered] = ImVec4(1, 1, 1, 1);
  style.Colors[ImGuiCol_FrameBgActive] = ImVec4(1, 1, 1, 1);
  style.Colors[ImGuiCol_Text] = ImVec4(0.08f, 0.08f, 0.12f, 1);
  style.Colors[ImGuiCol_TextDisabled] = ImVec4(0.45f, 0.45f, 0.5f, 1);
  style.FramePadding = ImVec2(8, 7);

  // Rasterised at the pixel scale so text stays sharp when the view is scaled.
  ImFont* body = nullptr;
  if (FILE* f = std::fopen(kFontPath, "rb")) {
    std::fclose(f);
    body = io.Fonts->AddFontFromFileTTF(kFontPath, 16.0f * scale);
  }
  if (!body) {
    std::fprintf(stderr, "font %s not found; using the built-in font\n", kFontPath);
    ImFontConfig def;
    def.SizePixels = 13.0f * scale;
    body = io.Fonts->AddFontDefault(&def);
  }
  kit.title_font = nullptr;
  if (FILE* f = std::fopen(kBoldFontPath, "rb")) {
    std::fclose(f);
    kit.title_font = io.Fonts->AddFontFromFileTTF(kBoldFontPath, 16.0f * scale);
  }
  io.FontGlobalScale = 1.0f / scale;
  unsigned char* pixels = nullptr;
  int w = 0, h = 0;
  io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
  glGenTextures(1, &kit.font_texture);
  glBindTexture(GL_TEXTURE_2D, kit.font_texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  glBindTexture(GL_TEXTURE_2D, 0);
  io.Fonts->SetTexID(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(kit.font_texture)));
  io.Fonts->ClearTexData();
  return kit.font_texture != 0;
}

void UIKitShutdown() {
  if (!kit.ctx) return;
  for (auto& t : kit.textures)
    if (t.second) glDeleteTextures(1, &t.second);
  kit.textures.clear();
  if (kit.font_texture) glDeleteTextures(1, &kit.font_texture);
  kit.font_texture = 0;
  ImGui::DestroyContext(kit.ctx);
  kit.ctx = nullptr;
  kit.title_font = nullptr;
  kit.pending.clear();
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
    nav.advance();
  } else {
    ImGui::EndFrame();
  }
  RunPending();
}

bool UIKitClick(UINavigationController& nav, float x, float y) {
  if (!kit.ctx) return false;
  ImGuiIO& io = ImGui::GetIO();
  bool ran = false;
  const bool downs[3] = {false, true, false};
  for (bool down : downs) {
    io.MousePos = ImVec2(x, y);
    io.MouseDown[0] = down;
    Build(nav);
    ImGui::EndFrame();
    ran = RunPending() || ran;
  }
  return ran;
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
