// Reading a VRM file (a glTF binary with a humanoid bone map) from memory
// into plain records, checked through: after a successful read every index
// names something that exists, every array has the length its count says,
// every picture is decoded, and the limits hold. Anything else is refused
// with one short reason; nothing is ever half read.
//
// The conversion into a character of ours (vrm/vrm_convert) reads these
// records; the fuzz target reads files through here. The glTF parsing is
// tinygltf's (pictures are decoded by our picture module, never by it, and
// it never opens a file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vrm {

// What a file may hold at most.
constexpr uint64_t kMaxFileBytes = 256ull << 20;
constexpr uint64_t kMaxVertices = 1000000;  // all primitives together
constexpr int kMaxPictureSide = 4096;       // after decoding
constexpr int kMaxJoints = 256;             // distinct joints of all skins

enum class Version { k0x, k1 };

enum class AlphaMode { kOpaque, kMask, kBlend };

struct MorphTarget {
  std::vector<float> positions;  // 3 a vertex, or empty
  std::vector<float> normals;    // 3 a vertex, or empty
};

struct Primitive {
  std::vector<float> positions;   // 3 a vertex
  std::vector<float> normals;     // 3 a vertex, or empty
  std::vector<float> uvs;         // 2 a vertex (glTF's: v down the picture), or empty
  std::vector<uint16_t> joints;   // 4 a vertex, slots of the node's skin; empty when rigid
  std::vector<float> weights;     // 4 a vertex, summing to 1; empty when rigid
  std::vector<uint32_t> indices;  // 3 a triangle (strips and fans are made lists)
  std::vector<MorphTarget> targets;
  int material = -1;
  size_t vertexCount() const { return positions.size() / 3; }
};

struct Mesh {
  std::string name;
  std::vector<Primitive> primitives;  // triangles only: points and lines are left out
  std::vector<float> weights;         // default morph weights, one a target
  std::vector<std::string> targetNames;
};

struct Node {
  std::string name;
  int parent = -1;
  std::vector<int> children;
  float translation[3] = {0, 0, 0};
  float rotation[4] = {0, 0, 0, 1};  // x, y, z, w
  float scale[3] = {1, 1, 1};
  int mesh = -1;
  int skin = -1;
};

struct Skin {
  std::vector<int> joints;          // node indices
  std::vector<float> inverseBinds;  // 16 a joint, column-major (glTF's order)
};

struct Material {
  std::string name;
  float baseColor[4] = {1, 1, 1, 1};
  int image = -1;  // the base colour picture, -1 for none
  AlphaMode alphaMode = AlphaMode::kOpaque;
  float alphaCutoff = 0.5f;
  bool doubleSided = false;
  bool unlit = false;  // KHR_materials_unlit, or a VRM 0.x unlit shader
  bool toon = false;   // MToon (VRM 1.0 extension or VRM 0.x shader)
};

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;  // straight alpha, top row first; empty when it could not be decoded
  std::vector<uint8_t> file;  // the PNG or JPEG bytes it was decoded from
  bool jpeg = false;
};

struct Meta {
  std::string title;  // 1.0 name, 0.x title
  std::string version;
  std::string authors;  // 1.0 authors joined with ", ", 0.x author
  std::string license;  // 1.0 licenseUrl, 0.x licenseName (and otherLicenseUrl)
  int thumbnail = -1;   // picture index
};

struct Document {
  Version version = Version::k1;
  std::vector<Node> nodes;
  std::vector<int> roots;  // the nodes of the scene shown, in order
  std::vector<Mesh> meshes;
  std::vector<Skin> skins;
  std::vector<Material> materials;
  std::vector<Picture> pictures;
  std::map<std::string, int> humanoid;  // bone name (1.0 spelling) -> node
  Meta meta;
  nlohmann::json vrm;      // the file's VRMC_vrm or VRM extension as it stands
  nlohmann::json springs;  // VRMC_springBone, or null (0.x keeps them in vrm)
  // What the file holds that is drawn approximately or not at all: one
  // phrase each ("outlines", "rim light", ...), no repeats.
  std::vector<std::string> approximated;
};

// Reads `size` bytes at `data`. False with `reason` set ("not a glTF
// binary file", "not humanoid: no leftFoot", ...) when the file is refused.
bool ReadVrm(const uint8_t* data, size_t size, Document* out, std::string* reason);

}  // namespace vrm
