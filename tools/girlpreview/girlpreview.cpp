// girlpreview: contact sheets of her, drawn by the app's own renderer.
//
//   girlpreview RESOURCES_DIR SHEET.png
//
// Loads each outfit from the bundle exactly as the scene loading does
// (model, skin + hair + outfit composite, material fix-ups), sets the frame
// update's camera and light at the default camera, and draws: per outfit a
// front and a three-quarter view, then key frames of idle, dance-in, dance,
// dance-out and shake; a last row shows every skin tone with every hair
// colour. Runs headless on the GL ES 1.1 driver (llvmpipe in CI).
#include <GLES/gl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "math/Matrix.h"
#include "platform/EAGLView.h"
#include "platform/bundle.h"
#include "render/mesh_utils.h"
#include "render/render_mesh.h"
#include "scene/ModelPOD.h"
#include "texture/gamelib.h"
#include "texture/texture_library.h"

namespace {

const char* const kModels[4] = {"girl_beach", "girl_casual", "girl_school", "girl_business"};
const char* const kOutfit[4][2] = {{"girl_beach_mask.png", "girl_beach_clothes.jpg"},
                                   {"girl_casual_mask.png", "girl_casual_clothes.jpg"},
                                   {"girl_school_mask.png", "girl_school_clothes.jpg"},
                                   {"girl_business_mask.png", "girl_business_clothes.jpg"}};
const char* const kHair[4] = {"girl_blonde_hair.jpg", "girl_brown_hair.jpg", "girl_black_hair.jpg",
                              "girl_red_hair.jpg"};
const char* const kSkin[4] = {"girl_white.jpg", "girl_yellow.jpg", "girl_lightbrown.jpg", "girl_brown.jpg"};

constexpr int kCellW = 240, kCellH = 360;

struct Loaded {
  CPODScene scene;
  GLuint texture = 0;
};

bool Load(Loaded& l, int outfit, int hair, int skin) {
  if (!LoadPodModel(&l.scene, kModels[outfit], "girl", false)) return false;
  tag_TexPicDesc desc{};
  unsigned char* px = ReadPictureData(kSkin[skin], &desc);
  if (!px) return false;
  OverlayMaskedTexture32(px, &desc, "girl_hair_mask.png", kHair[hair]);
  OverlayMaskedTexture32(px, &desc, kOutfit[outfit][0], kOutfit[outfit][1]);
  l.texture = LoadTextureData(px, &desc, static_cast<texmip>(2));
  std::free(px);
  ReplaceAllMaterials(&l.scene, l.texture);
  NormalizeModelNormals(&l.scene);
  ReplaceAllMaterials_FB(&l.scene);
  return true;
}

// The frame update's state, camera and light at the default camera turned by angle.
void Draw(Loaded& l, float frame, float angle, float dist = 560.0f, float panY = -200.0f) {
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glClearColor(0.77f, 0.82f, 0.89f, 1.0f);
  glEnable(GL_LIGHTING);
  const GLfloat ambient[4] = {0.65f, 0.65f, 0.65f, 1.0f};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  glEnable(GL_LIGHT0);
  const GLfloat pos[4] = {2.9f, 1.5f, 0.9f, 0.0f}, zero[4] = {0, 0, 0, 0}, diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f},
                spec[4] = {0, 0, 0, 1};
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glLightfv(GL_LIGHT0, GL_POSITION, pos);
  glLightfv(GL_LIGHT0, GL_AMBIENT, zero);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, spec);
  glShadeModel(GL_SMOOTH);
  glFrontFace(GL_CCW);
  glDisable(GL_CULL_FACE);
  glColor4f(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  MATRIX m;
  MatrixPerspectiveFovRH(m, 70.0f, 2.0f / 3.0f, 10.0001f, 10000.0f, false);
  glMultMatrixf(m.f);
  glTranslatef(0.0f, panY, -dist);
  glRotatef(angle, 0, 1, 0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_BLEND);
  DrawModelWithEnv(&l.scene, frame, nullptr);
  glFinish();
}

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
    Loaded l;
    if (!Load(l, o, (o + 1) % 4, o)) {
      ++failures;
      continue;
    }
    Draw(l, 0, 0);
    EAGLViewReadPixels(view, cell);
    Paste(sheet, cols * kCellW, cell, 0, o);
    Draw(l, 0, 35);
    EAGLViewReadPixels(view, cell);
    Paste(sheet, cols * kCellW, cell, 1, o);
    for (int k = 0; k < 9; ++k) {
      Draw(l, frames[k], 0);
      EAGLViewReadPixels(view, cell);
      Paste(sheet, cols * kCellW, cell, 2 + k, o);
    }
    ReleaseTextures();
    l.scene.Destroy();
  }
  // Every skin tone with every hair colour, turning a little.
  for (int k = 0; k < 11; ++k) {
    const int skin = k % 4, hair = (k + k / 4) % 4, outfit = (k / 2) % 4;
    Loaded l;
    if (!Load(l, outfit, hair, skin)) {
      ++failures;
      continue;
    }
    Draw(l, 0, -20.0f + 4.0f * k);
    EAGLViewReadPixels(view, cell);
    Paste(sheet, cols * kCellW, cell, k, 4);
    ReleaseTextures();
    l.scene.Destroy();
  }
  bool ok = EAGLWritePNG(argv[2], sheet.data(), cols * kCellW, rows * kCellH);
  // A closer look, as far as the pinch gesture goes: each outfit, front and turned.
  std::vector<uint8_t> close(static_cast<size_t>(8) * kCellW * kCellH * 4, 255);
  for (int o = 0; o < 4; ++o) {
    Loaded l;
    if (!Load(l, o, (o + 1) % 4, o)) continue;
    for (int k = 0; k < 2; ++k) {
      Draw(l, 0, k ? 30.0f : 0.0f, 150.0f, -318.0f);
      EAGLViewReadPixels(view, cell);
      for (int y = 0; y < kCellH; ++y)
        std::memcpy(&close[(static_cast<size_t>(y) * 8 * kCellW + (o * 2 + k) * kCellW) * 4],
                    &cell[static_cast<size_t>(y) * kCellW * 4], kCellW * 4);
    }
    ReleaseTextures();
    l.scene.Destroy();
  }
  // Her clips larger, every outfit, to look for cloth or hair passing through her.
  const float clipFrames[] = {90, 190, 205, 219, 233, 247, 261, 275, 304, 311, 316, 330};
  std::vector<uint8_t> clips(static_cast<size_t>(12) * kCellW * 4 * kCellH * 4, 255);
  for (int o = 0; o < 4; ++o) {
    Loaded l;
    if (!Load(l, o, (o + 1) % 4, o)) continue;
    for (int k = 0; k < 12; ++k) {
      Draw(l, clipFrames[k], k % 3 == 2 ? 40.0f : 0.0f, 400.0f, -190.0f);
      EAGLViewReadPixels(view, cell);
      for (int y = 0; y < kCellH; ++y)
        std::memcpy(&clips[((static_cast<size_t>(o) * kCellH + y) * 12 * kCellW + k * kCellW) * 4],
                    &cell[static_cast<size_t>(y) * kCellW * 4], kCellW * 4);
    }
    ReleaseTextures();
    l.scene.Destroy();
  }
  std::string clipsPath = argv[2];
  clipsPath = clipsPath.substr(0, clipsPath.size() > 4 ? clipsPath.size() - 4 : 0) + "_clips.png";
  ok = EAGLWritePNG(clipsPath.c_str(), clips.data(), 12 * kCellW, 4 * kCellH) && ok;
  std::string closePath = argv[2];
  closePath = closePath.substr(0, closePath.size() > 4 ? closePath.size() - 4 : 0) + "_close.png";
  ok = EAGLWritePNG(closePath.c_str(), close.data(), 8 * kCellW, kCellH) && ok;
  delete view;
  if (!ok || failures) std::fprintf(stderr, "girlpreview: %d models failed to load\n", failures);
  return ok && failures == 0 ? 0 : 1;
}
