// Writing glTF binaries: a JSON document and one binary buffer, assembled
// in memory. Her VRM exports (tools/girlgen) and the small hand-made files
// of the importer's tests and fuzz seeds (tests/kit) are made with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "vrm/vrm_file.h"

namespace vrm {

class GlbBuilder {
 public:
  // The document: members other than "buffers", "bufferViews" and
  // "accessors" are the caller's; Finish adds "asset" when it is missing.
  nlohmann::json json = nlohmann::json::object();

  // Appends `size` bytes as a buffer view, 4-byte aligned; its index.
  int View(const void* data, size_t size);
  // An accessor over a new view: `count` elements of `type` ("SCALAR",
  // "VEC2", "VEC3", "VEC4", "MAT4") with components of `componentType`
  // (5121 unsigned byte, 5123 unsigned short, 5125 unsigned int, 5126
  // float), tightly packed. With `bounds` its min and max are written (as
  // glTF asks of positions).
  int Accessor(const void* data, size_t count, int componentType, const char* type, bool bounds = false);
  int Floats(const std::vector<float>& values, const char* type, bool bounds = false);
  // A picture of encoded bytes ("image/png", "image/jpeg"); its index in "images".
  int Image(const std::vector<uint8_t>& bytes, const char* mimeType);
  // The whole file.
  std::vector<uint8_t> Finish() const;

 private:
  std::vector<uint8_t> bin_;
};

// Makes `doc` a VRM file of `version`: its extension ("VRMC_vrm" for 1.0,
// "VRM" for 0.x) with the humanoid map (bone names in 1.0 spelling -> node
// indices, written in the version's own form) and the meta's title and
// author, listed in "extensionsUsed".
void AddVrmExtension(nlohmann::json& doc, Version version, const std::map<std::string, int>& humanoid,
                     const std::string& title, const std::string& author);

}  // namespace vrm
