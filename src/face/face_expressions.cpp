#include "face/face_expressions.h"

#include <algorithm>
#include <cmath>

#include "scene/ModelPOD.h"

namespace {

using Json = nlohmann::json;

bool In(const char* const* group, const std::string& name) {
  for (; *group; ++group)
    if (name == *group) return true;
  return false;
}
const char* const kBlinks[] = {"blink", "blinkLeft", "blinkRight", nullptr};
const char* const kMouths[] = {"aa", "ih", "ou", "ee", "oh", nullptr};
const char* const kLooks[] = {"lookUp", "lookDown", "lookLeft", "lookRight", nullptr};

bool ReadRange(const Json& look, const char* key, FaceRangeMap* out) {
  auto it = look.find(key);
  if (it == look.end() || !it->is_array() || it->size() != 2 || !(*it)[0].is_number() || !(*it)[1].is_number())
    return false;
  out->input = (*it)[0].get<float>();
  out->output = (*it)[1].get<float>();
  return std::isfinite(out->input) && std::isfinite(out->output);
}

int Node(const Json& info, const char* bone, const CPODScene* scene) {
  const auto humanoid = info.find("humanoid");
  if (humanoid == info.end() || !humanoid->is_object()) return -1;
  const auto b = humanoid->find(bone);
  if (b == humanoid->end() || !b->is_object()) return -1;
  const auto n = b->find("node");
  if (n == b->end() || !n->is_number_integer()) return -1;
  const long long i = n->get<long long>();
  return i >= 0 && i < static_cast<long long>(scene->nodeCount) ? static_cast<int>(i) : -1;
}

}  // namespace

float FaceRangeMap::At(float degrees) const {
  if (!(input > 0)) return 0;
  return std::min(std::fabs(degrees), input) / input * output;
}

bool FaceCharacterRead(const nlohmann::json& info, const CPODScene* scene, FaceCharacter* out, std::string* error) {
  *out = FaceCharacter();
  const auto face = info.is_object() ? info.find("face") : info.end();
  if (!scene || face == info.end() || !face->is_object()) {
    *error = "keeps no face";
    return false;
  }
  const auto presets = face->find("presets");
  const auto look = face->find("look_at");
  if (presets == face->end() || !presets->is_object() || look == face->end() || !look->is_object()) {
    *error = "its face cannot be read";
    return false;
  }
  FaceCharacter c;
  c.scene = scene;
  for (auto it = presets->begin(); it != presets->end(); ++it) {
    const Json& p = it.value();
    if (!p.is_object()) continue;
    FaceExpression e;
    e.name = it.key();
    const Json binds = p.value("binds", Json::array());
    for (const Json& b : binds.is_array() ? binds : Json::array()) {
      if (!b.is_array() || b.size() != 3 || !b[0].is_number_integer() || !b[1].is_number_integer() || !b[2].is_number())
        continue;
      const long long mesh = b[0].get<long long>(), morph = b[1].get<long long>();
      if (mesh < 0 || mesh >= static_cast<long long>(scene->meshCount) || morph < 0 ||
          morph >= static_cast<long long>(scene->meshes[mesh].morphCount))
        continue;
      const float w = b[2].get<float>();
      if (!std::isfinite(w)) continue;
      e.binds.push_back({static_cast<int>(mesh), static_cast<int>(morph), w});
      c.rest.push_back(scene->meshes[mesh].morphs[morph].weight);
    }
    auto flag = [&](const char* key) {
      const auto v = p.find(key);
      return v != p.end() && v->is_number_integer() && v->get<int>() >= 0 && v->get<int>() <= 2 ? v->get<int>() : 0;
    };
    e.binary = p.value("binary", false) == true;
    e.override_blink = flag("override_blink");
    e.override_look_at = flag("override_look_at");
    e.override_mouth = flag("override_mouth");
    c.presets.push_back(e);
  }
  c.look_expressions = look->value("type", std::string()) == "expression";
  if (!ReadRange(*look, "horizontal_inner", &c.inner) || !ReadRange(*look, "horizontal_outer", &c.outer) ||
      !ReadRange(*look, "vertical_down", &c.down) || !ReadRange(*look, "vertical_up", &c.up)) {
    *error = "its look-at cannot be read";
    return false;
  }
  c.head = Node(info, "head", scene);
  c.neck = Node(info, "neck", scene);
  c.eye[0] = Node(info, "leftEye", scene);
  c.eye[1] = Node(info, "rightEye", scene);
  c.layer.resize(scene->nodeCount);
  *out = std::move(c);
  return true;
}

std::map<std::string, float> FaceExpressionWeights(const FaceCharacter& c, const std::map<std::string, float>& wanted) {
  std::map<std::string, float> w;
  for (const FaceExpression& e : c.presets) {
    auto it = wanted.find(e.name);
    float v = it == wanted.end() ? 0.0f : std::min(std::max(it->second, 0.0f), 1.0f);
    if (e.binary) v = v > 0.5f ? 1.0f : 0.0f;
    w[e.name] = v;
  }
  // What each group is held to by the other presets.
  float blink = 1, mouth = 1, look = 1;
  auto hold = [](float* share, int rule, float weight) {
    if (weight <= 0) return;
    if (rule == kOverrideBlock) *share = 0;
    if (rule == kOverrideBlend) *share = std::min(*share, 1 - weight);
  };
  for (const FaceExpression& e : c.presets) {
    const float v = w[e.name];
    if (!In(kBlinks, e.name)) hold(&blink, e.override_blink, v);
    if (!In(kMouths, e.name)) hold(&mouth, e.override_mouth, v);
    if (!In(kLooks, e.name)) hold(&look, e.override_look_at, v);
  }
  for (auto& p : w) {
    if (In(kBlinks, p.first)) p.second *= blink;
    if (In(kMouths, p.first)) p.second *= mouth;
    if (In(kLooks, p.first)) p.second *= look;
  }
  w["lookAt"] = look;
  return w;
}

void FaceCharacterApply(FaceCharacter* c, CPODScene* scene, const FacePose& pose,
                        const std::map<std::string, float>& weights) {
  if (!c->scene || c->scene != scene) return;
  size_t at = 0;
  for (const FaceExpression& e : c->presets)
    for (const FaceMorphBind& b : e.binds) scene->meshes[b.mesh].morphs[b.morph].weight = c->rest[at++];
  for (const FaceExpression& e : c->presets) {
    auto it = weights.find(e.name);
    const float v = it == weights.end() ? 0.0f : it->second;
    if (v != 0)
      for (const FaceMorphBind& b : e.binds) scene->meshes[b.mesh].morphs[b.morph].weight += v * b.weight;
  }
  for (MATRIX& m : c->layer) MatrixIdentity(m);
  MATRIX neck, head;
  FaceHeadTurns(pose, &neck, &head);
  if (c->neck >= 0) c->layer[c->neck] = neck;
  if (c->head >= 0) {
    // Without a neck the head takes the whole turn.
    if (c->neck < 0) FaceTurn(head, pose.head_yaw, pose.head_pitch);
    c->layer[c->head] = head;
  }
  if (!c->look_expressions) {
    auto it = weights.find("lookAt");
    const float share = it == weights.end() ? 1.0f : it->second;
    // Her left is each eye's outer side for the left eye, its inner for the right.
    for (int side = 0; side < 2; ++side) {
      if (c->eye[side] < 0) continue;
      const bool outward = (pose.eye_yaw > 0) == (side == 0);
      const float yaw = std::copysign((outward ? c->outer : c->inner).At(pose.eye_yaw), pose.eye_yaw);
      const float pitch = std::copysign((pose.eye_pitch > 0 ? c->up : c->down).At(pose.eye_pitch), pose.eye_pitch);
      FaceTurn(c->layer[c->eye[side]], yaw * share, pitch * share);
    }
  }
  scene->SetPoseLayer(c->layer.data());
}
