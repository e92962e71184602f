#include "character/girl_springs.h"

#include <cstdio>
#include <vector>

#include "math/Matrix.h"
#include "scene/ModelPOD.h"
#include "springs/springs.h"
#include "springs/springs_store.h"

namespace {

struct Springs {
  bool on = false;
  const CPODScene* scene = nullptr;
  float scale = 1;  // her units a metre of the file
  SpringState state;
  std::vector<MATRIX> fixed;  // the fixed nodes' world matrices
  std::vector<MATRIX> layer;  // the scene's pose layer: the face's and ours
};
Springs& S() {
  static Springs* s = new Springs();
  return *s;
}

void GatherFixed(CPODScene* scene) {
  Springs& s = S();
  const std::vector<int>& ids = s.state.setup.node_ids;
  s.fixed.resize(ids.size());
  for (size_t i = 0; i < ids.size(); ++i) scene->GetWorldMatrix(s.fixed[i], scene->nodes[ids[i]]);
}

// The layer with the face layer's matrices (when the face rig has the scene)
// and the joints unturned.
void StartLayer(CPODScene* scene) {
  Springs& s = S();
  const MATRIX* face = scene->PoseLayer();
  const bool theirs = face && face != s.layer.data();
  for (size_t i = 0; i < s.layer.size(); ++i) {
    if (theirs)
      s.layer[i] = face[i];
    else
      MatrixIdentity(s.layer[i]);
  }
  for (int n : s.state.setup.joint_ids) MatrixIdentity(s.layer[n]);
  scene->SetPoseLayer(s.layer.data());
}

// Each joint's node turns from its rest to where the solver turned it.
void WriteJoints(CPODScene* scene) {
  Springs& s = S();
  const SpringSetup& setup = s.state.setup;
  for (size_t j = 0; j < setup.joints.size(); ++j) {
    const float* q = &s.state.rotation[4 * j];
    const float* r = setup.joints[j].rotation;
    // q * conj(r), handed over conjugated (math/Matrix.h).
    const float x = -r[0], y = -r[1], z = -r[2], w = r[3];
    QUATERNION d = {q[3] * x + q[0] * w + q[1] * z - q[2] * y, q[3] * y - q[0] * z + q[1] * w + q[2] * x,
                    q[3] * z + q[0] * y - q[1] * x + q[2] * w, q[3] * w - q[0] * x - q[1] * y - q[2] * z};
    d.x = -d.x, d.y = -d.y, d.z = -d.z;
    MatrixRotationQuaternion(s.layer[setup.joint_ids[j]], d);
  }
  scene->SetPoseLayer(s.layer.data());
}

}  // namespace

void GirlSpringsLoad(const nlohmann::json* info, const CPODScene* scene) {
  Springs& s = S();
  s = Springs();
  if (!info || !scene || !info->is_object() || !info->contains("spring_setup")) return;
  SpringSetup setup;
  std::string error;
  bool ok = SpringsFromJson(info->at("spring_setup"), &setup, &error);
  for (size_t i = 0; ok && i < setup.node_ids.size() + setup.joint_ids.size(); ++i) {
    const int n = i < setup.node_ids.size() ? setup.node_ids[i] : setup.joint_ids[i - setup.node_ids.size()];
    if (n < 0 || static_cast<uint32_t>(n) >= scene->nodeCount) {
      error = "springs: node " + std::to_string(n) + " is not in the model";
      ok = false;
    }
  }
  ok = ok && SpringsInit(&s.state, setup, &error);
  if (!ok) {
    std::fprintf(stderr, "Character %s; it goes without them\n", error.c_str());
    s = Springs();
    return;
  }
  const auto scale = info->find("scale");
  s.scale = scale != info->end() && scale->is_number() && scale->get<float>() > 0 ? scale->get<float>() : 1.0f;
  s.on = !setup.joints.empty();
  s.scene = scene;
  s.layer.resize(scene->nodeCount);
}

void GirlSpringsSettle(CPODScene* scene, float frame) {
  Springs& s = S();
  if (!s.on || scene != s.scene) return;
  scene->SetFrame(frame);
  StartLayer(scene);
  GatherFixed(scene);
  SpringsSettle(&s.state, s.fixed.data(), s.fixed.size());
  WriteJoints(scene);
}

void GirlSpringsTick(CPODScene* scene, float frame, const float force[3], float view_yaw) {
  Springs& s = S();
  if (!s.on || scene != s.scene) return;
  scene->SetFrame(frame);
  StartLayer(scene);
  GatherFixed(scene);
  float a[3];
  SpringsDeviceAcceleration(force, view_yaw, a);
  for (float& v : a) v *= s.scale;
  SpringsStep(&s.state, s.fixed.data(), s.fixed.size(), a);
  WriteJoints(scene);
}

GirlSpringsReport GirlSpringsReadout() {
  const Springs& s = S();
  GirlSpringsReport r;
  if (!s.on) return r;
  const SpringsReport k = SpringsReadout(s.state);
  r.chains_moving = k.chains_moving;
  r.max_speed = k.max_speed / s.scale;
  return r;
}
