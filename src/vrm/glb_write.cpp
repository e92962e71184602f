#include "vrm/glb_write.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vrm {

namespace {

int Components(const std::string& type) {
  if (type == "VEC2") return 2;
  if (type == "VEC3") return 3;
  if (type == "VEC4") return 4;
  if (type == "MAT4") return 16;
  return 1;
}

int ComponentBytes(int componentType) {
  switch (componentType) {
    case 5120:
    case 5121:
      return 1;
    case 5122:
    case 5123:
      return 2;
    default:
      return 4;
  }
}

double ComponentValue(const uint8_t* p, int componentType) {
  switch (componentType) {
    case 5121:
      return *p;
    case 5123: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    case 5125: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
    default: {
      float v;
      std::memcpy(&v, p, 4);
      return v;
    }
  }
}

void Pad(std::vector<uint8_t>& b, uint8_t with) {
  while (b.size() % 4) b.push_back(with);
}

}  // namespace

int GlbBuilder::View(const void* data, size_t size) {
  Pad(bin_, 0);
  nlohmann::json view = {{"buffer", 0}, {"byteOffset", bin_.size()}, {"byteLength", size}};
  const uint8_t* p = static_cast<const uint8_t*>(data);
  bin_.insert(bin_.end(), p, p + size);
  nlohmann::json& views = json["bufferViews"];
  views.push_back(view);
  return static_cast<int>(views.size()) - 1;
}

int GlbBuilder::Accessor(const void* data, size_t count, int componentType, const char* type, bool bounds) {
  const int comps = Components(type);
  const size_t bytes = count * comps * ComponentBytes(componentType);
  nlohmann::json acc = {
      {"bufferView", View(data, bytes)}, {"componentType", componentType}, {"count", count}, {"type", type}};
  if (bounds && count > 0) {
    std::vector<double> lo(comps, std::numeric_limits<double>::max()), hi(comps, -std::numeric_limits<double>::max());
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < count; ++i)
      for (int k = 0; k < comps; ++k) {
        const double v = ComponentValue(p + (i * comps + k) * ComponentBytes(componentType), componentType);
        lo[k] = std::min(lo[k], v);
        hi[k] = std::max(hi[k], v);
      }
    acc["min"] = lo;
    acc["max"] = hi;
  }
  nlohmann::json& accessors = json["accessors"];
  accessors.push_back(acc);
  return static_cast<int>(accessors.size()) - 1;
}

int GlbBuilder::Floats(const std::vector<float>& values, const char* type, bool bounds) {
  return Accessor(values.data(), values.size() / Components(type), 5126, type, bounds);
}

int GlbBuilder::Image(const std::vector<uint8_t>& bytes, const char* mimeType) {
  nlohmann::json& images = json["images"];
  images.push_back({{"bufferView", View(bytes.data(), bytes.size())}, {"mimeType", mimeType}});
  return static_cast<int>(images.size()) - 1;
}

std::vector<uint8_t> GlbBuilder::Finish() const {
  nlohmann::json doc = json;
  if (!doc.contains("asset")) doc["asset"] = {{"version", "2.0"}, {"generator", "Ovanta"}};
  std::vector<uint8_t> bin = bin_;
  Pad(bin, 0);
  if (!bin.empty()) doc["buffers"] = nlohmann::json::array({{{"byteLength", bin.size()}}});
  const std::string text = doc.dump();
  std::vector<uint8_t> chunk(text.begin(), text.end());
  Pad(chunk, ' ');
  std::vector<uint8_t> out;
  auto u32 = [&](uint32_t v) {
    uint8_t b[4];
    std::memcpy(b, &v, 4);
    out.insert(out.end(), b, b + 4);
  };
  const uint32_t total = 12 + 8 + (uint32_t)chunk.size() + (bin.empty() ? 0 : 8 + (uint32_t)bin.size());
  out.insert(out.end(), {'g', 'l', 'T', 'F'});
  u32(2);
  u32(total);
  u32((uint32_t)chunk.size());
  u32(0x4E4F534Au);
  out.insert(out.end(), chunk.begin(), chunk.end());
  if (!bin.empty()) {
    u32((uint32_t)bin.size());
    u32(0x004E4942u);
    out.insert(out.end(), bin.begin(), bin.end());
  }
  return out;
}

void AddVrmExtension(nlohmann::json& doc, Version version, const std::map<std::string, int>& humanoid,
                     const std::string& title, const std::string& author) {
  const char* name = version == Version::k1 ? "VRMC_vrm" : "VRM";
  nlohmann::json ext;
  if (version == Version::k1) {
    nlohmann::json bones = nlohmann::json::object();
    for (const auto& b : humanoid) bones[b.first] = {{"node", b.second}};
    ext = {{"specVersion", "1.0"},
           {"meta", {{"name", title}, {"authors", {author}}, {"licenseUrl", "https://vrm.dev/licenses/1.0/"}}},
           {"humanoid", {{"humanBones", bones}}}};
  } else {
    nlohmann::json bones = nlohmann::json::array();
    for (const auto& b : humanoid) {
      std::string bone = b.first;
      // 0.x names the thumb's joints one further in.
      for (const char* side : {"left", "right"}) {
        const std::string s = side;
        if (bone == s + "ThumbProximal")
          bone = s + "ThumbIntermediate";
        else if (bone == s + "ThumbMetacarpal")
          bone = s + "ThumbProximal";
      }
      bones.push_back({{"bone", bone}, {"node", b.second}, {"useDefaultValues", true}});
    }
    ext = {{"exporterVersion", "Ovanta"},
           {"specVersion", "0.0"},
           {"meta", {{"title", title}, {"author", author}, {"licenseName", "Other"}}},
           {"humanoid", {{"humanBones", bones}}}};
  }
  doc["extensions"][name] = ext;
  nlohmann::json& used = doc["extensionsUsed"];
  if (std::find(used.begin(), used.end(), name) == used.end()) used.push_back(name);
}

}  // namespace vrm
