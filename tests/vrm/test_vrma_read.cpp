// The animation reader on the test kit's small VRM animations: what it
// keeps, how it samples, and every refusal, one changed file each.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "kit/vrm_builder.h"
#include "vrm/vrma_file.h"

namespace {

using Json = nlohmann::json;

TEST(VrmaRead, KeepsTheTracksAndSamplesThem) {
  vrm::GlbBuilder g = testkit::TinyVrma({"head", "leftUpperArm"}, 90, 0.2);
  // A face: an expression weight (x of its node's translation) and a channel
  // of a node that is no bone, which is left out.
  g.json["nodes"].push_back({{"name", "happy"}});
  const int happy = (int)g.json["nodes"].size() - 1;
  g.json["extensions"]["VRMC_vrm_animation"]["expressions"] = {{"preset", {{"happy", {{"node", happy}}}}}};
  Json& anim = g.json["animations"][0];
  anim["samplers"].push_back(
      {{"input", anim["samplers"][0]["input"]}, {"output", g.Floats({0, 0, 0, 0.5f, 0, 0, 1.5f, 0, 0}, "VEC3")}});
  anim["channels"].push_back(
      {{"sampler", anim["samplers"].size() - 1}, {"target", {{"node", happy}, {"path", "translation"}}}});
  const std::vector<uint8_t> bytes = g.Finish();
  vrm::Animation a;
  std::string why;
  ASSERT_TRUE(vrm::ReadVrma(bytes.data(), bytes.size(), &a, &why)) << why;
  EXPECT_EQ(a.rotations.size(), 2u);
  EXPECT_TRUE(a.rotations.count("head") && a.rotations.count("leftUpperArm"));
  EXPECT_FALSE(a.hipsTranslation.empty());
  EXPECT_DOUBLE_EQ(a.duration, 1.0);
  // Halfway between the keys at 0.5 and 1 s: 67.5 degrees about z.
  float q[4];
  vrm::SampleTrack(a.rotations.at("head"), 0.75, q);
  EXPECT_NEAR(2 * std::atan2(q[2], q[3]) * 180 / M_PI, 67.5, 1e-3);
  // Held past the ends.
  vrm::SampleTrack(a.rotations.at("head"), 5, q);
  EXPECT_NEAR(2 * std::atan2(q[2], q[3]) * 180 / M_PI, 90, 1e-3);
  float w;
  vrm::SampleTrack(a.expressions.at("happy"), 1, &w);
  EXPECT_EQ(w, 1.0f);  // brought into 0..1
  std::vector<vrm::Transform> at;
  vrm::SampleNodes(a, 1, &at);
  EXPECT_NEAR(at[(size_t)a.humanoid.at("hips")].t.y, 1.1, 1e-6);
}

TEST(VrmaRead, RefusesWhatItCannotUse) {
  struct Case {
    const char* why;  // part of the reason
    std::function<void(vrm::GlbBuilder&)> change;
  };
  auto sampler = [](vrm::GlbBuilder& g) -> Json& { return g.json["animations"][0]["samplers"][0]; };
  const Case cases[] = {
      {"without VRMC_vrm_animation", [](vrm::GlbBuilder& g) { g.json["extensions"].erase("VRMC_vrm_animation"); }},
      {"no humanoid bones",
       [](vrm::GlbBuilder& g) {
         g.json["extensions"]["VRMC_vrm_animation"]["humanoid"]["humanBones"] = Json::object();
       }},
      {"names a node that does not exist",
       [](vrm::GlbBuilder& g) {
         g.json["extensions"]["VRMC_vrm_animation"]["humanoid"]["humanBones"]["head"]["node"] = 99;
       }},
      {"are one node",
       [](vrm::GlbBuilder& g) {
         g.json["extensions"]["VRMC_vrm_animation"]["humanoid"]["humanBones"]["neck"]["node"] = 4;
       }},
      {"holds no animation", [](vrm::GlbBuilder& g) { g.json.erase("animations"); }},
      {"moves no humanoid bone",
       [](vrm::GlbBuilder& g) { g.json["animations"][0]["channels"][0]["target"]["path"] = "scale"; }},
      {"times that fall",
       [&](vrm::GlbBuilder& g) {
         sampler(g)["input"] = g.Floats({0, 1, 0.5f}, "SCALAR", true);
       }},
      {"values for",
       [&](vrm::GlbBuilder& g) {
         sampler(g)["output"] = g.Floats({0, 0, 0, 1, 0, 0, 0, 1}, "VEC4");
       }},
      {"rotation of length 0",
       [&](vrm::GlbBuilder& g) { sampler(g)["output"] = g.Floats(std::vector<float>(12, 0.0f), "VEC4"); }},
      {"longer than",
       [&](vrm::GlbBuilder& g) {
         sampler(g)["input"] = g.Floats({0, 1, 1e6f}, "SCALAR", true);
       }},
      {"unknown interpolation", [&](vrm::GlbBuilder& g) { sampler(g)["interpolation"] = "BOUNCY"; }},
      {"animated twice",
       [](vrm::GlbBuilder& g) {
         g.json["animations"][0]["channels"].push_back(g.json["animations"][0]["channels"][0]);
       }},
      {"names a sampler", [](vrm::GlbBuilder& g) { g.json["animations"][0]["channels"][0]["sampler"] = 7; }},
      {"cycle", [](vrm::GlbBuilder& g) { g.json["nodes"][4]["children"] = {0}; }},
      {"extension", [](vrm::GlbBuilder& g) { g.json["extensionsRequired"] = {"KHR_draco_mesh_compression"}; }},
  };
  for (const Case& c : cases) {
    vrm::GlbBuilder g = testkit::TinyVrma({"leftUpperArm"});
    c.change(g);
    const std::vector<uint8_t> bytes = g.Finish();
    vrm::Animation a;
    std::string why;
    EXPECT_FALSE(vrm::ReadVrma(bytes.data(), bytes.size(), &a, &why)) << c.why;
    EXPECT_NE(why.find(c.why), std::string::npos) << c.why << ": " << why;
    EXPECT_EQ(why.find('\n'), std::string::npos);
    EXPECT_TRUE(a.rotations.empty() && a.nodes.empty()) << c.why;
  }
  // Not a glTF binary at all, and one cut short.
  const std::vector<uint8_t> whole = testkit::TinyVrma({"head"}).Finish();
  vrm::Animation a;
  std::string why;
  EXPECT_FALSE(vrm::ReadVrma(whole.data(), whole.size() / 2, &a, &why));
  EXPECT_FALSE(vrm::ReadVrma(reinterpret_cast<const uint8_t*>("hello"), 5, &a, &why));
  EXPECT_NE(why.find("not a glTF binary"), std::string::npos) << why;
}

}  // namespace
