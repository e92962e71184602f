// An imported character's materials and morph targets drawn for real, on
// the driver's GL ES 1.1 and on our translation (held to it): a card in
// front of the test kit's humanoid, its picture in quarters of full, no
// and half alpha, imported through a character folder and drawn as the
// app draws her meshes. Each case changes the card and says what shows.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "gles/gles.h"
#include "kit/gl_test.h"
#include "kit/pictures.h"
#include "kit/temp_dir.h"
#include "kit/vrm_builder.h"
#include "render/mesh_utils.h"
#include "render/render_mesh.h"
#include "scene/ModelPOD.h"
#include "surface/EAGLView.h"
#include "texture/gamelib.h"
#include "vrm/characters.h"

namespace {

using Json = nlohmann::json;

constexpr int kSize = 64;
const uint8_t kCard[3] = {40, 200, 60};
const uint8_t kBackground[3] = {255, 255, 255};

// The card: 1.0's facing, 0.6 m wide from 0.7 m to 1.3 m high, in front
// of the body, with a morph target raising its top edge 0.2 m.
void AddCard(vrm::GlbBuilder& g) {
  std::vector<uint8_t> rgba;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint8_t alpha = y < 32 ? (x < 32 ? 255 : 0) : (x < 32 ? 128 : 255);
      rgba.insert(rgba.end(), {kCard[0], kCard[1], kCard[2], alpha});
    }
  std::vector<uint8_t> png;
  EncodePngBytes(64, 64, rgba.data(), &png);
  g.json["textures"].push_back({{"source", g.Image(png, "image/png")}});
  const std::vector<float> pos = {-0.3f, 1.3f, 0.3f, 0.3f, 1.3f, 0.3f, -0.3f, 0.7f, 0.3f, 0.3f, 0.7f, 0.3f};
  const std::vector<float> nrm = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1}, uv = {0, 0, 1, 0, 0, 1, 1, 1};
  const std::vector<float> raise = {0, 0.2f, 0, 0, 0.2f, 0, 0, 0, 0, 0, 0, 0};
  const uint16_t tri[] = {0, 2, 1, 1, 2, 3};
  g.json["materials"].push_back(
      {{"name", "card"}, {"pbrMetallicRoughness", {{"baseColorTexture", {{"index", g.json["textures"].size() - 1}}}}}});
  Json prim = {{"attributes",
                {{"POSITION", g.Floats(pos, "VEC3", true)},
                 {"NORMAL", g.Floats(nrm, "VEC3")},
                 {"TEXCOORD_0", g.Floats(uv, "VEC2")}}},
               {"indices", g.Accessor(tri, 6, 5123, "SCALAR")},
               {"material", g.json["materials"].size() - 1},
               {"targets", {{{"POSITION", g.Floats(raise, "VEC3")}}}}};
  g.json["meshes"].push_back({{"name", "card"}, {"primitives", {prim}}, {"weights", {0.0}}});
  g.json["nodes"].push_back({{"name", "card"}, {"mesh", g.json["meshes"].size() - 1}});
  g.json["scenes"][0]["nodes"].push_back(g.json["nodes"].size() - 1);
}

Json& CardMaterial(vrm::GlbBuilder& g) { return g.json["materials"].back(); }

// The card drawn alone from the front (or from behind), white behind it.
std::vector<uint8_t> DrawCard(const vrm::GlbBuilder& g, GlesKind kind, bool fromBehind, bool culling) {
  std::unique_ptr<EAGLView> view(EAGLView::CreateHeadless(kSize, kSize, kind));
  if (!view) {
    ADD_FAILURE() << "no " << GlesKindName(kind) << " surface";
    return {};
  }
  testkit::TempDir dir;
  CPODScene clips;
  EXPECT_TRUE(clips.ReadFromFile(OVANTA_BUNDLE "/girl_beach.POD"));
  const std::vector<uint8_t> bytes = g.Finish();
  const vrm::ImportResult r = vrm::ImportCharacter(bytes.data(), bytes.size(), dir.path(), clips);
  EXPECT_TRUE(r.ok) << r.message;
  CPODScene scene;
  EXPECT_TRUE(LoadCharacterModel(&scene, r.info.folder));
  glClearColor(kBackground[0] / 255.0f, kBackground[1] / 255.0f, kBackground[2] / 255.0f, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  if (culling) glEnable(GL_CULL_FACE);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  const float light[4] = {0, 0, 1, 0};
  glLightfv(GL_LIGHT0, GL_POSITION, light);
  testkit::Ortho(-80, 80, 120, 280, -1000, 1000);
  if (fromBehind) glRotatef(180, 0, 1, 0);
  scene.SetFrame(0);
  for (uint32_t i = 0; i < scene.meshNodeCount; ++i)
    if (scene.nodes[i].name && std::string(scene.nodes[i].name) == "card#0")
      DrawNodeP(&scene, &scene.nodes[i], true, true, nullptr);
  std::vector<uint8_t> frame;
  EXPECT_TRUE(EAGLViewReadPixels(view.get(), frame));
  EXPECT_EQ(glIsEnabled(GL_ALPHA_TEST), GL_FALSE) << "the alpha test is left on";
  ReleaseTextures();
  return frame;
}

struct Quarters {
  const uint8_t* at[4];  // top left, top right, bottom left, bottom right
  const uint8_t* above;  // over the card's top edge
};

Quarters Read(const std::vector<uint8_t>& f, bool fromBehind) {
  // The card spans about x 8..56 and y 15..52 of the view (0.6 m at her
  // scale), its raised top reaching row 0; rows top first.
  auto px = [&](int x, int y) { return &f[4 * ((size_t)y * kSize + (size_t)(fromBehind ? kSize - 1 - x : x))]; };
  return {{px(24, 24), px(40, 24), px(24, 50), px(40, 50)}, px(32, 4)};
}

bool Near(const uint8_t* p, const uint8_t* c, int tolerance) {
  for (int k = 0; k < 3; ++k)
    if (std::abs(p[k] - c[k]) > tolerance) return false;
  return true;
}

struct Case {
  const char* name;
  std::function<void(vrm::GlbBuilder&)> change;
  bool fromBehind, culling;
  // What shows: 'c' the card (lit: green, whatever the light), 'C' exactly
  // its colour, 'b' the background, 'h' half of each; for the four quarters
  // and above the top.
  const char* expect;
};

TEST(VrmDraw, AlphaModesSidesLightAndMorphs) {
  const Case cases[] = {
      {"opaque draws every quarter", [](vrm::GlbBuilder&) {}, false, false, "ccccb"},
      {"mask keeps alpha at the cutoff and up",
       [](vrm::GlbBuilder& g) { CardMaterial(g)["alphaMode"] = "MASK", CardMaterial(g)["alphaCutoff"] = 0.6; }, false,
       false, "cbbcb"},
      {"blend mixes by alpha",
       [](vrm::GlbBuilder& g) {
         CardMaterial(g)["alphaMode"] = "BLEND";
         CardMaterial(g)["extensions"]["KHR_materials_unlit"] = Json::object();
       },
       false, false, "CbhCb"},
      {"unlit is its picture as it is",
       [](vrm::GlbBuilder& g) { CardMaterial(g)["extensions"]["KHR_materials_unlit"] = Json::object(); }, false, false,
       "CCCCb"},
      {"single-sided from behind, culling on", [](vrm::GlbBuilder&) {}, true, true, "bbbbb"},
      {"double-sided from behind, culling on", [](vrm::GlbBuilder& g) { CardMaterial(g)["doubleSided"] = true; }, true,
       true, "ccccb"},
      {"a morph target's weight raises the top", [](vrm::GlbBuilder& g) { g.json["meshes"].back()["weights"] = {1.0}; },
       false, false, "ccccc"},
  };
  for (const Case& c : cases) {
    vrm::GlbBuilder g = testkit::TinyVrm();
    AddCard(g);
    c.change(g);
    const std::vector<uint8_t> es1 = DrawCard(g, kGlesES1, c.fromBehind, c.culling);
    const std::vector<uint8_t> es2 = DrawCard(g, kGlesES2, c.fromBehind, c.culling);
    ASSERT_EQ(es1.size(), (size_t)kSize * kSize * 4) << c.name;
    const std::string shot = testkit::OutputPath(std::string("vrm_card_") + std::to_string(&c - cases) + ".png");
    EAGLWritePNG(shot.c_str(), es1.data(), kSize, kSize);
    testkit::ExpectMatchesOracle(Picture{kSize, kSize, 32, es1}, Picture{kSize, kSize, 32, es2}, c.name);
    const Quarters q = Read(es1, c.fromBehind);
    for (int k = 0; k < 5; ++k) {
      const uint8_t* p = k < 4 ? q.at[k] : q.above;
      const uint8_t half[3] = {(uint8_t)((kCard[0] + kBackground[0]) / 2), (uint8_t)((kCard[1] + kBackground[1]) / 2),
                               (uint8_t)((kCard[2] + kBackground[2]) / 2)};
      switch (c.expect[k]) {
        case 'C':
          EXPECT_TRUE(Near(p, kCard, 2)) << c.name << " place " << k;
          break;
        case 'b':
          EXPECT_TRUE(Near(p, kBackground, 2)) << c.name << " place " << k;
          break;
        case 'h':
          EXPECT_TRUE(Near(p, half, 8)) << c.name << " place " << k;
          break;
        default:
          EXPECT_TRUE(!Near(p, kBackground, 40) && p[1] > p[0] && p[1] > p[2]) << c.name << " place " << k;
      }
    }
  }
}

}  // namespace
