// Drawing the kit's screens with Dear ImGui: the buttons, labels, panels,
// pictures and text fields of each visible screen, the name over the scene
// and the overlay over everything, and the clicks each control takes.
#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/ui_draw.h"
#include "app/ui_internal.h"
#include "uikit/uikit.h"
#include "uikit/utf8.h"

namespace uidraw {
namespace {

// The interface's colours on the light screens.
const ImU32 kAccent = IM_COL32(31, 82, 184, 255);       // 7:1 on white
const ImU32 kHoverTint = IM_COL32(238, 240, 245, 255);  // a light screen's key under the pointer
const ImU32 kHoverRim = IM_COL32(96, 104, 122, 255);
const ImU32 kPressTint = IM_COL32(212, 217, 228, 255);  // ... pressed
const ImU32 kFieldInk = IM_COL32(20, 20, 31, 255);
const ImU32 kPlaceholderInk = IM_COL32(102, 102, 115, 255);  // 5.7:1 on white

ImU32 Rgba(const UIColor& c, float alpha = 1.0f) {
  return ImGui::ColorConvertFloat4ToU32(ImVec4(c.r, c.g, c.b, c.a * alpha));
}

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
    dl->AddRect(p0, p1, IM_COL32(255, 255, 255, static_cast<int>(rim * alpha)), rounding, 0,
                hover || held ? 2.0f : 1.0f);
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

// The name field: the kit edits it (uikit/uikit.h); here it is drawn,
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
  auto width_to = [&](size_t bytes) {
    return font->CalcTextSizeA(fs, 1e6f, 0.0f, text.c_str(), text.c_str() + bytes).x;
  };
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
  dl->AddRect(p0, p1,
              tf->focused ? kAccent
              : in.hover  ? IM_COL32(120, 130, 150, 255)
                          : IM_COL32(200, 205, 215, 255),
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
  dl->AddText(bold, tfs, ImVec2(std::round((w - ts.x) * 0.5f), p0.y + 9), IM_COL32(255, 255, 255, 255),
              o.title.c_str());
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

}  // namespace

void Build(UINavigationController& nav) {
  ImGuiIO& io = ImGui::GetIO();
  io.DisplaySize = ImVec2(kit.width, kit.height);
  io.DisplayFramebufferScale = ImVec2(kit.scale, kit.scale);
  io.DeltaTime = 1.0f / 30.0f;
  ImGui::NewFrame();
  // Bottom first: the screen under a push, or the top one under a screen
  // sliding out after a pop (which was one level deeper).
  const auto shown = kit.desktop ? std::vector<std::pair<UIViewController*, float>>() : nav.visible(kit.width);
  const int top = static_cast<int>(nav.depth()) - 1;
  if (kit.floating) DrawScreen(kit.floating, 0, true, top + 2);
  for (size_t i = 0; i < shown.size(); ++i) {
    const bool on_top = shown[i].first == nav.topViewController();
    DrawScreen(shown[i].first, shown[i].second, on_top, on_top ? top : i == 0 ? top - 1 : top + 1);
  }
  if (kit.overlay) DrawOverlay(*kit.overlay);
}

}  // namespace uidraw

using namespace uidraw;

std::vector<std::string> UIKitLabelLines(const UILabel& label) {
  if (!kit.ctx) return {};
  ImFont* font = LabelFont(label);
  const float fs = PointSize(font) * label.size;
  if (!label.wrap) return {label.text};
  const float width = BalancedWrap(font, fs, label.text, label.frame.width - 2 * LabelPad(label));
  return WrapLines(font, fs, label.text, width);
}
