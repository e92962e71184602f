// The glTF binary reading the VRM reader (vrm_read) and the animation
// reader (vrma_read) share: the container and its JSON looked at before
// anything trusts them (size, nesting, required extensions, the ranges
// tinygltf would follow unchecked), tinygltf's parse, accessors read into
// numbers with every range checked, and the node tree with its parents
// and roots checked for cycles. Inside the vrm library only.
#pragma once

#include <tiny_gltf.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "vrm/vrm_file.h"

namespace vrm {

// The JSON of `size` bytes at `data`, checked: at most `maxBytes`, a GLB
// whose JSON nests at most 64 deep and requires no extension we do not
// know. False with the reason otherwise.
bool OpenGlb(const uint8_t* data, size_t size, uint64_t maxBytes, nlohmann::json* doc, std::string* reason);
// tinygltf's model of the same bytes (pictures kept encoded), after `doc`
// was checked for what tinygltf follows unchecked.
bool ParseGlb(const uint8_t* data, size_t size, const nlohmann::json& doc, tinygltf::Model* model, std::string* reason);

// A non-negative integer member of a JSON object.
bool JsonIndex(const nlohmann::json& o, const char* key, int64_t* out);
// Element `i` of an array, null past its end or for no array.
const nlohmann::json& JsonAt(const nlohmann::json& a, size_t i);

// Reading accessors; the first refusal is kept in `reason`.
struct GltfAccessors {
  const tinygltf::Model& m;
  std::string reason;

  explicit GltfAccessors(const tinygltf::Model& model) : m(model) {}
  bool Fail(const std::string& why) {
    if (reason.empty()) reason = why;
    return false;
  }
  // The bytes of buffer view `v`, or null when it is not inside its buffer.
  const uint8_t* View(int v, size_t* length, size_t* stride) const;
  // Reads accessor `a` of element type `type` (TINYGLTF_TYPE_*), at most
  // `most` elements, into count * components numbers, sparse values
  // applied; every value must be a finite number. `what` names it in a
  // refusal.
  bool Floats(int a, int type, uint64_t most, std::vector<float>* out, size_t* count, const std::string& what);
  // The nodes: names, transforms, children and parents, no cycles; the
  // scene shown's roots (the default scene, else the first, else every root).
  bool ReadNodes(std::vector<Node>* nodes, std::vector<int>* roots);
};

}  // namespace vrm
