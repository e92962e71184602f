// The backdrops drawn by the engine's renderer on a headless surface, the way
// the frame update draws them: they fill the whole view from every camera
// the gestures allow, and their motion shows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "gles/gles.h"

#include "backdrop_view.h"
#include "catalog/catalog.h"
#include "content_files.h"
#include "files/bundle.h"
#include "render/mesh_utils.h"
#include "scene/ModelPOD.h"
#include "surface/EAGLView.h"
#include "texture/gamelib.h"

namespace {

const int kW = 320, kH = 480;

class DrawnBackdrops : public ::testing::TestWithParam<const char*> {
 protected:
  static EAGLView* view;
  CPODScene scene;

  static void SetUpTestSuite() { view = EAGLView::CreateHeadless(kW, kH); }
  static void TearDownTestSuite() {
    delete view;
    view = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(view, nullptr) << "no headless GL context";
    BundleSetRoot(BundleDir().c_str());
    BackdropViewInit();
    // Magenta instead of the app's slate: no texture here is pure magenta, so
    // a pixel of it can only be a place the backdrop does not cover.
    glClearColor(1, 0, 1, 1);
    ASSERT_TRUE(LoadPodModel(&scene, GetParam(), "background", true));
  }
  void TearDown() override {
    ReleaseTextures();
    scene.Destroy();
    BundleSetRoot(nullptr);
  }
  std::vector<uint8_t> Shot(const BackdropCamera& cam, float frame, bool everyFace = false) {
    BackdropViewDraw(&scene, frame, cam, nullptr, nullptr, 0, everyFace);
    std::vector<uint8_t> px;
    EXPECT_TRUE(EAGLViewReadPixels(view, px));
    return px;
  }
};
EAGLView* DrawnBackdrops::view = nullptr;

// Pixels still showing the clear colour: places the backdrop does not cover.
int Uncovered(const std::vector<uint8_t>& px) {
  int n = 0;
  for (size_t i = 0; i + 3 < px.size(); i += 4)
    if (px[i] == 255 && px[i + 1] == 0 && px[i + 2] == 255) ++n;
  return n;
}

double LumaSpread(const std::vector<uint8_t>& px) {
  double sum = 0, sq = 0;
  size_t n = px.size() / 4;
  for (size_t i = 0; i < n; ++i) {
    double l = 0.3 * px[i * 4] + 0.59 * px[i * 4 + 1] + 0.11 * px[i * 4 + 2];
    sum += l;
    sq += l * l;
  }
  double mean = sum / double(n);
  return std::sqrt(std::max(0.0, sq / double(n) - mean * mean));
}

}  // namespace

// Every camera the gestures allow: each way round, near and far, panned to
// each limit.
std::vector<BackdropCamera> Cameras() {
  BackdropCamera cams[5];
  cams[1].dist = 600;  // zoomed out, panned to each limit
  cams[1].panX = -200;
  cams[1].panY = -30;
  cams[2].dist = 600;
  cams[2].panX = 200;
  cams[2].panY = -400;
  cams[3].dist = 150;  // zoomed in
  cams[4].dist = 600;
  std::vector<BackdropCamera> all;
  for (int a = 0; a < 360; a += 30)
    for (BackdropCamera cam : cams) {
      cam.angle = float(a);
      all.push_back(cam);
    }
  return all;
}

TEST_P(DrawnBackdrops, FillTheViewFromEveryCameraTheGesturesAllow) {
  for (const BackdropCamera& cam : Cameras()) {
    std::vector<uint8_t> px = Shot(cam, 0);
    EXPECT_EQ(Uncovered(px), 0) << "angle " << cam.angle << " dist " << cam.dist << " pan " << cam.panX << ","
                                << cam.panY;
    // Not one flat poster or a wall right at the lens: the picture has things in it.
    EXPECT_GT(LumaSpread(px), 8.0) << "angle " << cam.angle << " dist " << cam.dist;
  }
}

// The frame update culls the back faces of the backdrop's opaque meshes: no
// camera sees one, so the picture is the one every face drawn gives, but
// for single pixels along edges and seams where two faces come to the same
// depth (a few hundred at most).
TEST_P(DrawnBackdrops, CulledBackFacesAreNeverSeen) {
  for (const BackdropCamera& cam : Cameras()) {
    const std::vector<uint8_t> culled = Shot(cam, 0), every = Shot(cam, 0, true);
    int differ = 0;
    for (size_t i = 0; i + 3 < culled.size(); i += 4)
      differ += culled[i] != every[i] || culled[i + 1] != every[i + 1] || culled[i + 2] != every[i + 2];
    EXPECT_LT(differ, kW * kH / 200) << "angle " << cam.angle << " dist " << cam.dist << " pan " << cam.panX << ","
                                     << cam.panY;
  }
}

TEST_P(DrawnBackdrops, SomethingMovesWhereTheCameraLooks) {
  int changed = 0;
  for (int a = 0; a < 360; a += 90) {
    BackdropCamera cam;
    cam.angle = float(a);
    std::vector<uint8_t> first = Shot(cam, 0), later = Shot(cam, float(scene.frameCount) / 8);
    for (size_t i = 0; i < first.size(); i += 4)
      if (std::abs(first[i] - later[i]) + std::abs(first[i + 1] - later[i + 1]) > 6) ++changed;
  }
  // A second hand across the room turns a few dozen pixels; nothing moving leaves 0.
  EXPECT_GT(changed, 20) << "no visible motion from the four main directions";
}

INSTANTIATE_TEST_SUITE_P(Bundle, DrawnBackdrops, ::testing::ValuesIn(kOutfitBackdrops),
                         [](const ::testing::TestParamInfo<const char*>& i) { return std::string(i.param); });
