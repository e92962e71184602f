#include "face/face_rig.h"

#include <cmath>
#include <cstring>

#include "rig/face_bones.h"
#include "scene/ModelPOD.h"

namespace {

constexpr float kPi = 3.14159265358979f;
// How much of a head turn the neck takes; the head turns the rest.
constexpr float kNeckShare = 0.4f;
// The hair's tails lag behind a turn of the head, as the clips have them.
constexpr float kTailLag = 0.85f;
constexpr float kJawOpenDegrees = 8.0f;
constexpr float kCornerTravel = 1.8f;  // model units
constexpr float kLipTravel = 0.8f;
// Eye turns: 25 degrees of gaze move the iris its whole travel.
constexpr float kEyeGazeRange = 25.0f;
const float kEyeTurnRange = kIrisTravel / kEyeRadius * 180.0f / kPi;

// Rotation by deg about a unit axis, in GL element order (column vectors).
void Rotation(MATRIX& m, float x, float y, float z, float deg) {
  const float r = deg * kPi / 180.0f, c = std::cos(r), s = std::sin(r), t = 1 - c;
  const float R[3][3] = {{t * x * x + c, t * x * y - s * z, t * x * z + s * y},
                         {t * x * y + s * z, t * y * y + c, t * y * z - s * x},
                         {t * x * z - s * y, t * y * z + s * x, t * z * z + c}};
  MatrixIdentity(m);
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) m.f[4 * col + row] = R[row][col];
}

float Clamp1(float v) { return v < -1 ? -1 : (v > 1 ? 1 : v); }

struct MouthRow {
  const char* name;
  float jaw, width, lip;
};
const MouthRow kMouths[kMouthShapeCount] = {
    {"rest", 0.0f, 0.0f, 0.0f}, {"a", 1.0f, -0.1f, 0.6f},    {"o", 0.7f, -1.0f, 0.8f},
    {"e", 0.35f, 0.9f, 0.3f},   {"m", -0.08f, 0.15f, -0.6f},
};

int Find(const CPODScene* s, const char* name) {
  for (uint32_t i = 0; i < s->nodeCount; ++i)
    if (s->nodes[i].name && std::strcmp(s->nodes[i].name, name) == 0) return static_cast<int>(i);
  return -1;
}

}  // namespace

void FaceTurn(MATRIX& m, float yaw, float pitch) {
  MATRIX a, b;
  Rotation(a, 1, 0, 0, -pitch);
  Rotation(b, 0, 1, 0, yaw);
  MatrixMultiply(m, a, b);
}

void FaceHeadTurns(const FacePose& pose, MATRIX* neck, MATRIX* head) {
  FaceTurn(*neck, pose.head_yaw * kNeckShare, pose.head_pitch * kNeckShare);
  FaceTurn(*head, pose.head_yaw * (1 - kNeckShare), pose.head_pitch * (1 - kNeckShare));
}

const char* MouthShapeName(MouthShape shape) {
  return shape >= 0 && shape < kMouthShapeCount ? kMouths[shape].name : "rest";
}

int MouthShapeFromName(const char* name) {
  for (int i = 0; name && i < kMouthShapeCount; ++i)
    if (std::strcmp(kMouths[i].name, name) == 0) return i;
  return -1;
}

void FaceMouthPose(FacePose* pose, MouthShape shape, float amount) {
  const MouthRow& m = kMouths[shape >= 0 && shape < kMouthShapeCount ? shape : kMouthRest];
  pose->jaw = m.jaw * amount;
  pose->width = m.width * amount;
  pose->lip = m.lip * amount;
}

bool FaceRigBind(FaceRig* rig, const CPODScene* scene) {
  *rig = FaceRig();
  if (!scene || !scene->evalState || !scene->nodes) return false;
  rig->scene = scene;
  rig->head = Find(scene, "head");
  rig->neck = Find(scene, "neck");
  rig->tail[0] = Find(scene, "tail_l1");
  rig->tail[1] = Find(scene, "tail_r1");
  rig->eye[0] = Find(scene, kFaceEyeL);
  rig->eye[1] = Find(scene, kFaceEyeR);
  rig->lid[0] = Find(scene, kFaceLidL);
  rig->lid[1] = Find(scene, kFaceLidR);
  rig->jaw = Find(scene, kFaceJaw);
  rig->lip_upper = Find(scene, kFaceLipUpper);
  rig->corner[0] = Find(scene, kFaceCornerL);
  rig->corner[1] = Find(scene, kFaceCornerR);
  const int needed[] = {rig->head,   rig->neck, rig->eye[0],    rig->eye[1],    rig->lid[0],
                        rig->lid[1], rig->jaw,  rig->lip_upper, rig->corner[0], rig->corner[1]};
  for (int n : needed)
    if (n < 0) {
      rig->scene = nullptr;
      return false;
    }
  rig->layer.resize(scene->nodeCount);
  return true;
}

void FaceRigApply(FaceRig* rig, CPODScene* scene, const FacePose& pose) {
  if (!rig->scene || rig->scene != scene) return;
  for (MATRIX& m : rig->layer) MatrixIdentity(m);
  FaceHeadTurns(pose, &rig->layer[rig->neck], &rig->layer[rig->head]);
  for (int side = 0; side < 2; ++side) {
    if (rig->tail[side] >= 0) Rotation(rig->layer[rig->tail[side]], 0, 1, 0, -kTailLag * pose.head_yaw);
    FaceTurn(rig->layer[rig->eye[side]], Clamp1(pose.eye_yaw / kEyeGazeRange) * kEyeTurnRange,
             Clamp1(pose.eye_pitch / kEyeGazeRange) * kEyeTurnRange);
    const float lids = pose.lids < 0 ? 0 : (pose.lids > 1 ? 1 : pose.lids);
    Rotation(rig->layer[rig->lid[side]], 1, 0, 0, lids * kLidClosedDegrees);
  }
  Rotation(rig->layer[rig->jaw], 1, 0, 0, Clamp1(pose.jaw) * kJawOpenDegrees);
  const float lip = Clamp1(pose.lip), width = Clamp1(pose.width);
  MatrixTranslation(rig->layer[rig->lip_upper], 0, lip * kLipTravel, lip > 0 ? 0.2f * lip : 0.0f);
  const float forward = width < 0 ? -0.5f * width : 0.0f;  // pursed lips come forward
  MatrixTranslation(rig->layer[rig->corner[0]], width * kCornerTravel, 0.1f * width, forward);
  MatrixTranslation(rig->layer[rig->corner[1]], -width * kCornerTravel, 0.1f * width, forward);
  scene->SetPoseLayer(rig->layer.data());
}
