// girlpreview: contact sheets of her, drawn by the app's own renderer.
//
//   girlpreview RESOURCES_DIR SHEET.png
//
// Loads each outfit from the bundle exactly as the scene loading does
// (model, skin + hair + outfit composite, material fix-ups), sets the frame
// update's camera and light at the default camera, and draws: per outfit a
// front and a three-quarter view, then key frames of idle, dance-in, dance,
// dance-out and shake; a last row shows every skin tone with every hair
// colour. Further sheets look closer: the outfits, the clips, the places
// that fail first, and the hands. Runs headless on the GL ES 1.1 driver
// (llvmpipe in CI).
#include "gles/gles.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/EAGLView.h"
#include "platform/bundle.h"
#include "girl_view.h"

namespace {

constexpr int kCellW = 240, kCellH = 360;

void Paste(std::vector<uint8_t>& sheet, int sheetW, const std::vector<uint8_t>& cell, int col, int row) {
  for (int y = 0; y < kCellH; ++y)
    std::memcpy(&sheet[((static_cast<size_t>(row) * kCellH + y) * sheetW + col * kCellW) * 4],
                &cell[static_cast<size_t>(y) * kCellW * 4], kCellW * 4);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: girlpreview RESOURCES_DIR SHEET.png\n");
    return 2;
  }
  BundleSetRoot(argv[1]);
  EAGLView* view = EAGLView::CreateHeadless(kCellW, kCellH);
  if (!view) {
    std::fprintf(stderr, "girlpreview: no GL surface\n");
    return 1;
  }
  view->setCurrentContext();
  glViewport(0, 0, kCellW, kCellH);
  const float frames[] = {60, 120, 180, 200, 230, 262, 303, 313, 326};
  const int cols = 2 + 9, rows = 5;
  std::vector<uint8_t> sheet(static_cast<size_t>(cols) * kCellW * rows * kCellH * 4, 255);
  std::vector<uint8_t> cell;
  int failures = 0;
  for (int o = 0; o < 4; ++o) {
    GirlView l;
    if (!GirlViewLoad(l, o, (o + 1) % 4, o)) {
      ++failures;
      continue;
    }
    GirlViewDraw(l, 0, 0);
    EAGLViewReadPixels(view, cell);
    Paste(sheet, cols * kCellW, cell, 0, o);
    GirlViewDraw(l, 0, 35);
    EAGLViewReadPixels(view, cell);
    Paste(sheet, cols * kCellW, cell, 1, o);
    for (int k = 0; k < 9; ++k) {
      GirlViewDraw(l, frames[k], 0);
      EAGLViewReadPixels(view, cell);
      Paste(sheet, cols * kCellW, cell, 2 + k, o);
    }
    GirlViewRelease(l);
  }
  // Every skin tone with every hair colour, turning a little.
  for (int k = 0; k < 11; ++k) {
    const int skin = k % 4, hair = (k + k / 4) % 4, outfit = (k / 2) % 4;
    GirlView l;
    if (!GirlViewLoad(l, outfit, hair, skin)) {
      ++failures;
      continue;
    }
    GirlViewDraw(l, 0, -20.0f + 4.0f * k);
    EAGLViewReadPixels(view, cell);
    Paste(sheet, cols * kCellW, cell, k, 4);
    GirlViewRelease(l);
  }
  bool ok = EAGLWritePNG(argv[2], sheet.data(), cols * kCellW, rows * kCellH);
  // A closer look, as far as the pinch gesture goes: each outfit, front and turned.
  std::vector<uint8_t> close(static_cast<size_t>(8) * kCellW * kCellH * 4, 255);
  for (int o = 0; o < 4; ++o) {
    GirlView l;
    if (!GirlViewLoad(l, o, (o + 1) % 4, o)) continue;
    for (int k = 0; k < 2; ++k) {
      GirlViewDraw(l, 0, k ? 30.0f : 0.0f, 150.0f, -318.0f);
      EAGLViewReadPixels(view, cell);
      for (int y = 0; y < kCellH; ++y)
        std::memcpy(&close[(static_cast<size_t>(y) * 8 * kCellW + (o * 2 + k) * kCellW) * 4],
                    &cell[static_cast<size_t>(y) * kCellW * 4], kCellW * 4);
    }
    GirlViewRelease(l);
  }
  // Her clips larger, every outfit, to look for cloth or hair passing through her.
  const float clipFrames[] = {90, 190, 205, 219, 233, 247, 261, 275, 304, 311, 316, 330};
  std::vector<uint8_t> clips(static_cast<size_t>(12) * kCellW * 4 * kCellH * 4, 255);
  for (int o = 0; o < 4; ++o) {
    GirlView l;
    if (!GirlViewLoad(l, o, (o + 1) % 4, o)) continue;
    for (int k = 0; k < 12; ++k) {
      GirlViewDraw(l, clipFrames[k], k % 3 == 2 ? 40.0f : 0.0f, 330.0f, -200.0f);
      EAGLViewReadPixels(view, cell);
      for (int y = 0; y < kCellH; ++y)
        std::memcpy(&clips[((static_cast<size_t>(o) * kCellH + y) * 12 * kCellW + k * kCellW) * 4],
                    &cell[static_cast<size_t>(y) * kCellW * 4], kCellW * 4);
    }
    GirlViewRelease(l);
  }
  // The places that go wrong first, near: the hair from the side and from
  // behind, a hand, and the garment edges at the hip and under the arm.
  struct Detail {
    float angle, dist, panY;
  };
  const Detail details[] = {{90, 230, -300}, {160, 260, -290}, {90, 110, -165}, {25, 130, -170}};
  std::vector<uint8_t> detail(static_cast<size_t>(4) * kCellW * 4 * kCellH * 4, 255);
  for (int o = 0; o < 4; ++o) {
    GirlView l;
    if (!GirlViewLoad(l, o, (o + 1) % 4, o)) continue;
    for (int k = 0; k < 4; ++k) {
      GirlViewDraw(l, 0, details[k].angle, details[k].dist, details[k].panY);
      EAGLViewReadPixels(view, cell);
      for (int y = 0; y < kCellH; ++y)
        std::memcpy(&detail[((static_cast<size_t>(o) * kCellH + y) * 4 * kCellW + k * kCellW) * 4],
                    &cell[static_cast<size_t>(y) * kCellW * 4], kCellW * 4);
    }
    GirlViewRelease(l);
  }
  // Her hands nearer than the pinch goes, to see the fingers apart and the
  // wrist joint: the back of the left hand, the right hand's fingertips,
  // both hands raised in the shake, and one mid-dance.
  struct HandView {
    float frame, angle, dist, panY;
  };
  const HandView handViews[] = {{0, 90, 82, -158}, {0, -90, 78, -150}, {316, 0, 150, -290}, {247, 20, 200, -185}};
  std::vector<uint8_t> hands(static_cast<size_t>(4) * kCellW * 4 * kCellH * 4, 255);
  for (int o = 0; o < 4; ++o) {
    GirlView l;
    if (!GirlViewLoad(l, o, (o + 1) % 4, o)) continue;
    for (int k = 0; k < 4; ++k) {
      GirlViewDraw(l, handViews[k].frame, handViews[k].angle, handViews[k].dist, handViews[k].panY);
      EAGLViewReadPixels(view, cell);
      for (int y = 0; y < kCellH; ++y)
        std::memcpy(&hands[((static_cast<size_t>(o) * kCellH + y) * 4 * kCellW + k * kCellW) * 4],
                    &cell[static_cast<size_t>(y) * kCellW * 4], kCellW * 4);
    }
    GirlViewRelease(l);
  }
  std::string handsPath = argv[2];
  handsPath = handsPath.substr(0, handsPath.size() > 4 ? handsPath.size() - 4 : 0) + "_hands.png";
  ok = EAGLWritePNG(handsPath.c_str(), hands.data(), 4 * kCellW, 4 * kCellH) && ok;
  std::string detailPath = argv[2];
  detailPath = detailPath.substr(0, detailPath.size() > 4 ? detailPath.size() - 4 : 0) + "_detail.png";
  ok = EAGLWritePNG(detailPath.c_str(), detail.data(), 4 * kCellW, 4 * kCellH) && ok;
  std::string clipsPath = argv[2];
  clipsPath = clipsPath.substr(0, clipsPath.size() > 4 ? clipsPath.size() - 4 : 0) + "_clips.png";
  ok = EAGLWritePNG(clipsPath.c_str(), clips.data(), 12 * kCellW, 4 * kCellH) && ok;
  std::string closePath = argv[2];
  closePath = closePath.substr(0, closePath.size() > 4 ? closePath.size() - 4 : 0) + "_close.png";
  ok = EAGLWritePNG(closePath.c_str(), close.data(), 8 * kCellW, kCellH) && ok;
  delete view;
  // A large portrait of each outfit, nearer than the default camera.
  const int pw = 480, ph = 720;
  EAGLView* big = EAGLView::CreateHeadless(pw, ph);
  if (big) {
    big->setCurrentContext();
    glViewport(0, 0, pw, ph);
    std::vector<uint8_t> portraits(static_cast<size_t>(4) * pw * ph * 4, 255);
    for (int o = 0; o < 4; ++o) {
      GirlView l;
      if (!GirlViewLoad(l, o, (o + 1) % 4, o)) continue;
      GirlViewDraw(l, 0, o % 2 ? 25.0f : -15.0f, 340.0f, -212.0f);
      EAGLViewReadPixels(big, cell);
      for (int y = 0; y < ph; ++y)
        std::memcpy(&portraits[(static_cast<size_t>(y) * 4 * pw + o * pw) * 4], &cell[static_cast<size_t>(y) * pw * 4],
                    pw * 4);
      GirlViewRelease(l);
    }
    std::string path = argv[2];
    path = path.substr(0, path.size() > 4 ? path.size() - 4 : 0) + "_portraits.png";
    ok = EAGLWritePNG(path.c_str(), portraits.data(), 4 * pw, ph) && ok;
    delete big;
  }
  if (!ok || failures) std::fprintf(stderr, "girlpreview: %d models failed to load\n", failures);
  return ok && failures == 0 ? 0 : 1;
}
