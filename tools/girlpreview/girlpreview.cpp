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
// that fail first, the hands, and her face rig (eyes, gaze and mouth shapes,
// near and at the default camera). Runs headless on the GL ES 1.1 driver
// (llvmpipe in CI).
#include "gles/gles.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "files/bundle.h"
#include "girl_view.h"
#include "surface/EAGLView.h"

namespace {

constexpr int kCellW = 240, kCellH = 360;

// Where the camera stands for one picture: the clip frame, the turn in
// degrees, the distance and the pan (the app's defaults: 560 and -200).
struct Shot {
  float frame, angle, dist = 560.0f, panY = -200.0f;
};

// A sheet of `cols` x `rows` cells of kCellW x kCellH, white.
struct Sheet {
  int cols, rows;
  std::vector<uint8_t> px;
  Sheet(int c, int r) : cols(c), rows(r), px(static_cast<size_t>(c) * kCellW * r * kCellH * 4, 255) {}
  void Paste(const std::vector<uint8_t>& cell, int col, int row) {
    for (int y = 0; y < kCellH; ++y)
      std::memcpy(&px[((static_cast<size_t>(row) * kCellH + y) * cols * kCellW + col * kCellW) * 4],
                  &cell[static_cast<size_t>(y) * kCellW * 4], kCellW * 4);
  }
  bool Write(const std::string& path) const {
    return EAGLWritePNG(path.c_str(), px.data(), cols * kCellW, rows * kCellH);
  }
};

// SHEET.png -> SHEET<suffix>.png
std::string Beside(const std::string& sheet, const char* suffix) {
  return sheet.substr(0, sheet.size() > 4 ? sheet.size() - 4 : 0) + suffix;
}

// Draws `shot` of the loaded model and puts it into the sheet at (col, row).
void DrawInto(EAGLView* view, GirlView& girl, const Shot& shot, Sheet& sheet, int col, int row) {
  std::vector<uint8_t> cell;
  GirlViewDraw(girl, shot.frame, shot.angle, shot.dist, shot.panY);
  EAGLViewReadPixels(view, cell);
  sheet.Paste(cell, col, row);
}

// Each outfit in its own row (hair and skin varying with it), one column a
// shot; counts the outfits that failed to load.
int OutfitRows(EAGLView* view, const std::vector<Shot>& shots, Sheet& sheet, int firstCol = 0) {
  int failures = 0;
  for (int o = 0; o < 4; ++o) {
    GirlView girl;
    if (!GirlViewLoad(girl, o, (o + 1) % 4, o)) {
      ++failures;
      continue;
    }
    for (size_t k = 0; k < shots.size(); ++k) DrawInto(view, girl, shots[k], sheet, firstCol + int(k), o);
    GirlViewRelease(girl);
  }
  return failures;
}

// The contact sheet: per outfit front, three-quarter and key frames of every
// clip; a last row with every skin tone and every hair colour, turning a little.
int ContactSheet(EAGLView* view, Sheet& sheet) {
  std::vector<Shot> shots = {{0, 0}, {0, 35}};
  for (float frame : {60, 120, 180, 200, 230, 262, 303, 313, 326}) shots.push_back({frame, 0});
  int failures = OutfitRows(view, shots, sheet);
  for (int k = 0; k < 11; ++k) {
    GirlView girl;
    if (!GirlViewLoad(girl, (k / 2) % 4, (k + k / 4) % 4, k % 4)) {
      ++failures;
      continue;
    }
    DrawInto(view, girl, {0, -20.0f + 4.0f * k}, sheet, k, 4);
    GirlViewRelease(girl);
  }
  return failures;
}

// A closer look, as far as the pinch gesture goes: each outfit, front and
// turned, side by side in one row.
void CloseSheet(EAGLView* view, Sheet& sheet) {
  for (int o = 0; o < 4; ++o) {
    GirlView girl;
    if (!GirlViewLoad(girl, o, (o + 1) % 4, o)) continue;
    for (int k = 0; k < 2; ++k) DrawInto(view, girl, {0, k ? 30.0f : 0.0f, 150, -318}, sheet, o * 2 + k, 0);
    GirlViewRelease(girl);
  }
}

// Her face rig, one pose a column: eyes open, half shut and closed; looking
// to the left and right of the picture, up and down; each mouth shape. The
// top row is near; the bottom row is the default camera as the window draws
// it (two pixels a point), enlarged three times pixel for pixel.
bool FaceSheet(const std::string& path) {
  constexpr int kW = 640, kH = 960, kSide = 240;
  EAGLView* view = EAGLView::CreateHeadless(kW, kH);
  if (!view) return false;
  view->setCurrentContext();
  glViewport(0, 0, kW, kH);
  std::vector<FacePose> poses;
  for (float lids : {0.0f, 0.5f, 1.0f}) {
    FacePose p;
    p.lids = lids;
    poses.push_back(p);
  }
  const float looks[4][2] = {{-1, 0}, {1, 0}, {0, 1}, {0, -1}};
  for (const auto& l : looks) {
    FacePose p;
    p.eye_yaw = 25 * l[0], p.head_yaw = 20 * l[0];
    p.eye_pitch = 20 * l[1], p.head_pitch = 12 * l[1];
    poses.push_back(p);
  }
  for (int m = 0; m < kMouthShapeCount; ++m) {
    FacePose p;
    FaceMouthPose(&p, static_cast<MouthShape>(m), 1.0f);
    poses.push_back(p);
  }
  const int cols = static_cast<int>(poses.size());
  std::vector<uint8_t> sheet(static_cast<size_t>(cols) * kSide * 2 * kSide * 4, 255), frame;
  GirlView l;
  bool ok = GirlViewLoad(l, 1, 0, 0);
  for (int c = 0; ok && c < cols; ++c)
    for (int row = 0; row < 2; ++row) {
      // Her face is at the middle of the picture near, a quarter down at the default camera.
      if (row == 0)
        GirlViewDraw(l, 0, 0, 150.0f, -318.0f, &poses[c]);
      else
        GirlViewDraw(l, 0, 0, 560.0f, -200.0f, &poses[c]);
      ok = EAGLViewReadPixels(view, frame) && ok;
      const int cx = kW / 2, cy = row == 0 ? kH / 2 : 250, scale = row == 0 ? 1 : 3, half = kSide / scale / 2;
      for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
          const int sx = cx - half + x / scale, sy = cy - half + y / scale;
          std::memcpy(&sheet[((static_cast<size_t>(row) * kSide + y) * cols * kSide + c * kSide + x) * 4],
                      &frame[(static_cast<size_t>(sy) * kW + sx) * 4], 4);
        }
    }
  GirlViewRelease(l);
  delete view;
  return ok && EAGLWritePNG(path.c_str(), sheet.data(), cols * kSide, 2 * kSide);
}

// A large portrait of each outfit, nearer than the default camera.
bool Portraits(const std::string& path) {
  const int pw = 480, ph = 720;
  std::unique_ptr<EAGLView> big(EAGLView::CreateHeadless(pw, ph));
  if (!big) return true;
  big->setCurrentContext();
  glViewport(0, 0, pw, ph);
  std::vector<uint8_t> portraits(static_cast<size_t>(4) * pw * ph * 4, 255), cell;
  for (int o = 0; o < 4; ++o) {
    GirlView girl;
    if (!GirlViewLoad(girl, o, (o + 1) % 4, o)) continue;
    GirlViewDraw(girl, 0, o % 2 ? 25.0f : -15.0f, 340.0f, -212.0f);
    EAGLViewReadPixels(big.get(), cell);
    for (int y = 0; y < ph; ++y)
      std::memcpy(&portraits[(static_cast<size_t>(y) * 4 * pw + o * pw) * 4], &cell[static_cast<size_t>(y) * pw * 4],
                  pw * 4);
    GirlViewRelease(girl);
  }
  return EAGLWritePNG(path.c_str(), portraits.data(), 4 * pw, ph);
}

}  // namespace

int main(int argc, char** argv) {
  const CliProgram cli = {
      "girlpreview",
      "RESOURCES_DIR SHEET.png",
      2,
      2,
      {},
      "Also writes SHEET_clips, _close, _detail, _hands, _portraits and _face.png beside SHEET.png.\n"};
  CliArgs args;
  const int parsed = CliParse(cli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  BundleSetRoot(args.operands[0].c_str());
  const std::string problem = BundleProblem();
  if (!problem.empty()) {
    std::fprintf(stderr, "girlpreview: %s\n", problem.c_str());
    return kExitNoInput;
  }
  const std::string out = args.operands[1];
  const size_t slash = out.rfind('/');
  if (!CliIsFolder(cli, slash == std::string::npos ? "." : out.substr(0, slash + 1))) return kExitIoError;
  std::unique_ptr<EAGLView> view(EAGLView::CreateHeadless(kCellW, kCellH));
  if (!view) {
    std::fprintf(stderr, "girlpreview: no GL surface\n");
    return 1;
  }
  view->setCurrentContext();
  glViewport(0, 0, kCellW, kCellH);

  Sheet sheet(2 + 9, 5);
  const int failures = ContactSheet(view.get(), sheet);
  // Sheets with holes would pass for what she looks like; none are written.
  if (failures) {
    std::fprintf(stderr, "girlpreview: %d models failed to load from %s; no sheets written\n", failures,
                 args.operands[0].c_str());
    return kExitNoInput;
  }
  bool ok = sheet.Write(out);
  Sheet close(8, 1);
  CloseSheet(view.get(), close);
  // Her clips larger, every outfit, to look for cloth or hair passing through her.
  Sheet clips(12, 4);
  std::vector<Shot> clipShots;
  int k = 0;
  for (float frame : {90, 190, 205, 219, 233, 247, 261, 275, 304, 311, 316, 330})
    clipShots.push_back({frame, k++ % 3 == 2 ? 40.0f : 0.0f, 330, -200});
  OutfitRows(view.get(), clipShots, clips);
  // The places that go wrong first, near: the hair from the side and from
  // behind, a hand, and the garment edges at the hip and under the arm.
  Sheet detail(4, 4);
  OutfitRows(view.get(), {{0, 90, 230, -300}, {0, 160, 260, -290}, {0, 90, 110, -165}, {0, 25, 130, -170}}, detail);
  // Her hands nearer than the pinch goes, to see the fingers apart and the
  // wrist joint: the back of the left hand, the right hand's fingertips,
  // both hands raised in the shake, and one mid-dance.
  Sheet hands(4, 4);
  OutfitRows(view.get(), {{0, 90, 82, -158}, {0, -90, 78, -150}, {316, 0, 150, -290}, {247, 20, 200, -185}}, hands);
  ok = hands.Write(Beside(out, "_hands.png")) && ok;
  ok = detail.Write(Beside(out, "_detail.png")) && ok;
  ok = clips.Write(Beside(out, "_clips.png")) && ok;
  ok = close.Write(Beside(out, "_close.png")) && ok;
  view.reset();
  ok = Portraits(Beside(out, "_portraits.png")) && ok;
  ok = FaceSheet(Beside(out, "_face.png")) && ok;
  return ok ? 0 : kExitIoError;
}
