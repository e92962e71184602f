// Added dances on her: her own dance written by the generator as a VRM
// animation and laid on her plays her built-in dance again; a file that
// turns a few bones turns those and leaves every other one to the idle; a
// file laid as her idle loops without a seam.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

#include "dance/dance.h"
#include "kit/vrm_builder.h"
#include "rig/girl_clips.h"
#include "rig/girl_humanoid.h"
#include "scene/ModelPOD.h"

namespace {

struct Her {
  CPODScene scene;
  std::map<std::string, int> bones;
  Her() {
    EXPECT_TRUE(scene.ReadFromFile(OVANTA_BUNDLE "/girl_casual.POD"));
    bones = DanceHumanoid(scene, nullptr);
  }
};

// Rotation part of a node's world matrix at `frame`, as a unit quaternion
// (x, y, z, w) up to sign, and its joint.
void World(CPODScene& s, int node, float frame, double q[4], double at[3]) {
  s.SetFrame(frame);
  MATRIX w;
  s.GetWorldMatrix(w, s.nodes[node]);
  double col[3][3];
  for (int k = 0; k < 3; ++k) {
    const double len =
        std::sqrt(w.f[4 * k] * w.f[4 * k] + w.f[4 * k + 1] * w.f[4 * k + 1] + w.f[4 * k + 2] * w.f[4 * k + 2]);
    for (int r = 0; r < 3; ++r) col[k][r] = w.f[4 * k + r] / len;
  }
  const vrm::Quat r = vrm::FromColumns(col);
  q[0] = r.x, q[1] = r.y, q[2] = r.z, q[3] = r.w;
  for (int k = 0; k < 3; ++k) at[k] = w.f[12 + k];
}

// The angle between two rotations, degrees.
double Degrees(const double a[4], const double b[4]) {
  const double d = std::fabs(a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3]);
  return 2 * std::acos(std::min(d, 1.0)) * 180 / M_PI;
}

vrm::Animation Read(const std::vector<uint8_t>& bytes) {
  vrm::Animation a;
  std::string why;
  EXPECT_TRUE(vrm::ReadVrma(bytes.data(), bytes.size(), &a, &why)) << why;
  return a;
}

TEST(Dance, HerExportedDancePlaysHerDanceAgain) {
  Her her;
  vrm::Animation dance;
  std::string why;
  ASSERT_TRUE(DanceReadFile(OVANTA_VRM_EXPORTS "/ovanta-dance.vrma", &dance, &why)) << why;
  const uint32_t frames = her.scene.frameCount;
  DanceClips clips;
  ASSERT_TRUE(DanceLay(&her.scene, her.bones, dance, &clips, &why)) << why;
  const AnimClip& built = GirlClip(ANIM_DANCE);
  ASSERT_EQ(clips.dance_end - clips.dance_start, built.end_frame - built.start_frame);
  EXPECT_EQ(clips.in_start, (int32_t)frames);
  double worst = 0, farthest = 0;
  std::string worstBone;
  for (int k = 0; k <= built.end_frame - built.start_frame; ++k)
    for (const GirlHumanBone& b : kGirlHumanBones) {
      const int node = her.bones.at(b.humanoid);
      double q0[4], q1[4], p0[3], p1[3];
      World(her.scene, node, (float)(built.start_frame + k), q0, p0);
      World(her.scene, node, (float)(clips.dance_start + k), q1, p1);
      if (Degrees(q0, q1) > worst) worst = Degrees(q0, q1), worstBone = b.humanoid;
      farthest = std::max(farthest, std::hypot(p0[0] - p1[0], p0[1] - p1[1], p0[2] - p1[2]));
    }
  // Her units: she is about 340 tall; a hundredth of one is far below a pixel.
  EXPECT_LT(worst, 0.01) << worstBone;
  EXPECT_LT(farthest, 0.01);
  // Into it from the idle and out of it back to the idle's first pose.
  double qi[4], qo[4], p[3];
  const int arm = her.bones.at("leftUpperArm");
  World(her.scene, arm, 0, qi, p);
  World(her.scene, arm, (float)clips.out_end, qo, p);
  EXPECT_LT(Degrees(qi, qo), 0.01);
  World(her.scene, arm, (float)clips.in_start, qo, p);
  EXPECT_LT(Degrees(qi, qo), 0.01);
}

TEST(Dance, AFewBonesTurnedTheRestIdle) {
  Her her;
  Her idle;
  const vrm::Animation dance = Read(testkit::TinyVrma({"leftUpperArm", "head"}, 60, 0.1).Finish());
  DanceClips clips;
  std::string why;
  ASSERT_TRUE(DanceLay(&her.scene, her.bones, dance, &clips, &why)) << why;
  EXPECT_EQ(clips.dance_end - clips.dance_start, kClipFramesPerSecond);  // one second, both ends
  const AnimClip& idleClip = GirlClip(ANIM_IDLE);
  const int idleLength = idleClip.end_frame - idleClip.start_frame;
  for (int k = 0; k <= clips.dance_end - clips.dance_start; k += 5) {
    const float f = (float)(clips.dance_start + k);
    // Untouched bones play the idle, bit for bit, until a pass's end
    // blends them back to where it began.
    const float idleFrame = (float)(idleClip.start_frame + (clips.dance_start - clips.in_start + k) % idleLength);
    for (const char* bone : {"rightUpperArm", "spine", "leftLowerArm", "rightUpperLeg"}) {
      if (2 * k > clips.dance_end - clips.dance_start) break;
      const SPODNode& a = her.scene.nodes[her.bones.at(bone)];
      const SPODNode& b = idle.scene.nodes[idle.bones.at(bone)];
      EXPECT_EQ(std::memcmp(a.rotations + 4 * (size_t)f, b.rotations + 4 * (size_t)idleFrame, 4 * sizeof(float)), 0)
          << bone << " at " << k;
    }
    // The turned arm points where the file's does: out to her left (+x)
    // at rest, turned about z by 60 degrees a second; its parent, the
    // chest, is not driven and idles, which the bound allows for.
    double q[4], shoulder[3], elbow[3], chest0[4], chestNow[4], p[3];
    World(her.scene, her.bones.at("leftUpperArm"), f, q, shoulder);
    World(her.scene, her.bones.at("leftLowerArm"), f, q, elbow);
    World(her.scene, her.bones.at("chest"), 0, chest0, p);
    World(her.scene, her.bones.at("chest"), f, chestNow, p);
    const double turn = 60.0 * k / kClipFramesPerSecond * M_PI / 180;
    const double d[3] = {elbow[0] - shoulder[0], elbow[1] - shoulder[1], elbow[2] - shoulder[2]};
    const double cosine = (d[0] * std::cos(turn) + d[1] * std::sin(turn)) / std::hypot(d[0], d[1], d[2]);
    EXPECT_LT(std::acos(std::min(cosine, 1.0)) * 180 / M_PI, Degrees(chest0, chestNow) + 1) << k;
  }
  // Where a pass ends (its last drawn frame) the next pass and the
  // lead-out go on (their first drawn frames) without a jump in the idle
  // of any bone the file leaves alone.
  const std::set<int> turned = {her.bones.at("leftUpperArm"), her.bones.at("head"), her.bones.at("hips")};
  auto turn = [&](const SPODNode& node, int32_t a, int32_t b) {
    double qa[4], qb[4];
    for (int c = 0; c < 4; ++c) qa[c] = node.rotations[4 * a + c], qb[c] = node.rotations[4 * b + c];
    return Degrees(qa, qb);
  };
  int joined = 0;
  for (uint32_t i = 0; i < her.scene.nodeCount; ++i) {
    const SPODNode& node = her.scene.nodes[i];
    if (turned.count((int)i) || !(node.animationFlags & 2)) continue;
    double step = 0;
    for (int32_t f = clips.dance_start + 2; f < clips.dance_end; ++f) step = std::max(step, turn(node, f - 1, f));
    EXPECT_LE(turn(node, clips.dance_end - 1, clips.dance_start + 1), 1.2 * step + 1e-3) << node.name;
    EXPECT_LE(turn(node, clips.dance_end - 1, clips.out_start + 1), 1.2 * step + 1e-3) << node.name;
    joined += step > 0.01;
  }
  EXPECT_GT(joined, 5) << "bones that idle while it plays";
  // The hips rise by 0.1 m of the file's 0.9 m hip height.
  double q[4], low[3], high[3];
  const int hips = her.bones.at("hips");
  World(her.scene, hips, (float)clips.dance_start, q, low);
  World(her.scene, hips, (float)clips.dance_end, q, high);
  EXPECT_NEAR((high[1] - low[1]) / low[1], 0.1 / 0.9, 0.02);
}

// Laid as her idle, a file whose ends differ (an arm turning 60 degrees a
// second) and one whose ends meet (a whole turn) loop without a jump or a
// hitch: the frame after the loop's last is its first, no node (the bones
// it leaves alone, her hair and soft parts included) ever steps in the loop
// much faster than the file turns the arm, the arm of the whole turn never
// stands still, and the lead-in starts at her idle's first pose.
TEST(Dance, AnAddedIdleLoopsWithoutASeam) {
  Her plain;
  for (double degrees : {60.0, 360.0}) {
    Her her;
    const vrm::Animation idle =
        Read(testkit::TinyVrma({"leftUpperArm", "head"}, degrees, degrees < 360 ? 0.05 : 0).Finish());
    IdleClips clips;
    std::string why;
    ASSERT_TRUE(DanceLayIdle(&her.scene, her.bones, idle, &clips, &why)) << why;
    ASSERT_EQ(clips.in_start, (int32_t)plain.scene.frameCount);
    ASSERT_GT(clips.loop_end, clips.loop_start);
    const double pace = degrees / kClipFramesPerSecond;
    for (uint32_t node = 0; node < her.scene.nodeCount; ++node) {
      double q[4], was[4], p[3], first[4];
      World(plain.scene, (int)node, (float)GirlClip(ANIM_IDLE).start_frame, was, p);
      World(her.scene, (int)node, (float)clips.in_start, q, p);
      EXPECT_LT(Degrees(q, was), 1e-3) << node << ": the lead-in starts at her idle";
      World(her.scene, (int)node, (float)clips.loop_start, first, p);
      World(her.scene, (int)node, (float)clips.loop_end, q, p);
      EXPECT_LT(Degrees(q, first), 1e-3) << node << ": the frame after the last is the first";
      // Round the loop and over its seam.
      double slowest = 360, fastest = 0;
      World(her.scene, (int)node, (float)clips.in_start, was, p);
      for (int32_t f = clips.in_start + 1; f <= clips.loop_end + 1; ++f) {
        World(her.scene, (int)node, (float)(f <= clips.loop_end ? f : clips.loop_start + 1), q, p);
        if (f > clips.loop_start) {
          fastest = std::max(fastest, Degrees(q, was));
          slowest = std::min(slowest, Degrees(q, was));
        }
        std::copy(q, q + 4, was);
      }
      EXPECT_LT(fastest, 6 * pace) << node << " at " << degrees;
      if (degrees == 360 && (int)node == her.bones.at("leftUpperArm")) {
        EXPECT_GT(slowest, pace / 2);
      }
    }
  }
}

TEST(Dance, RefusedWhenNothingFitsAndSceneUnchanged) {
  Her her;
  vrm::GlbBuilder g = testkit::TinyVrma({"leftUpperArm"});
  const vrm::Animation dance = Read(g.Finish());
  DanceClips clips;
  std::string why;
  const uint32_t frames = her.scene.frameCount;
  // A character without the one bone the file turns.
  std::map<std::string, int> bones = her.bones;
  bones.erase("leftUpperArm");
  EXPECT_FALSE(DanceLay(&her.scene, bones, dance, &clips, &why));
  EXPECT_NE(why.find("none of the bones"), std::string::npos) << why;
  EXPECT_EQ(her.scene.frameCount, frames);
  CPODScene empty;
  EXPECT_FALSE(DanceLay(&empty, bones, dance, &clips, &why));
  EXPECT_FALSE(DanceReadFile("/nonexistent/dance.vrma", nullptr, &why));
  EXPECT_FALSE(why.empty());
}

}  // namespace
