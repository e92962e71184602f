// The conversion of a VRM file into her world, held to two oracles: her own
// clips (every variant of the test kit's humanoid must point its bones the
// way hers point, frame by frame) and the file itself (a converted mesh,
// skinned through the scene's own bone matrices to joints that hold still,
// must be where the file puts it, in her units).
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <map>

#include "kit/scene_builder.h"
#include "kit/temp_dir.h"
#include "kit/vrm_builder.h"
#include "rig/girl_clips.h"
#include "rig/girl_humanoid.h"
#include "scene/PODWriter.h"
#include "springs/springs_store.h"
#include "vrm/vrm_convert.h"

namespace {

using Json = nlohmann::json;

// Her start-up model, the one the app reads her clips from and her VRM
// exports are made of.
struct Her {
  CPODScene scene;
  Her() { EXPECT_TRUE(scene.ReadFromFile(OVANTA_BUNDLE "/girl_casual.POD")); }
};
Her& Girl() {
  static Her* h = new Her();
  return *h;
}

bool Convert(const vrm::GlbBuilder& g, vrm::Character* c) {
  const std::vector<uint8_t> bytes = g.Finish();
  vrm::Document d;
  std::string why;
  if (!vrm::ReadVrm(bytes.data(), bytes.size(), &d, &why) || !vrm::ConvertVrm(d, Girl().scene, c, &why)) {
    ADD_FAILURE() << why;
    return false;
  }
  return true;
}

int NodeNamed(const CPODScene& s, const std::string& name) {
  for (uint32_t i = 0; i < s.nodeCount; ++i)
    if (s.nodes[i].name && name == s.nodes[i].name) return (int)i;
  return -1;
}

VECTOR3 JointAt(CPODScene& s, int node, float frame) {
  s.SetFrame(frame);
  MATRIX w;
  s.GetWorldMatrix(w, s.nodes[node]);
  return {w.f[12], w.f[13], w.f[14]};
}

// The way a bone points: from its joint to its child's.
VECTOR3 Direction(CPODScene& s, int from, int to, float frame) {
  const VECTOR3 a = JointAt(s, from, frame), b = JointAt(s, to, frame);
  const float dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z, l = std::sqrt(dx * dx + dy * dy + dz * dz);
  return {dx / l, dy / l, dz / l};
}

// Frames from every clip of her table.
std::vector<float> SomeFrames() {
  std::vector<float> frames;
  for (const AnimClip& c : kGirlClips) frames.push_back((c.start_frame + c.end_frame) / 2.0f);
  frames.push_back(0);
  return frames;
}

// Every rest pose (T and A, bones turned in their nodes or not), both
// versions (0.x facing the other way) and the minimal bone set take her
// clips the same way: each limb and the spine point as hers do.
TEST(VrmConvert, EveryRestPoseTakesHerClipsAlike) {
  const std::pair<const char*, const char*> limbs[] = {
      {"leftUpperArm", "leftLowerArm"},   {"leftLowerArm", "leftHand"},     {"rightUpperArm", "rightLowerArm"},
      {"rightLowerArm", "rightHand"},     {"leftUpperLeg", "leftLowerLeg"}, {"leftLowerLeg", "leftFoot"},
      {"rightUpperLeg", "rightLowerLeg"}, {"rightLowerLeg", "rightFoot"},   {"hips", "spine"}};
  std::map<std::string, std::string> hers;
  for (const GirlHumanBone& b : kGirlHumanBones) hers[b.humanoid] = b.girl;
  CPODScene& girl = Girl().scene;
  for (int variant = 0; variant < 16; ++variant) {
    testkit::TinyVrmShape shape;
    shape.version = variant & 1 ? vrm::Version::k0x : vrm::Version::k1;
    shape.aPose = variant & 2;
    shape.restRotations = variant & 4;
    shape.optionalBones = !(variant & 8);
    shape.metres = 0.5 + variant * 0.1;
    vrm::Character c;
    ASSERT_TRUE(Convert(testkit::TinyVrm(shape), &c));
    const Json& humanoid = c.info["humanoid"];
    for (float f : SomeFrames())
      for (const auto& limb : limbs) {
        const VECTOR3 mine = Direction(c.scene, humanoid[limb.first]["node"], humanoid[limb.second]["node"], f);
        const VECTOR3 her = Direction(girl, NodeNamed(girl, hers[limb.first]), NodeNamed(girl, hers[limb.second]), f);
        const float dot = mine.x * her.x + mine.y * her.y + mine.z * her.z;
        EXPECT_GT(dot, 0.9999f) << "variant " << variant << " frame " << f << " " << limb.first;
      }
  }
  girl.SetFrame(0);
}

// Where a vertex of a converted mesh is drawn at `frame`: skinned through
// the scene's own bone matrices, or placed by its node.
VECTOR3 Drawn(CPODScene& s, uint32_t node, uint32_t v, float frame) {
  s.SetFrame(frame);
  const SPODNode& n = s.nodes[node];
  const SPODMesh& m = s.meshes[n.meshIndex];
  float p[3];
  std::memcpy(p, m.vertices.data + 12 * v, 12);
  VECTOR3 out = {0, 0, 0};
  auto add = [&](const MATRIX& w, float weight) {
    out.x += weight * (w.f[0] * p[0] + w.f[4] * p[1] + w.f[8] * p[2] + w.f[12]);
    out.y += weight * (w.f[1] * p[0] + w.f[5] * p[1] + w.f[9] * p[2] + w.f[13]);
    out.z += weight * (w.f[2] * p[0] + w.f[6] * p[1] + w.f[10] * p[2] + w.f[14]);
  };
  if (!m.boneWeights.data) {
    MATRIX w;
    s.GetWorldMatrix(w, n);
    add(w, 1);
    return out;
  }
  const CBoneBatches& bb = m.boneBatches;
  int batch = 0;  // each batch has vertices of its own
  for (int b = 0; b < bb.batchVertexRangeCount; ++b)
    if ((int)v >= bb.batchVertexRanges[b].firstVertex && (int)v < bb.batchVertexRanges[b].endVertex) batch = b;
  for (int k = 0; k < 4; ++k) {
    float w;
    std::memcpy(&w, m.boneWeights.data + 16 * v + 4 * k, 4);
    if (w == 0) continue;
    MATRIX bone;
    s.GetBoneWorldMatrix(bone, n, s.nodes[bb.batches[batch * bb.batchBoneMax + m.boneIndices.data[4 * v + k]]]);
    add(bone, w);
  }
  return out;
}

// A mesh of more bones than a batch holds and more vertices than 16-bit
// indices reach: split, and drawn at rest where the file puts it.
TEST(VrmConvert, SplitsBigMeshesAndDrawsThemWhereTheFileDoes) {
  vrm::GlbBuilder g = testkit::TinyVrm();
  // A strip of quads across 100 extra joints (one each), 300 x 120 vertices.
  const int across = 300, down = 120, joints = 100;
  std::vector<float> pos, weights;
  std::vector<uint16_t> jt;
  std::vector<uint32_t> tri;
  for (int y = 0; y < down; ++y)
    for (int x = 0; x < across; ++x) {
      pos.insert(pos.end(), {x * 0.002f - 0.3f, 0.4f + y * 0.002f, 0.2f});
      jt.insert(jt.end(), {(uint16_t)(x * joints / across), 0, 0, 0});
      weights.insert(weights.end(), {1, 0, 0, 0});
    }
  for (int y = 0; y + 1 < down; ++y)
    for (int x = 0; x + 1 < across; ++x) {
      const uint32_t a = y * across + x;
      tri.insert(tri.end(), {a, a + 1, a + across, a + 1, a + across + 1, a + across});
    }
  Json skinJoints = Json::array();
  std::vector<float> ibm;
  for (int j = 0; j < joints; ++j) {
    g.json["nodes"].push_back({{"name", "extra" + std::to_string(j)}, {"translation", {0.0, 0.1 * j, 0.0}}});
    skinJoints.push_back(g.json["nodes"].size() - 1);
    g.json["scenes"][0]["nodes"].push_back(g.json["nodes"].size() - 1);
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -0.1f * j, 0, 1};
    ibm.insert(ibm.end(), m, m + 16);
  }
  g.json["skins"].push_back({{"joints", skinJoints}, {"inverseBindMatrices", g.Floats(ibm, "MAT4")}});
  Json prim = {{"attributes",
                {{"POSITION", g.Floats(pos, "VEC3", true)},
                 {"JOINTS_0", g.Accessor(jt.data(), jt.size() / 4, 5123, "VEC4")},
                 {"WEIGHTS_0", g.Floats(weights, "VEC4")}}},
               {"indices", g.Accessor(tri.data(), tri.size(), 5125, "SCALAR")}};
  g.json["meshes"].push_back({{"primitives", {prim}}});
  g.json["nodes"].push_back({{"name", "sheet"}, {"mesh", 2}, {"skin", 1}});
  g.json["scenes"][0]["nodes"].push_back(g.json["nodes"].size() - 1);

  vrm::Character c;
  ASSERT_TRUE(Convert(g, &c));
  const Json& sheet = c.info["primitives"].back()["meshes"];
  ASSERT_GE(sheet.size(), 2u) << "more vertices than one mesh holds";
  const double scale = c.info["scale"], offsetY = c.info["offset"][1];
  size_t vertices = 0;
  for (const Json& index : sheet) {
    const uint32_t node = index;  // mesh nodes come first, mesh i on node i
    const SPODMesh& m = c.scene.meshes[c.scene.nodes[node].meshIndex];
    vertices += m.vertexCount;
    EXPECT_LE(m.vertexCount, 65535u);
    EXPECT_GT(m.boneBatches.batchCount, 1);
    for (int b = 0; b < m.boneBatches.batchCount; ++b) EXPECT_LE(m.boneBatches.batchBoneCounts[b], 64);
    for (uint32_t v = 0; v < m.vertexCount; v += 97) {
      const VECTOR3 at = Drawn(c.scene, node, v, 0);
      // Any vertex of the sheet: x and z as the file has them, scaled; y on
      // the sheet's rows.
      EXPECT_GE(at.x, (-0.3 - 1e-3) * scale);
      EXPECT_LE(at.x, (0.3 + 1e-3) * scale);
      EXPECT_NEAR(at.z, 0.2 * scale, 1e-3 * scale);
      const double row = ((at.y - offsetY) / scale - 0.4) / 0.002;
      EXPECT_NEAR(row, std::round(row), 1e-2);
    }
  }
  EXPECT_GE(vertices, (size_t)across * down);
}

// Her exports' hair tails and skirt, as springs of her scene: each swaying
// joint is a tail or skirt bone aiming at the next one where her scene has
// it (her units, turned back for 0.x); the colliders sit at the same places
// in both versions, and at rest every skirt joint is clear of the colliders
// on her thighs by its hit radius.
TEST(VrmConvert, HerExportsSpringsLandOnHerTails) {
  std::vector<std::vector<float>> colliders[2];
  const char* files[2] = {"/ovanta-1.0.vrm", "/ovanta-0.x.vrm"};
  for (int v = 0; v < 2; ++v) {
    const std::vector<uint8_t> bytes = testkit::ReadFileBytes(std::string(OVANTA_VRM_EXPORTS) + files[v]);
    vrm::Document d;
    vrm::Character c;
    std::string why;
    ASSERT_TRUE(vrm::ReadVrm(bytes.data(), bytes.size(), &d, &why) && vrm::ConvertVrm(d, Girl().scene, &c, &why))
        << why;
    EXPECT_FALSE(c.info.contains("springs_left_out")) << c.info["springs_left_out"];
    SpringSetup setup;
    ASSERT_TRUE(SpringsFromJson(c.info["spring_setup"], &setup, &why)) << why;
    int aimed[2] = {0, 0}, skirts = 0;
    for (size_t j = 0; j < setup.joints.size(); ++j) {
      const SPODNode& node = c.scene.nodes[setup.joint_ids[j]];
      const std::string name = node.name;
      const bool skirt = name.rfind("skirt_", 0) == 0;
      EXPECT_TRUE(skirt || name.rfind("tail_", 0) == 0) << name;
      skirts += skirt;
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(setup.joints[j].offset[k], node.positions[k], 1e-3) << node.name;
      for (uint32_t n = 0; n < c.scene.nodeCount; ++n) {
        if (c.scene.nodes[n].parentIndex != setup.joint_ids[j]) continue;
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(setup.joints[j].tail[k], c.scene.nodes[n].positions[k], 1e-3);
        ++aimed[skirt];
      }
    }
    EXPECT_EQ(aimed[0], 4) << "tail_l1, l2, r1, r2 aim at their next bones";
    EXPECT_GE(setup.chains.size(), 2u + 6u) << "a ring of chains round the skirt";
    EXPECT_EQ(aimed[1], 2 * (int)(setup.chains.size() - 2)) << "so do a skirt chain's upper two";
    c.scene.SetFrame(0);
    auto world = [&](int node, const float p[3]) {
      MATRIX w;
      c.scene.GetWorldMatrix(w, c.scene.nodes[node]);
      return std::vector<float>{w.f[0] * p[0] + w.f[4] * p[1] + w.f[8] * p[2] + w.f[12],
                                w.f[1] * p[0] + w.f[5] * p[1] + w.f[9] * p[2] + w.f[13],
                                w.f[2] * p[0] + w.f[6] * p[1] + w.f[10] * p[2] + w.f[14]};
    };
    for (const SpringCollider& k : setup.colliders) {
      colliders[v].push_back(world(setup.node_ids[k.node], k.offset));
      colliders[v].back().push_back(k.radius);
    }
    const float origin[3] = {0, 0, 0};
    int thighChecks = 0;
    for (size_t j = 0; j < setup.joints.size(); ++j) {
      const std::string name = c.scene.nodes[setup.joint_ids[j]].name;
      if (name.rfind("skirt_", 0) != 0) continue;
      const std::vector<float> at = world(setup.joint_ids[j], origin);
      for (int group : setup.chains[(size_t)setup.joints[j].chain].collider_groups)
        for (int i : setup.collider_groups[(size_t)group]) {
          const SpringCollider& k = setup.colliders[(size_t)i];
          const std::vector<float> a = world(setup.node_ids[k.node], k.offset);
          const std::vector<float> b = k.capsule ? world(setup.node_ids[k.node], k.tail) : a;
          // The nearest point of the collider's axis.
          double ab2 = 0, t = 0;
          for (int q = 0; q < 3; ++q) ab2 += (b[q] - a[q]) * (b[q] - a[q]), t += (at[q] - a[q]) * (b[q] - a[q]);
          t = ab2 > 0 ? std::clamp(t / ab2, 0.0, 1.0) : 0;
          double d2 = 0;
          for (int q = 0; q < 3; ++q) d2 += std::pow(at[q] - (a[q] + t * (b[q] - a[q])), 2);
          EXPECT_GT(std::sqrt(d2), k.radius + setup.joints[j].hit_radius) << name << " in " << files[v];
          ++thighChecks;
        }
    }
    EXPECT_GE(thighChecks, skirts * 2) << "both thighs keep every skirt joint off";
  }
  // The head's sphere is each version's first collider; 1.0's capsule
  // starts where 0.x's second shoulder is.
  ASSERT_GE(colliders[0].size(), 2u);
  ASSERT_GE(colliders[1].size(), 3u);
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(colliders[0][0][k], colliders[1][0][k], 1e-2) << k;
    EXPECT_NEAR(colliders[0][1][k], colliders[1][2][k], 1e-2) << k;
  }
}

}  // namespace
