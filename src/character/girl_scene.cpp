#include "character/girl_scene.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "character/girl.h"
#include "character/girl_animation.h"
#include "character/girl_camera.h"
#include "character/girl_frame.h"
#include "character/girl_sound.h"
#include "character/girl_springs.h"
#include "dance/dance.h"
#include "face/face.h"
#include "files/files.h"
#include "gles/gles.h"
#include "physics/boobs_physics_b0.h"
#include "render/env_light.h"
#include "render/mesh_utils.h"
#include "render/simple_ogl_shadow.h"
#include "scene/ModelPOD.h"
#include "texture/gamelib.h"
#include "texture/texture_library.h"

CShell shell;

namespace {

// A dance file read, kept until another is asked for.
struct ReadDance {
  std::string path, problem;
  vrm::Animation dance;
  // `path`'s dance; false with `problem` when it cannot be read.
  bool Read(const std::string& file) {
    if (path != file) {
      path = file;
      problem.clear();
      if (!DanceReadFile(file, &dance, &problem)) dance = vrm::Animation();
    }
    return problem.empty();
  }
};

// The chosen dance and idle laid on the character just loaded (`info`: an
// imported one's character.json, null for her). A file is read again only
// when another is chosen. One that cannot be laid gives one line, and she
// dances (or idles) her own.
void LayDance(const nlohmann::json* info) {
  static ReadDance dance, idle;
  AnimationUseDance(nullptr);
  AnimationUseIdle(nullptr);
  if (!girl_model) return;
  std::string problem;
  if (!girl_dance_file.empty()) {
    DanceClips clips;
    if (dance.Read(girl_dance_file) &&
        DanceLay(girl_model, DanceHumanoid(*girl_model, info), dance.dance, &clips, &problem)) {
      const AnimClip added[3] = {{clips.in_start, clips.in_end, false},
                                 {clips.dance_start, clips.dance_end, false},
                                 {clips.out_start, clips.out_end, false}};
      AnimationUseDance(added);
      AnimationUseDanceExpressions(clips.expressions, clips.gaze);
    } else {
      std::fprintf(stderr, "Dance %s: %s; she dances her own\n", girl_dance_file.c_str(),
                   (problem.empty() ? dance.problem : problem).c_str());
    }
  }
  problem.clear();
  if (!girl_idle_file.empty()) {
    IdleClips clips;
    if (idle.Read(girl_idle_file) &&
        DanceLayIdle(girl_model, DanceHumanoid(*girl_model, info), idle.dance, &clips, &problem)) {
      const AnimClip added[2] = {{clips.in_start, clips.loop_start, false}, {clips.loop_start, clips.loop_end, true}};
      AnimationUseIdle(added);
      AnimationUseIdleExpressions(clips.expressions, clips.gaze);
    } else {
      std::fprintf(stderr, "Idle %s: %s; she idles her own way\n", girl_idle_file.c_str(),
                   (problem.empty() ? idle.problem : problem).c_str());
    }
  }
}

}  // namespace

bool CShell::InitApplication() {
  GirlInit();
  return true;
}

bool CShell::QuitApplication() {
  if (refcount == 0) return true;
  if (--refcount == 0) {
    GirlReleaseSounds();
    GirlReleaseScene();
    SimpleShadowFree(&girl_shadow);
  }
  return true;
}

bool CShell::UpdateScene() { return true; }

bool CShell::RenderScene() {
  RenderFrame(320, 480);
  return true;
}

void GirlInit() {
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  // Dark slate wherever the backdrop leaves a gap.
  glClearColor(0.3f, 0.3f, 0.4f, 1.0f);
  ResetCamera();
  SimpleShadowCreate(&girl_shadow, 12, 2.0f, 56, 96.0f);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  girl_reload_scene = true;
  ++refcount;
}

void GirlLoadScene() {
  // Textures whose pictures are the same (the backdrop's when only her hair
  // changed, hers when only the voice did) are kept, not made again.
  TextureReuseBegin();
  GirlReleaseScene();
  // A damaged store may hold negative choices; they wrap like any other
  // value instead of indexing before the tables.
  n_background = GirlChoiceIndex(n_background, kGirlOptionCount);
  n_skin = GirlChoiceIndex(n_skin, kGirlOptionCount);
  n_clothes = GirlChoiceIndex(n_clothes, kGirlOptionCount);
  n_hair = GirlChoiceIndex(n_hair, kGirlOptionCount);

  bg = new CPODScene();
  LoadPodModel(bg, kOutfitBackdrops[n_background], "background", true);
  girl_model = new CPODScene();
  std::memset(&phy_skin, 0, sizeof(phy_skin));
  // An imported character that cannot be loaded (its folder removed since)
  // gives way to her.
  if (!girl_character_folder.empty() && !LoadCharacterModel(girl_model, girl_character_folder))
    girl_character_folder.clear();
  if (girl_character_folder.empty()) {
    LoadPodModel(girl_model, kOutfitModels[n_clothes], "girl", false);
    LayDance(nullptr);
    PhySkinParse(&phy_skin, girl_model);
    GirlDressModel(girl_model, n_clothes, n_hair, n_skin);
    GirlSpringsLoad(nullptr, girl_model);
    FaceUseCharacter(nullptr, nullptr);
  } else {
    // Its own pictures and colours; no soft parts of hers, its own springs.
    NormalizeModelNormals(girl_model);
    std::string text;
    nlohmann::json info;
    const std::string path = girl_character_folder + "/character.json";
    if (FileReadText(path.c_str(), 16u << 20, &text) == kFileOk) info = nlohmann::json::parse(text, nullptr, false);
    LayDance(&info);
    GirlSpringsLoad(&info, girl_model);
    FaceUseCharacter(&info, girl_model);
  }
  env.Load("round.png");
  TextureReuseEnd();
}

unsigned int GirlDressModel(CPODScene* girl, int outfit, int hairColour, int skinTone) {
  outfit = GirlChoiceIndex(outfit, kGirlOptionCount);
  hairColour = GirlChoiceIndex(hairColour, kGirlOptionCount);
  skinTone = GirlChoiceIndex(skinTone, kGirlOptionCount);
  // Skin first, hair over it, the outfit over both.
  const std::vector<std::string> pictures = {kSkinTones[skinTone].picture, kHairColours[hairColour].mask,
                                             kHairColours[hairColour].picture, kOutfitClothes[outfit].mask,
                                             kOutfitClothes[outfit].picture};
  std::string key = "dressed";
  for (const std::string& p : pictures) key += " " + p;
  GLuint tex = TextureReuseTake(key, pictures);
  if (tex) {
    ReplaceAllMaterials(girl, tex);
  } else {
    const MaskedLayer layers[2] = {{kHairColours[hairColour].mask, kHairColours[hairColour].picture},
                                   {kOutfitClothes[outfit].mask, kOutfitClothes[outfit].picture}};
    tex = LoadMaskedTexture(kSkinTones[skinTone].picture, layers, 2, TEXMIP_LINEAR, key, pictures);
    if (tex) ReplaceAllMaterials(girl, tex);
  }
  NormalizeModelNormals(girl);
  ReplaceAllMaterials_FB(girl);
  return tex;
}

void GirlReleaseScene() {
  env.Free();
  ReleaseTextures();
  if (bg) {
    bg->Destroy();
    delete bg;
  }
  if (girl_model) {
    girl_model->Destroy();
    delete girl_model;
  }
  bg = nullptr;
  girl_model = nullptr;
}
