#include "vrm/vrm_expressions.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "vrm/vrm_json.h"

namespace vrm {

namespace {

using Json = nlohmann::json;

// 0.x preset names (any case) in 1.0 spelling; "" for none of them.
std::string PresetFrom0x(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  static const char* const kNames[][2] = {{"neutral", "neutral"},
                                          {"a", "aa"},
                                          {"i", "ih"},
                                          {"u", "ou"},
                                          {"e", "ee"},
                                          {"o", "oh"},
                                          {"blink", "blink"},
                                          {"blink_l", "blinkLeft"},
                                          {"blink_r", "blinkRight"},
                                          {"joy", "happy"},
                                          {"angry", "angry"},
                                          {"sorrow", "sad"},
                                          {"fun", "relaxed"},
                                          {"lookup", "lookUp"},
                                          {"lookdown", "lookDown"},
                                          {"lookleft", "lookLeft"},
                                          {"lookright", "lookRight"},
                                          {"surprised", "surprised"}};
  for (const auto& n : kNames)
    if (name == n[0]) return n[1];
  return "";
}

int Override(const Json& v) {
  const std::string s = v.is_string() ? v.get<std::string>() : "none";
  return s == "block" ? 1 : s == "blend" ? 2 : 0;
}

// [our mesh, morph, weight] for a morph target of the file's node or mesh.
void Binds(const std::vector<DrawnInto>& drawn, bool byNode, int which, const Json& index, float weight, Json* out) {
  if (!index.is_number_integer() || index.get<long long>() < 0 || index.get<long long>() > 1 << 20) return;
  for (const DrawnInto& d : drawn)
    if ((byNode ? d.node : d.mesh) == which)
      for (int m : d.ours) out->push_back({m, index.get<int>(), weight});
}

// The look-at's type and its four range maps (horizontal inner and outer,
// vertical down and up, under the version's `keys`); a map left out goes
// 90 degrees to 10 of eye turn (bone) or to the whole expression.
Json LookAt(const Json& look, const char* const keys[4], bool v1, bool bone) {
  const char* const names[4] = {"horizontal_inner", "horizontal_outer", "vertical_down", "vertical_up"};
  Json out = {{"type", bone ? "bone" : "expression"}};
  for (int k = 0; k < 4; ++k) {
    const Json& r = Member(look, keys[k]);
    out[names[k]] = {Number(r, v1 ? "inputMaxValue" : "xRange", 90),
                     Number(r, v1 ? "outputScale" : "yRange", bone ? 10 : 1)};
  }
  return out;
}

}  // namespace

nlohmann::json FileExpressions(const Document& doc, const std::vector<DrawnInto>& drawn) {
  Json presets = Json::object();
  Json lookAt = Json::object();
  const bool v1 = doc.version == Version::k1;
  if (v1) {
    const Json& list = Member(Member(doc.vrm, "expressions"), "preset");
    if (list.is_object())
      for (auto it = list.begin(); it != list.end(); ++it) {
        Json binds = Json::array();
        for (const Json& b : Member(it.value(), "morphTargetBinds").is_array() ? Member(it.value(), "morphTargetBinds")
                                                                               : Json::array()) {
          const Json& node = Member(b, "node");
          if (node.is_number_integer())
            Binds(drawn, true, node.get<int>(), Member(b, "index"), Number(b, "weight", 0), &binds);
        }
        const Json& binary = Member(it.value(), "isBinary");
        presets[it.key()] = {{"binds", binds},
                             {"binary", binary.is_boolean() && binary.get<bool>()},
                             {"override_blink", Override(Member(it.value(), "overrideBlink"))},
                             {"override_look_at", Override(Member(it.value(), "overrideLookAt"))},
                             {"override_mouth", Override(Member(it.value(), "overrideMouth"))}};
      }
    const Json& l = Member(doc.vrm, "lookAt");
    const bool bone = !Member(l, "type").is_string() || Member(l, "type").get<std::string>() != "expression";
    const char* const keys[4] = {"rangeMapHorizontalInner", "rangeMapHorizontalOuter", "rangeMapVerticalDown",
                                 "rangeMapVerticalUp"};
    lookAt = LookAt(l, keys, true, bone);
  } else {
    const Json& groups = Member(Member(doc.vrm, "blendShapeMaster"), "blendShapeGroups");
    if (groups.is_array())
      for (const Json& g : groups) {
        const Json& preset = Member(g, "presetName");
        const std::string name = preset.is_string() ? PresetFrom0x(preset.get<std::string>()) : "";
        if (name.empty() || presets.contains(name)) continue;
        Json binds = Json::array();
        for (const Json& b : Member(g, "binds").is_array() ? Member(g, "binds") : Json::array()) {
          const Json& mesh = Member(b, "mesh");
          // 0.x weights run to 100.
          if (mesh.is_number_integer())
            Binds(drawn, false, mesh.get<int>(), Member(b, "index"), Number(b, "weight", 0) / 100.0f, &binds);
        }
        const Json& binary = Member(g, "isBinary");
        presets[name] = {{"binds", binds},
                         {"binary", binary.is_boolean() && binary.get<bool>()},
                         {"override_blink", 0},
                         {"override_look_at", 0},
                         {"override_mouth", 0}};
      }
    const Json& fp = Member(doc.vrm, "firstPerson");
    const Json& type = Member(fp, "lookAtTypeName");
    const bool bone = !type.is_string() || type.get<std::string>() != "BlendShape";
    const char* const keys[4] = {"lookAtHorizontalInner", "lookAtHorizontalOuter", "lookAtVerticalDown",
                                 "lookAtVerticalUp"};
    lookAt = LookAt(fp, keys, false, bone);
  }
  return {{"presets", presets}, {"look_at", lookAt}};
}

}  // namespace vrm
