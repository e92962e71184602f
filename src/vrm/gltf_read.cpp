#include "vrm/gltf_read.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "files/files.h"
#include "vrm/vrm_json.h"
#include "vrm/vrm_math.h"

namespace vrm {
namespace {

using Json = nlohmann::json;

constexpr int kMaxJsonDepth = 64;

// The JSON chunk of a GLB, or false when the bytes are no GLB.
bool GlbJson(const uint8_t* data, size_t size, const char** json, size_t* length) {
  if (size < 20 || std::memcmp(data, "glTF", 4) != 0) return false;
  uint32_t version, total, chunk, type;
  std::memcpy(&version, data + 4, 4);
  std::memcpy(&total, data + 8, 4);
  std::memcpy(&chunk, data + 12, 4);
  std::memcpy(&type, data + 16, 4);
  if (version != 2 || total > size || type != 0x4E4F534Au || chunk == 0 || 20ull + chunk > total) return false;
  *json = reinterpret_cast<const char*>(data + 20);
  *length = chunk;
  return true;
}

// What tinygltf would follow unchecked: an image's buffer view, handed to
// the picture callback without a look at its range, and a binary buffer of
// no bytes, which it copies through vector::at (a throw, an abort where
// exceptions are off, as in the web build). The reason, "" when safe.
std::string UnsafeForTinygltf(const Json& doc) {
  const Json& buffers = Member(doc, "buffers");
  if (buffers.is_array())
    for (const Json& b : buffers) {
      int64_t length;
      if (Member(b, "uri").is_null() && (!JsonIndex(b, "byteLength", &length) || length == 0))
        return "inconsistent: a buffer of no bytes";
    }
  const Json& images = Member(doc, "images");
  const Json& views = Member(doc, "bufferViews");
  if (!images.is_array()) return "";
  for (const Json& image : images) {
    if (!Member(image, "bufferView").is_null() || !image.is_object()) {
      int64_t v, b, offset = 0, length, size;
      const std::string outside = "inconsistent: a picture lies outside its buffer";
      if (!JsonIndex(image, "bufferView", &v) || !views.is_array() || v >= (int64_t)views.size()) return outside;
      const Json& view = JsonAt(views, (size_t)v);
      if (!JsonIndex(view, "buffer", &b) || !JsonIndex(view, "byteLength", &length)) return outside;
      if (!Member(view, "byteOffset").is_null() && !JsonIndex(view, "byteOffset", &offset)) return outside;
      if (!buffers.is_array() || b >= (int64_t)buffers.size() ||
          !JsonIndex(JsonAt(buffers, (size_t)b), "byteLength", &size))
        return outside;
      if (length == 0 || offset > size || length > size - offset) return outside;
    }
  }
  return "";
}

// The picture callback keeps the encoded bytes: our picture module decodes
// them later, and only the pictures that are drawn.
bool KeepPictureBytes(tinygltf::Image* image, const int, std::string*, std::string*, int, int,
                      const unsigned char* bytes, int size, void*) {
  if (size < 0) return false;
  image->image.assign(bytes, bytes + size);
  image->width = image->height = -1;
  return true;
}

double Component(const uint8_t* p, int type, bool normalized) {
  switch (type) {
    case TINYGLTF_COMPONENT_TYPE_BYTE: {
      const int8_t v = (int8_t)*p;
      return normalized ? std::max(v / 127.0, -1.0) : v;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
      return normalized ? *p / 255.0 : *p;
    case TINYGLTF_COMPONENT_TYPE_SHORT: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return normalized ? std::max(v / 32767.0, -1.0) : v;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      return normalized ? v / 65535.0 : v;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return normalized ? v / 4294967295.0 : v;
    }
    case TINYGLTF_COMPONENT_TYPE_FLOAT: {
      float v;
      std::memcpy(&v, p, 4);
      return v;
    }
    default:
      return 0;
  }
}

bool Finite(const std::vector<double>& v) {
  for (double x : v)
    if (!std::isfinite(x) || std::fabs(x) > 1e12) return false;
  return true;
}

// A node's matrix (column-major) as translation, rotation and scale.
void Decompose(const std::vector<double>& mm, Node* n) {
  double c[3][3];
  for (int k = 0; k < 3; ++k)
    for (int r = 0; r < 3; ++r) c[k][r] = mm[4 * k + r];
  for (int k = 0; k < 3; ++k) n->translation[k] = (float)mm[12 + k];
  double s[3];
  for (int k = 0; k < 3; ++k) s[k] = std::sqrt(c[k][0] * c[k][0] + c[k][1] * c[k][1] + c[k][2] * c[k][2]);
  const double det = c[0][0] * (c[1][1] * c[2][2] - c[1][2] * c[2][1]) -
                     c[1][0] * (c[0][1] * c[2][2] - c[0][2] * c[2][1]) +
                     c[2][0] * (c[0][1] * c[1][2] - c[0][2] * c[1][1]);
  if (det < 0) s[0] = -s[0];
  for (int k = 0; k < 3; ++k) {
    n->scale[k] = (float)s[k];
    for (int r = 0; r < 3; ++r) c[k][r] = s[k] != 0 ? c[k][r] / s[k] : (k == r ? 1 : 0);
  }
  const Quat q = FromColumns(c);
  n->rotation[0] = (float)q.x, n->rotation[1] = (float)q.y, n->rotation[2] = (float)q.z, n->rotation[3] = (float)q.w;
}

// Extensions a file may require that change nothing we read.
bool Ignorable(const std::string& ext) {
  return ext == "KHR_materials_unlit" || ext == "KHR_texture_transform" || ext == "KHR_mesh_quantization" ||
         ext == "KHR_materials_emissive_strength" || ext.rfind("VRMC_", 0) == 0 || ext == "VRM";
}

}  // namespace

bool JsonIndex(const Json& o, const char* key, int64_t* out) {
  if (!o.is_object()) return false;
  auto it = o.find(key);
  if (it == o.end() || !it->is_number_integer()) return false;
  const int64_t v = it->get<int64_t>();
  if (v < 0) return false;
  *out = v;
  return true;
}

const Json& JsonAt(const Json& a, size_t i) {
  static const Json kNull;
  return a.is_array() && i < a.size() ? a[i] : kNull;
}

bool OpenGlb(const uint8_t* data, size_t size, uint64_t maxBytes, Json* doc, std::string* reason) {
  if (size > maxBytes) {
    *reason = "larger than " + std::to_string(maxBytes >> 20) + " MB";
    return false;
  }
  const char* text = nullptr;
  size_t length = 0;
  if (!data || !GlbJson(data, size, &text, &length)) {
    *reason = "not a glTF binary file";
    return false;
  }
  // tinygltf copies the extensions it meets recursively: a file nested
  // thousands deep is refused before it is parsed.
  if (JsonNestsDeeperThan(text, length, kMaxJsonDepth)) {
    *reason = "inconsistent: its JSON nests too deeply";
    return false;
  }
  *doc = Json::parse(text, text + length, nullptr, false);
  if (!doc->is_object()) {
    *reason = "not a glTF binary file: its JSON is broken";
    return false;
  }
  const Json& required = Member(*doc, "extensionsRequired");
  if (required.is_array())
    for (const Json& e : required)
      if (e.is_string() && !Ignorable(e.get<std::string>())) {
        *reason = "needs the glTF extension " + e.get<std::string>() + ", which is not supported";
        return false;
      }
  return true;
}

bool ParseGlb(const uint8_t* data, size_t size, const Json& doc, tinygltf::Model* model, std::string* reason) {
  const std::string unsafe = UnsafeForTinygltf(doc);
  if (!unsafe.empty()) {
    *reason = unsafe;
    return false;
  }
  std::string err, warn;
  bool parsed = false;
  try {
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(KeepPictureBytes, nullptr);
    parsed = loader.LoadBinaryFromMemory(model, &err, &warn, data, (unsigned int)size, "");
  } catch (const std::exception&) {
    parsed = false;
  }
  if (!parsed) {
    std::string first = err.substr(0, err.find('\n'));
    *reason = "not a glTF binary file" + (first.empty() ? std::string() : ": " + first);
    return false;
  }
  return true;
}

// The bytes of buffer view `v`, or null when it is not inside its buffer.
const uint8_t* GltfAccessors::View(int v, size_t* length, size_t* stride) const {
  if (v < 0 || (size_t)v >= m.bufferViews.size()) return nullptr;
  const tinygltf::BufferView& view = m.bufferViews[(size_t)v];
  if (view.buffer < 0 || (size_t)view.buffer >= m.buffers.size()) return nullptr;
  const std::vector<unsigned char>& data = m.buffers[(size_t)view.buffer].data;
  if (view.byteOffset > data.size() || view.byteLength > data.size() - view.byteOffset) return nullptr;
  *length = view.byteLength;
  *stride = view.byteStride;
  return data.data() + view.byteOffset;
}

// Reads accessor `a` of element type `type` (TINYGLTF_TYPE_*), at most
// `most` elements, into count * components numbers, sparse values
// applied; every value must be a finite number. `what` names it in a
// refusal.
bool GltfAccessors::Floats(int a, int type, uint64_t most, std::vector<float>* out, size_t* count,
                           const std::string& what) {
  if (a < 0 || (size_t)a >= m.accessors.size()) return Fail("inconsistent: " + what + " names no accessor");
  const tinygltf::Accessor& acc = m.accessors[(size_t)a];
  const int comps = tinygltf::GetNumComponentsInType((uint32_t)acc.type);
  const int size = tinygltf::GetComponentSizeInBytes((uint32_t)acc.componentType);
  if (acc.type != type || comps <= 0 || size <= 0 || acc.componentType == TINYGLTF_COMPONENT_TYPE_DOUBLE ||
      acc.componentType == TINYGLTF_COMPONENT_TYPE_INT)
    return Fail("inconsistent: " + what + " has the wrong kind of values");
  const uint64_t n = acc.count;
  const uint64_t elem = (uint64_t)comps * size;
  if (n > most) return Fail("inconsistent: " + what + " is out of range");
  size_t length = 0, stride = 0;
  const uint8_t* base = nullptr;
  if (acc.bufferView >= 0) {
    base = View(acc.bufferView, &length, &stride);
    if (!base) return Fail("inconsistent: " + what + " lies outside its buffer");
    if (stride == 0) stride = elem;
    if (n > 0 && (acc.byteOffset > length || (n - 1) * (uint64_t)stride + elem > length - acc.byteOffset))
      return Fail("inconsistent: " + what + " is out of range");
  }
  out->assign(n * comps, 0.0f);
  if (base)
    for (uint64_t i = 0; i < n; ++i)
      for (int k = 0; k < comps; ++k)
        (*out)[i * comps + k] = (float)Component(base + acc.byteOffset + i * stride + (uint64_t)k * size,
                                                 acc.componentType, acc.normalized);
  if (acc.sparse.isSparse) {
    const auto& sp = acc.sparse;
    const int ict = sp.indices.componentType;
    const int isize = tinygltf::GetComponentSizeInBytes((uint32_t)ict);
    if (sp.count < 0 || (uint64_t)sp.count > n || sp.indices.byteOffset < 0 || sp.values.byteOffset < 0 ||
        (ict != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE && ict != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT &&
         ict != TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT))
      return Fail("inconsistent: " + what + " has broken sparse values");
    size_t il = 0, is = 0, vl = 0, vs = 0;
    const uint8_t* ib = View(sp.indices.bufferView, &il, &is);
    const uint8_t* vb = View(sp.values.bufferView, &vl, &vs);
    const uint64_t c = (uint64_t)sp.count;
    if (!ib || !vb || (uint64_t)sp.indices.byteOffset + c * isize > il ||
        (uint64_t)sp.values.byteOffset + c * elem > vl)
      return Fail("inconsistent: " + what + " has sparse values out of range");
    for (uint64_t j = 0; j < c; ++j) {
      const double iv = Component(ib + sp.indices.byteOffset + j * isize, ict, false);
      if (iv >= (double)n) return Fail("inconsistent: " + what + " has sparse values out of range");
      for (int k = 0; k < comps; ++k)
        (*out)[(size_t)iv * comps + k] = (float)Component(vb + sp.values.byteOffset + j * elem + (uint64_t)k * size,
                                                          acc.componentType, acc.normalized);
    }
  }
  for (float v : *out)
    if (!std::isfinite(v) || std::fabs(v) > 1e12f)
      return Fail("inconsistent: " + what + " holds values that are not numbers");
  *count = (size_t)n;
  return true;
}

bool GltfAccessors::ReadNodes(std::vector<Node>* outNodes, std::vector<int>* roots) {
  const size_t count = m.nodes.size();
  (*outNodes).resize(count);
  for (size_t i = 0; i < count; ++i) {
    const tinygltf::Node& src = m.nodes[i];
    Node& n = (*outNodes)[i];
    const std::string what = "node " + std::to_string(i);
    n.name = src.name;
    if (src.mesh >= (int)m.meshes.size() || src.skin >= (int)m.skins.size())
      return Fail("inconsistent: " + what + " names a mesh or skin that does not exist");
    n.mesh = src.mesh;
    n.skin = src.skin;
    if (src.matrix.size() == 16) {
      if (!Finite(src.matrix)) return Fail("inconsistent: " + what + " has a matrix that is not numbers");
      Decompose(src.matrix, &n);
    } else {
      if (!Finite(src.translation) || !Finite(src.rotation) || !Finite(src.scale))
        return Fail("inconsistent: " + what + " has a transform that is not numbers");
      if (src.translation.size() == 3)
        for (int k = 0; k < 3; ++k) n.translation[k] = (float)src.translation[k];
      if (src.scale.size() == 3)
        for (int k = 0; k < 3; ++k) n.scale[k] = (float)src.scale[k];
      if (src.rotation.size() == 4) {
        double len = 0;
        for (double v : src.rotation) len += v * v;
        len = std::sqrt(len);
        if (len < 1e-6) return Fail("inconsistent: " + what + " has a rotation of length 0");
        for (int k = 0; k < 4; ++k) n.rotation[k] = (float)(src.rotation[k] / len);
      }
    }
    for (int child : src.children) {
      if (child < 0 || (size_t)child >= count)
        return Fail("inconsistent: " + what + " has a child that does not exist");
      n.children.push_back(child);
    }
  }
  for (size_t i = 0; i < count; ++i)
    for (int child : (*outNodes)[i].children) {
      if ((*outNodes)[(size_t)child].parent >= 0)
        return Fail("inconsistent: node " + std::to_string(child) + " has two parents");
      (*outNodes)[(size_t)child].parent = (int)i;
    }
  // Every parent chain must end at a root.
  std::vector<uint8_t> state(count, 0);  // 0 unseen, 1 on this walk, 2 known good
  for (size_t i = 0; i < count; ++i) {
    int p = (int)i;
    while (p >= 0 && state[(size_t)p] == 0) {
      state[(size_t)p] = 1;
      p = (*outNodes)[(size_t)p].parent;
    }
    if (p >= 0 && state[(size_t)p] == 1) return Fail("inconsistent: the nodes form a cycle");
    for (p = (int)i; p >= 0 && state[(size_t)p] == 1; p = (*outNodes)[(size_t)p].parent) state[(size_t)p] = 2;
  }
  // The scene shown: the default one, else the first, else every root.
  int scene = m.defaultScene >= 0 ? m.defaultScene : (m.scenes.empty() ? -1 : 0);
  if (scene >= (int)m.scenes.size()) return Fail("inconsistent: the scene shown does not exist");
  if (scene >= 0) {
    for (int r : m.scenes[(size_t)scene].nodes) {
      if (r < 0 || (size_t)r >= count || (*outNodes)[(size_t)r].parent >= 0)
        return Fail("inconsistent: the scene names a node that is not a root");
      (*roots).push_back(r);
    }
  } else {
    for (size_t i = 0; i < count; ++i)
      if ((*outNodes)[i].parent < 0) (*roots).push_back((int)i);
  }
  return true;
}

}  // namespace vrm
