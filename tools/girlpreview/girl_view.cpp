// Loading and drawing her the way the app does (see girl_view.h).
#include "girl_view.h"

#include <cstdlib>

#include "character/girl_camera.h"
#include "render/mesh_utils.h"
#include "render/render_mesh.h"
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
}  // namespace

const unsigned char kGirlViewBackground[3] = {196, 209, 227};

bool GirlViewLoad(GirlView& v, int outfit, int hair, int skin) {
  if (!LoadPodModel(&v.scene, kModels[outfit & 3], "girl", false)) return false;
  tag_TexPicDesc desc{};
  unsigned char* px = ReadPictureData(kSkin[skin & 3], &desc);
  if (!px) return false;
  OverlayMaskedTexture32(px, &desc, "girl_hair_mask.png", kHair[hair & 3]);
  OverlayMaskedTexture32(px, &desc, kOutfit[outfit & 3][0], kOutfit[outfit & 3][1]);
  v.texture = LoadTextureData(px, &desc, static_cast<texmip>(2));
  std::free(px);
  ReplaceAllMaterials(&v.scene, v.texture);
  NormalizeModelNormals(&v.scene);
  ReplaceAllMaterials_FB(&v.scene);
  return v.texture != 0;
}

void GirlViewRelease(GirlView& v) {
  ReleaseTextures();
  v.texture = 0;
  v.scene.Destroy();
}

void GirlViewDraw(GirlView& v, float frame, float angle, float dist, float panY) {
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glClearColor(kGirlViewBackground[0] / 255.0f, kGirlViewBackground[1] / 255.0f, kGirlViewBackground[2] / 255.0f,
               1.0f);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  InitTestLight();
  glShadeModel(GL_SMOOTH);
  glFrontFace(GL_CCW);
  glDisable(GL_CULL_FACE);
  glColor4f(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  GirlSetCamera(angle, dist, 0.0f, panY);
  glDisable(GL_BLEND);
  DrawModelWithEnv(&v.scene, frame, nullptr);
  glFinish();
}
