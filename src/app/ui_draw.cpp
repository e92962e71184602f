#include "app/ui_draw.h"

#include <imgui.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <vector>

#include "app/ui_internal.h"
#include "app/ui_render.h"
#include "gles/gles.h"

namespace uidraw {

KitState kit;

bool RunPending() {
  std::vector<std::function<void()>> run;
  run.swap(kit.pending);
  for (auto& fn : run) fn();
  return !run.empty();
}

}  // namespace uidraw

using namespace uidraw;

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

void UIKitFrame(UINavigationController& nav, bool render) {
  if (!kit.ctx) return;
  Build(nav);
  if (render) {
    ImGui::Render();
    UIKitRender(ImGui::GetDrawData());
    kit.pieces_valid = false;
    nav.advance();
  } else {
    ImGui::EndFrame();
  }
  RunPending();
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

void UIKitSetOverlay(const UIOverlay* overlay) { kit.overlay = overlay; }
