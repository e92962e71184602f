// The interface's fonts: DejaVu Sans and its bold face, read at run time and
// rasterised at the pixel scale, with a box drawn for the characters they
// lack; ImGui's own font without them.
#include <imgui.h>
#include <imgui_internal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "app/ui_internal.h"
#include "files/files.h"
#include "gles/gl_texture.h"
#include "gles/gles.h"

namespace uidraw {
namespace {

const char* const kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kBoldFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
const uint64_t kFontLimit = 32u << 20;  // far above any interface font

// Latin with its supplements and extensions, Greek, Cyrillic with its
// supplement, general punctuation (the ellipsis) and the check mark.
const ImWchar kGlyphRanges[] = {0x0020, 0x024F, 0x0370, 0x03FF, 0x0400, 0x052F, 0x2000, 0x206F, 0x2713, 0x2713, 0};
// The one glyph for any character the font lacks, characters beyond 16 bits
// included (ImGui reads those as U+FFFD): an empty box, drawn by us.
const ImWchar kMissingGlyph = 0xFFFD;

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

}  // namespace

float PointSize(const ImFont* font) { return font->FontSize / kit.font_scale; }

ImFont* BodyFont() { return kit.ctx->IO.Fonts->Fonts[0]; }
ImFont* TitleFont() { return kit.title_font ? kit.title_font : BodyFont(); }

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
  kit.font_texture = GlMakeTexture(GL_ALPHA, w, h, pixels, GlTextureLook());
  glBindTexture(GL_TEXTURE_2D, 0);
  io.Fonts->SetTexID(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(kit.font_texture)));
  io.Fonts->ClearTexData();
  return kit.font_texture != 0;
}

}  // namespace uidraw
