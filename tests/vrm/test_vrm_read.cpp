// The VRM reader on the test kit's small humanoids: what it reads of both
// versions, and every refusal, one changed file each.
#include <gtest/gtest.h>

#include <functional>

#include "kit/vrm_builder.h"
#include "picture/picture_file.h"
#include "vrm/vrm_file.h"

namespace {

using Json = nlohmann::json;
using testkit::TinyVrm;
using testkit::TinyVrmNode;

bool Read(const std::vector<uint8_t>& bytes, vrm::Document* d, std::string* why) {
  return vrm::ReadVrm(bytes.data(), bytes.size(), d, why);
}

TEST(VrmRead, ReadsBothVersionsWhole) {
  for (vrm::Version version : {vrm::Version::k1, vrm::Version::k0x}) {
    testkit::TinyVrmShape shape;
    shape.version = version;
    vrm::GlbBuilder g = TinyVrm(shape);
    // The hat drawn as a strip through sparse positions: both are read out.
    Json& hat = g.json["meshes"][1]["primitives"][0];
    const uint16_t strip[] = {0, 1, 2, 3};
    hat["indices"] = g.Accessor(strip, 4, 5123, "SCALAR");
    hat["mode"] = 5;
    const uint8_t at[] = {2};
    const float moved[] = {0.5f, 0.25f, 0.125f};
    Json& positions = g.json["accessors"][hat["attributes"]["POSITION"].get<int>()];
    positions["sparse"] = {{"count", 1},
                           {"indices", {{"bufferView", g.View(at, 1)}, {"componentType", 5121}}},
                           {"values", {{"bufferView", g.View(moved, sizeof moved)}}}};
    vrm::Document d;
    std::string why;
    ASSERT_TRUE(Read(g.Finish(), &d, &why)) << why;
    EXPECT_EQ(d.version, version);
    EXPECT_EQ(d.meta.title, "Tiny");
    EXPECT_EQ(d.meta.authors, "Ovanta's tests");
    const Json& ext = g.json["extensions"];
    EXPECT_EQ(d.humanoid.size(), version == vrm::Version::k1 ? ext["VRMC_vrm"]["humanoid"]["humanBones"].size()
                                                             : ext["VRM"]["humanoid"]["humanBones"].size());
    for (const char* bone : {"hips", "leftHand", "rightToes", "leftEye"})
      EXPECT_EQ(d.humanoid.at(bone), TinyVrmNode(g, bone)) << bone;
    const vrm::Primitive& h = d.meshes[1].primitives[0];
    EXPECT_EQ(h.indices, (std::vector<uint32_t>{0, 1, 2, 2, 1, 3}));
    EXPECT_EQ(std::vector<float>(h.positions.begin() + 6, h.positions.begin() + 9),
              std::vector<float>(moved, moved + 3));
    ASSERT_EQ(h.targets.size(), 1u);
    EXPECT_EQ(d.meshes[1].targetNames, std::vector<std::string>{"raise"});
    EXPECT_EQ(d.nodes.back().parent, TinyVrmNode(g, "head"));
    const vrm::Primitive& body = d.meshes[0].primitives[0];
    EXPECT_EQ(body.joints.size(), body.vertexCount() * 4);
    EXPECT_EQ(d.skins[0].inverseBinds.size(), 16 * d.skins[0].joints.size());
    ASSERT_EQ(d.pictures.size(), 1u);
    EXPECT_EQ(d.pictures[0].width, 4);
    EXPECT_EQ(d.pictures[0].rgba.size(), 64u);
    EXPECT_TRUE(d.approximated.empty());
  }
}

// What cannot be drawn is named, and read all the same.
TEST(VrmRead, NamesWhatIsApproximated) {
  vrm::GlbBuilder g = TinyVrm();
  Json& m = g.json["materials"][0];
  m["extensions"]["VRMC_materials_mtoon"] = {{"specVersion", "1.0"},
                                             {"outlineWidthMode", "worldCoordinates"},
                                             {"outlineWidthFactor", 0.01},
                                             {"parametricRimColorFactor", {1, 1, 1}}};
  m["pbrMetallicRoughness"]["baseColorTexture"]["extensions"]["KHR_texture_transform"] = {{"scale", {2, 2}}};
  vrm::Document d;
  std::string why;
  ASSERT_TRUE(Read(g.Finish(), &d, &why)) << why;
  EXPECT_EQ(d.approximated, (std::vector<std::string>{"outlines", "rim light", "texture transforms"}));
  EXPECT_TRUE(d.materials[0].toon);
}

struct Refusal {
  const char* name;
  std::function<void(vrm::GlbBuilder&)> change;
  const char* reason;  // the start of the reason given
};

Json& Body(vrm::GlbBuilder& g) { return g.json["meshes"][0]["primitives"][0]; }
Json& AccessorOf(vrm::GlbBuilder& g, const Json& index) { return g.json["accessors"][index.get<int>()]; }

TEST(VrmRead, RefusesWhatItCannotUse) {
  const Refusal cases[] = {
      {"a plain glTF", [](vrm::GlbBuilder& g) { g.json.erase("extensions"); }, "not a VRM file"},
      {"a required bone missing",
       [](vrm::GlbBuilder& g) { g.json["extensions"]["VRMC_vrm"]["humanoid"]["humanBones"].erase("leftFoot"); },
       "not humanoid: no leftFoot"},
      {"a bone on no node",
       [](vrm::GlbBuilder& g) {
         g.json["extensions"]["VRMC_vrm"]["humanoid"]["humanBones"]["jaw"] = {{"node", 999}};
       },
       "inconsistent: humanoid bone jaw names a node"},
      {"two bones on one node",
       [](vrm::GlbBuilder& g) {
         g.json["extensions"]["VRMC_vrm"]["humanoid"]["humanBones"]["jaw"] = {{"node", TinyVrmNode(g, "head")}};
       },
       "inconsistent: humanoid bones"},
      {"too many vertices",
       [](vrm::GlbBuilder& g) {
         g.json["accessors"].push_back({{"componentType", 5126}, {"count", vrm::kMaxVertices + 1}, {"type", "VEC3"}});
         Body(g)["attributes"]["POSITION"] = g.json["accessors"].size() - 1;
       },
       "more than 1000000 vertices"},
      {"a picture too large",
       [](vrm::GlbBuilder& g) {
         std::vector<uint8_t> row(4 * (vrm::kMaxPictureSide + 1), 200), png;
         EncodePngBytes(vrm::kMaxPictureSide + 1, 1, row.data(), &png);
         g.json["textures"][0]["source"] = g.Image(png, "image/png");
       },
       "picture 1 is 4097x1, more than 4096 pixels a side"},
      {"too many joints",
       [](vrm::GlbBuilder& g) {
         Json& joints = g.json["skins"][0]["joints"];
         while (joints.size() <= vrm::kMaxJoints) {
           g.json["nodes"].push_back({{"name", "extra"}});
           joints.push_back(g.json["nodes"].size() - 1);
         }
       },
       "more than 256 joints"},
      {"an accessor past its view",
       [](vrm::GlbBuilder& g) { AccessorOf(g, Body(g)["attributes"]["NORMAL"])["count"] = 100000; },
       "inconsistent: mesh 0 primitive 0 normals is out of range"},
      {"a view past its buffer", [](vrm::GlbBuilder& g) { g.json["bufferViews"][0]["byteOffset"] = 1 << 30; },
       "inconsistent: mesh 0 primitive 0 positions lies outside its buffer"},
      {"nodes in a cycle",
       [](vrm::GlbBuilder& g) { g.json["nodes"].back()["children"].push_back(TinyVrmNode(g, "hips")); },
       "inconsistent: the nodes form a cycle"},
      {"an index past the vertices",
       [](vrm::GlbBuilder& g) {
         const uint16_t bad[] = {0, 1, 60000};
         Body(g)["indices"] = g.Accessor(bad, 3, 5123, "SCALAR");
       },
       "inconsistent: mesh 0 primitive 0 has an index past its vertices"},
      {"a joint the skin lacks",
       [](vrm::GlbBuilder& g) {
         const size_t n = AccessorOf(g, Body(g)["attributes"]["POSITION"])["count"];
         std::vector<uint16_t> joints(4 * n, 0);
         joints[0] = 200;
         std::vector<float> weights(4 * n, 0);
         for (size_t v = 0; v < weights.size(); v += 4) weights[v] = 1;
         Body(g)["attributes"]["JOINTS_0"] = g.Accessor(joints.data(), joints.size() / 4, 5123, "VEC4");
         Body(g)["attributes"]["WEIGHTS_0"] = g.Floats(weights, "VEC4");
       },
       "inconsistent: mesh 0 names a joint its skin does not have"},
      {"a required extension we lack",
       [](vrm::GlbBuilder& g) { g.json["extensionsRequired"] = {"KHR_draco_mesh_compression"}; },
       "needs the glTF extension KHR_draco_mesh_compression"},
      {"JSON nested too deeply",
       [](vrm::GlbBuilder& g) {
         Json deep = Json::array();
         for (int i = 0; i < 100; ++i) deep = Json::array({deep});
         g.json["extras"] = deep;
       },
       "inconsistent: its JSON nests too deeply"},
  };
  for (const Refusal& c : cases) {
    vrm::GlbBuilder g = TinyVrm();
    c.change(g);
    vrm::Document d;
    std::string why;
    EXPECT_FALSE(Read(g.Finish(), &d, &why)) << c.name;
    EXPECT_EQ(why.rfind(c.reason, 0), 0u) << c.name << ": " << why;
    EXPECT_TRUE(d.nodes.empty() && d.meshes.empty()) << c.name;
  }
  // Bytes that are no glTF binary at all.
  for (std::string bytes :
       {std::string("hello, not a model"), std::string("glTF\x02\0\0\0", 8) + std::string(40, 'x')}) {
    vrm::Document d;
    std::string why;
    EXPECT_FALSE(Read(std::vector<uint8_t>(bytes.begin(), bytes.end()), &d, &why));
    EXPECT_EQ(why.rfind("not a glTF binary file", 0), 0u) << why;
  }
}

}  // namespace
