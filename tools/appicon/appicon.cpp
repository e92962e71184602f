// appicon: the app's icon, her head and shoulders drawn by the app's own
// renderer (as girlpreview draws her) on a rounded tile.
//
//   appicon OUT_DIR --icons ICON_DIR [--web WEB_DIR] [--stamp FILE]
//
// Writes OUT_DIR/ovanta_icon.png (256 x 256, the window's icon),
// ICON_DIR/<N>x<N>/apps/ovanta.png for N = 48, 64, 128, 256 (the hicolor
// theme's folders, for the install) and, with --web, the web app's icons
// for phones' home screens: WEB_DIR/icon-192.png and icon-512.png (the
// rounded tile) and icon-maskable-512.png (the whole square filled, her
// inside the circle phones may cut it to). Runs headless at build time,
// naming its files to the build (tools/bundle_out).
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "bundle_out.h"
#include "files/bundle.h"
#include "girl_view.h"
#include "gles/gles.h"
#include "surface/EAGLView.h"

namespace {

// Drawn finer than the largest icon and averaged down, for smooth edges.
constexpr int kIcon = 256, kSide = 1024;
// The 2:3 view the camera frames, with room around the square crop.
constexpr int kViewW = kSide * 6 / 5, kViewH = kViewW * 3 / 2;
constexpr int kCropX = kSide / 8, kCropY = kSide * 2 / 5;

struct Rgba {
  float r, g, b, a;
};

// Her picture with the clear colour keyed out: premultiplied, straight from the frame.
std::vector<Rgba> Portrait(const std::vector<uint8_t>& frame) {
  std::vector<Rgba> out(static_cast<size_t>(kSide) * kSide);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const uint8_t* p = &frame[(static_cast<size_t>(y + kCropY) * kViewW + x + kCropX) * 4];
      const bool background =
          p[0] == kGirlViewBackground[0] && p[1] == kGirlViewBackground[1] && p[2] == kGirlViewBackground[2];
      out[static_cast<size_t>(y) * kSide + x] =
          background ? Rgba{0, 0, 0, 0} : Rgba{p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f, 1};
    }
  return out;
}

// Coverage of a rounded square (corner radius r) at a point, 0 or 1.
bool InTile(float x, float y, float size, float r) {
  const float cx = std::clamp(x, r, size - r), cy = std::clamp(y, r, size - r);
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

// The tile's colour at a fine pixel: a rose-to-violet gradient, top to bottom.
Rgba Backdrop(int fy) {
  const float t = static_cast<float>(fy) / kSide;
  return {0.96f - 0.38f * t, 0.62f - 0.30f * t, 0.78f + 0.08f * t, 1};
}

// Phones cut a maskable icon to their own shape, keeping at least the
// circle of 0.4 of its side around the centre: she is drawn this much
// smaller, in the middle and standing on the bottom edge as on the tile.
constexpr float kMaskableScale = 0.8f;

// The icon at N x N, averaged from the fine picture (each icon pixel the
// fine pixels it covers). The tile: the gradient, her over it, inside the
// rounded square. Maskable: the gradient fills the square, she is smaller.
std::vector<uint8_t> Icon(const std::vector<Rgba>& her, int n, bool maskable = false) {
  std::vector<uint8_t> out(static_cast<size_t>(n) * n * 4);
  const float radius = kSide * 0.2f;
  const float margin = kSide * (1 - kMaskableScale) / 2, top = kSide * (1 - kMaskableScale);
  const auto fine = [n](int i) { return static_cast<int>(static_cast<long>(i) * kSide / n); };
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float r = 0, g = 0, b = 0, a = 0;
      int samples = 0;
      for (int fy = fine(y); fy < fine(y + 1); ++fy)
        for (int fx = fine(x); fx < fine(x + 1); ++fx) {
          ++samples;
          Rgba p = {0, 0, 0, 0};
          if (maskable) {
            const int hx = static_cast<int>((fx - margin) / kMaskableScale);
            const int hy = static_cast<int>((fy - top) / kMaskableScale);
            if (fx >= margin && fy >= top && hx < kSide && hy < kSide) p = her[static_cast<size_t>(hy) * kSide + hx];
          } else {
            if (!InTile(fx + 0.5f, fy + 0.5f, kSide, radius)) continue;
            p = her[static_cast<size_t>(fy) * kSide + fx];
          }
          const Rgba bg = Backdrop(fy);
          r += p.r + bg.r * (1 - p.a);
          g += p.g + bg.g * (1 - p.a);
          b += p.b + bg.b * (1 - p.a);
          a += 1;
        }
      uint8_t* q = &out[(static_cast<size_t>(y) * n + x) * 4];
      // Straight alpha: colour averaged over the covered samples only.
      const float cover = a / samples;
      q[0] = static_cast<uint8_t>(a > 0 ? std::lround(255 * r / a) : 0);
      q[1] = static_cast<uint8_t>(a > 0 ? std::lround(255 * g / a) : 0);
      q[2] = static_cast<uint8_t>(a > 0 ? std::lround(255 * b / a) : 0);
      q[3] = static_cast<uint8_t>(std::lround(255 * cover));
    }
  return out;
}

bool MakeFolders(const std::string& path) {
  for (size_t at = 1; at != std::string::npos;) {
    at = path.find('/', at + 1);
    const std::string part = path.substr(0, at);
    struct stat st;
    if (stat(part.c_str(), &st) != 0 && mkdir(part.c_str(), 0755) != 0) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CliProgram cli = {"appicon",
                    "",
                    0,
                    0,
                    {{"--icons", "ICON_DIR", "where the hicolor sizes go (required)"},
                     {"--web", "WEB_DIR", "where the web app's icons go"}},
                    "Draws her from the models in OUT_DIR into OUT_DIR/ovanta_icon.png and\n"
                    "ICON_DIR/NxN/apps/ovanta.png (and WEB_DIR/icon-*.png).\n"};
  CliArgs args;
  const int parsed = BundleOutArgs(&cli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  const std::string resources = args.operands[0], icons = args.Value("--icons"), web = args.Value("--web");
  if (icons.empty()) return CliUsageError(cli, "--icons ICON_DIR is required");
  BundleSetRoot(resources.c_str());
  EAGLView* view = EAGLView::CreateHeadless(kViewW, kViewH);
  if (!view) {
    std::fprintf(stderr, "appicon: no GL surface\n");
    return 1;
  }
  view->setCurrentContext();
  glViewport(0, 0, kViewW, kViewH);
  GirlView girl;
  // The first start's look: casual outfit, blonde, the first skin tone.
  if (!GirlViewLoad(girl, 1, 0, 0)) {
    std::fprintf(stderr, "appicon: her model is not in %s\n", resources.c_str());
    delete view;
    return kExitNoInput;
  }
  GirlViewDraw(girl, 0, 15.0f, 235.0f, -318.0f);
  std::vector<uint8_t> frame;
  const bool read = EAGLViewReadPixels(view, frame);
  GirlViewRelease(girl);
  delete view;
  if (!read) {
    std::fprintf(stderr, "appicon: the frame could not be read\n");
    return 1;
  }
  const std::vector<Rgba> her = Portrait(frame);
  bool ok = true;
  const std::vector<uint8_t> big = Icon(her, kIcon);
  ok = EAGLWritePNG(BundleOutPath(resources, "ovanta_icon.png").c_str(), big.data(), kIcon, kIcon) && ok;
  for (int n : {48, 64, 128, 256}) {
    const std::string size = std::to_string(n) + "x" + std::to_string(n) + "/apps";
    const std::vector<uint8_t> px = n == kIcon ? big : Icon(her, n);
    ok = MakeFolders(icons + "/" + size) &&
         EAGLWritePNG(BundleOutPath(icons, size + "/ovanta.png").c_str(), px.data(), n, n) && ok;
  }
  if (!web.empty()) {
    ok = MakeFolders(web) && ok;
    for (const auto& [name, n, maskable] :
         {std::tuple{"icon-192.png", 192, false}, std::tuple{"icon-512.png", 512, false},
          std::tuple{"icon-maskable-512.png", 512, true}}) {
      const std::vector<uint8_t> px = Icon(her, n, maskable);
      ok = EAGLWritePNG(BundleOutPath(web, name).c_str(), px.data(), n, n) && ok;
    }
  }
  return ok && BundleOutFinish("appicon", args.Value("--stamp")) ? 0 : 1;
}
