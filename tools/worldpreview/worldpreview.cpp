// Preview sheets of the generated backdrops, drawn headless by the engine's
// own renderer: each backdrop at the start-up camera, turned 90 and 180
// degrees, and zoomed out to the limit while turned, with her standing in it
// in the matching outfit (when the bundle holds the character) and her
// ground shadow.
//
//   worldpreview <bundle folder> <output folder>
// writes preview_<backdrop>.png (one row of four views) and preview_all.png
// (all backdrops, half size) into the output folder.
#include <cstdio>
#include <string>
#include <vector>

#include "backdrop_view.h"
#include "catalog/catalog.h"
#include "cli/cli.h"
#include "files/bundle.h"
#include "picture/picture_file.h"
#include "render/mesh_utils.h"
#include "render/simple_ogl_shadow.h"
#include "scene/ModelPOD.h"
#include "surface/EAGLView.h"
#include "texture/gamelib.h"

namespace {

const int kW = 320, kH = 480, kGap = 8;

struct Sheet {
  int w, h;
  std::vector<uint8_t> px;
  Sheet(int width, int height) : w(width), h(height), px(size_t(width) * size_t(height) * 4, 0) {
    for (size_t i = 0; i < px.size(); i += 4) {
      px[i] = px[i + 1] = px[i + 2] = 24;
      px[i + 3] = 255;
    }
  }
  // Copies a shot in, averaging 2x2 blocks when `half`. Alpha is set opaque:
  // unlit materials leave 0 in the colour buffer's alpha, which the screen
  // never shows but a picture viewer would.
  void Put(const std::vector<uint8_t>& shot, int ox, int oy, bool half) {
    int s = half ? 2 : 1;
    for (int y = 0; y < kH / s; ++y)
      for (int x = 0; x < kW / s; ++x)
        for (int c = 0; c < 3; ++c) {
          int sum = 0;
          for (int dy = 0; dy < s; ++dy)
            for (int dx = 0; dx < s; ++dx) sum += shot[(size_t(y * s + dy) * kW + size_t(x * s + dx)) * 4 + size_t(c)];
          px[(size_t(oy + y) * size_t(w) + size_t(ox + x)) * 4 + size_t(c)] = uint8_t(sum / (s * s));
        }
  }
};

}  // namespace

int main(int argc, char** argv) {
  const CliProgram cli = {"worldpreview",
                          "BUNDLE_DIR OUT_DIR",
                          2,
                          2,
                          {},
                          "Draws preview_<backdrop>.png and preview_all.png into OUT_DIR.\n"};
  CliArgs args;
  const int parsed = CliParse(cli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  const std::string out = args.operands[1];
  BundleSetRoot(args.operands[0].c_str());
  const std::string problem = BundleProblem();
  if (!problem.empty()) {
    std::fprintf(stderr, "worldpreview: %s\n", problem.c_str());
    return kExitNoInput;
  }
  if (!CliIsFolder(cli, out)) return kExitIoError;
  EAGLView* view = EAGLView::CreateHeadless(kW, kH);
  if (!view) {
    std::fprintf(stderr, "worldpreview: no GL context\n");
    return 1;
  }
  BackdropViewInit();
  SimpleShadow shadow = {};
  SimpleShadowCreate(&shadow, 12, 2.0f, 56, 96.0f);

  BackdropCamera views[4];
  views[1].angle = 90;
  views[2].angle = 180;
  views[3].angle = 225;
  views[3].dist = 600;
  Sheet all(4 * (kW / 2 + kGap) + kGap, 4 * (kH / 2 + kGap) + kGap);
  int status = 0;
  for (int b = 0; b < kCatalogOptions; ++b) {
    CPODScene bg;
    if (!LoadPodModel(&bg, kOutfitBackdrops[b], "background", true)) {
      status = 1;
      continue;
    }
    CPODScene girl;
    bool withGirl = BackdropLoadCharacter(&girl, b, b, (b + 1) % 4);
    Sheet row(4 * (kW + kGap) + kGap, kH + 2 * kGap);
    for (int v = 0; v < 4; ++v) {
      // Different frames per view show the motion has moved things on.
      float frame = float(v) * 150.0f;
      if (frame >= float(bg.frameCount)) frame = 0;
      BackdropViewDraw(&bg, frame, views[v], &shadow, withGirl ? &girl : nullptr, 1 + float(v) * 40);
      std::vector<uint8_t> shot;
      if (!EAGLViewReadPixels(view, shot)) {
        status = 1;
        break;
      }
      row.Put(shot, kGap + v * (kW + kGap), kGap, false);
      all.Put(shot, kGap + v * (kW / 2 + kGap), kGap + b * (kH / 2 + kGap), true);
    }
    std::string path = out + "/preview_" + std::string(kOutfitBackdrops[b] + 3) + ".png";
    if (!WritePng(path, row.w, row.h, row.px.data())) status = 1;
    ReleaseTextures();
    bg.Destroy();
    girl.Destroy();
  }
  if (!WritePng(out + "/preview_all.png", all.w, all.h, all.px.data())) status = 1;
  SimpleShadowFree(&shadow);
  delete view;
  return status;
}
