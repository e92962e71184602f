// The VRM reader: the GLB container and its JSON are looked at first (size,
// nesting, the picture ranges tinygltf would follow unchecked), then
// tinygltf parses the document, and every part the conversion uses is
// copied out of it into the plain records with its indices and ranges
// checked. The VRM extensions are read from the JSON as it stands.
#include "vrm/vrm_file.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <set>

#include "picture/picture_file.h"
#include "vrm/vrm_humanoid.h"
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

// How deeply arrays and objects nest, strings skipped: tinygltf copies the
// extensions it meets recursively, so a file nested thousands deep is
// refused before it is parsed.
int JsonDepth(const char* s, size_t n) {
  int depth = 0, deepest = 0;
  bool inString = false;
  for (size_t i = 0; i < n; ++i) {
    const char c = s[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
      if (deepest > kMaxJsonDepth) return deepest;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

// A non-negative integer member of a JSON object.
bool Index(const Json& o, const char* key, int64_t* out) {
  if (!o.is_object()) return false;
  auto it = o.find(key);
  if (it == o.end() || !it->is_number_integer()) return false;
  const int64_t v = it->get<int64_t>();
  if (v < 0) return false;
  *out = v;
  return true;
}

const Json& At(const Json& a, size_t i) {
  static const Json kNull;
  return a.is_array() && i < a.size() ? a[i] : kNull;
}

std::string Text(const Json& o, const char* key) {
  const Json& v = Member(o, key);
  return v.is_string() ? v.get<std::string>() : std::string();
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
      if (Member(b, "uri").is_null() && (!Index(b, "byteLength", &length) || length == 0))
        return "inconsistent: a buffer of no bytes";
    }
  const Json& images = Member(doc, "images");
  const Json& views = Member(doc, "bufferViews");
  if (!images.is_array()) return "";
  for (const Json& image : images) {
    if (!Member(image, "bufferView").is_null() || !image.is_object()) {
      int64_t v, b, offset = 0, length, size;
      const std::string outside = "inconsistent: a picture lies outside its buffer";
      if (!Index(image, "bufferView", &v) || !views.is_array() || v >= (int64_t)views.size()) return outside;
      const Json& view = At(views, (size_t)v);
      if (!Index(view, "buffer", &b) || !Index(view, "byteLength", &length)) return outside;
      if (!Member(view, "byteOffset").is_null() && !Index(view, "byteOffset", &offset)) return outside;
      if (!buffers.is_array() || b >= (int64_t)buffers.size() || !Index(At(buffers, (size_t)b), "byteLength", &size))
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

struct Reader {
  const tinygltf::Model& m;
  const Json& doc;
  Document& d;
  std::string reason;
  std::set<std::string> notes;

  bool Fail(const std::string& why) {
    if (reason.empty()) reason = why;
    return false;
  }
  void Note(const char* what) { notes.insert(what); }

  // ---- accessors ----------------------------------------------------------

  // The bytes of buffer view `v`, or null when it is not inside its buffer.
  const uint8_t* View(int v, size_t* length, size_t* stride) {
    if (v < 0 || (size_t)v >= m.bufferViews.size()) return nullptr;
    const tinygltf::BufferView& view = m.bufferViews[(size_t)v];
    if (view.buffer < 0 || (size_t)view.buffer >= m.buffers.size()) return nullptr;
    const std::vector<unsigned char>& data = m.buffers[(size_t)view.buffer].data;
    if (view.byteOffset > data.size() || view.byteLength > data.size() - view.byteOffset) return nullptr;
    *length = view.byteLength;
    *stride = view.byteStride;
    return data.data() + view.byteOffset;
  }

  static double Component(const uint8_t* p, int type, bool normalized) {
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

  // Reads accessor `a` of element type `type` (TINYGLTF_TYPE_*), at most
  // `most` elements, into count * components numbers, sparse values
  // applied; every value must be a finite number. `what` names it in a
  // refusal.
  bool Floats(int a, int type, uint64_t most, std::vector<float>* out, size_t* count, const std::string& what) {
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

  // ---- meshes -------------------------------------------------------------

  uint64_t vertices = 0;

  bool ReadPrimitive(const tinygltf::Primitive& p, const std::string& what, Primitive* out) {
    const int mode = p.mode < 0 ? TINYGLTF_MODE_TRIANGLES : p.mode;
    auto attr = [&](const char* name) {
      auto it = p.attributes.find(name);
      return it == p.attributes.end() ? -1 : it->second;
    };
    const int position = attr("POSITION");
    if (position < 0) return Fail("inconsistent: " + what + " has no positions");
    if ((size_t)position < m.accessors.size() && m.accessors[(size_t)position].count > kMaxVertices - vertices)
      return Fail("more than " + std::to_string(kMaxVertices) + " vertices");
    size_t n = 0, c = 0;
    if (!Floats(position, TINYGLTF_TYPE_VEC3, kMaxVertices, &out->positions, &n, what + " positions")) return false;
    vertices += n;
    if (attr("NORMAL") >= 0) {
      if (!Floats(attr("NORMAL"), TINYGLTF_TYPE_VEC3, n, &out->normals, &c, what + " normals")) return false;
      if (c != n)
        return Fail("inconsistent: " + what + " has " + std::to_string(c) + " normals for " + std::to_string(n) +
                    " vertices");
    }
    if (attr("TEXCOORD_0") >= 0) {
      if (!Floats(attr("TEXCOORD_0"), TINYGLTF_TYPE_VEC2, n, &out->uvs, &c, what + " texture coordinates"))
        return false;
      if (c != n) return Fail("inconsistent: " + what + " has texture coordinates for another vertex count");
    }
    if (attr("COLOR_0") >= 0) Note("vertex colours");
    if (attr("JOINTS_1") >= 0) Note("more than 4 joints a vertex");
    if (attr("JOINTS_0") >= 0 && attr("WEIGHTS_0") >= 0) {
      std::vector<float> j, w;
      if (!Floats(attr("JOINTS_0"), TINYGLTF_TYPE_VEC4, n, &j, &c, what + " joints")) return false;
      if (c != n) return Fail("inconsistent: " + what + " has joints for another vertex count");
      if (!Floats(attr("WEIGHTS_0"), TINYGLTF_TYPE_VEC4, n, &w, &c, what + " weights")) return false;
      if (c != n) return Fail("inconsistent: " + what + " has weights for another vertex count");
      out->joints.resize(4 * n);
      out->weights.resize(4 * n);
      for (size_t v = 0; v < n; ++v) {
        float sum = 0;
        for (int k = 0; k < 4; ++k) {
          const float wk = w[4 * v + k] > 0 ? w[4 * v + k] : 0.0f;
          const float jk = j[4 * v + k];
          if (wk > 0 && (jk != std::floor(jk) || jk < 0 || jk > 65535))
            return Fail("inconsistent: " + what + " names a joint that does not exist");
          out->joints[4 * v + k] = wk > 0 ? (uint16_t)jk : 0;
          out->weights[4 * v + k] = wk;
          sum += wk;
        }
        // Weights are meant to sum to 1; a vertex of none follows slot 0.
        if (sum <= 0) out->weights[4 * v] = 1, sum = 1;
        for (int k = 0; k < 4; ++k) out->weights[4 * v + k] /= sum;
      }
    }
    // Indices, strips and fans made lists.
    std::vector<uint32_t> order;
    if (p.indices >= 0) {
      std::vector<float> iv;
      // Each index takes a byte of the file at least (or is one of few zeros).
      if (!Floats(p.indices, TINYGLTF_TYPE_SCALAR,
                  std::max<uint64_t>(3 * kMaxVertices, m.buffers.empty() ? 0 : m.buffers[0].data.size()), &iv, &c,
                  what + " indices"))
        return false;
      const int ct = m.accessors[(size_t)p.indices].componentType;
      if (ct == TINYGLTF_COMPONENT_TYPE_FLOAT || ct == TINYGLTF_COMPONENT_TYPE_BYTE ||
          ct == TINYGLTF_COMPONENT_TYPE_SHORT)
        return Fail("inconsistent: " + what + " has indices that are not whole numbers");
      order.resize(c);
      for (size_t i = 0; i < c; ++i) {
        if (iv[i] >= (double)n) return Fail("inconsistent: " + what + " has an index past its vertices");
        order[i] = (uint32_t)iv[i];
      }
    } else {
      order.resize(n);
      for (size_t i = 0; i < n; ++i) order[i] = (uint32_t)i;
    }
    if (mode == TINYGLTF_MODE_TRIANGLES) {
      if (order.size() % 3 != 0) return Fail("inconsistent: " + what + " has indices that are not whole triangles");
      out->indices = std::move(order);
    } else if (mode == TINYGLTF_MODE_TRIANGLE_STRIP || mode == TINYGLTF_MODE_TRIANGLE_FAN) {
      for (size_t i = 2; i < order.size(); ++i) {
        uint32_t a, b, cc = order[i];
        if (mode == TINYGLTF_MODE_TRIANGLE_FAN)
          a = order[0], b = order[i - 1];
        else if (i % 2 == 0)
          a = order[i - 2], b = order[i - 1];
        else
          a = order[i - 1], b = order[i - 2];
        out->indices.insert(out->indices.end(), {a, b, cc});
      }
    } else {
      Note("points and lines");
      out->indices.clear();
    }
    for (size_t t = 0; t < p.targets.size(); ++t) {
      MorphTarget target;
      const std::string tw = what + " morph target " + std::to_string(t);
      for (const auto& kv : p.targets[t]) {
        std::vector<float>* dst = kv.first == "POSITION" ? &target.positions
                                  : kv.first == "NORMAL" ? &target.normals
                                                         : nullptr;
        if (!dst) continue;
        if (!Floats(kv.second, TINYGLTF_TYPE_VEC3, n, dst, &c, tw)) return false;
        if (c != n) return Fail("inconsistent: " + tw + " is for another vertex count");
      }
      out->targets.push_back(std::move(target));
    }
    if (p.material >= (int)m.materials.size())
      return Fail("inconsistent: " + what + " names a material that does not exist");
    out->material = p.material;
    return true;
  }

  bool ReadMeshes() {
    for (size_t i = 0; i < m.meshes.size(); ++i) {
      const tinygltf::Mesh& src = m.meshes[i];
      Mesh mesh;
      mesh.name = src.name;
      for (size_t k = 0; k < src.primitives.size(); ++k) {
        Primitive p;
        if (!ReadPrimitive(src.primitives[k], "mesh " + std::to_string(i) + " primitive " + std::to_string(k), &p))
          return false;
        if (!p.targets.empty() && !mesh.primitives.empty() && p.targets.size() != mesh.primitives[0].targets.size())
          return Fail("inconsistent: mesh " + std::to_string(i) + " has primitives with different morph targets");
        mesh.primitives.push_back(std::move(p));
      }
      for (double w : src.weights) mesh.weights.push_back(std::isfinite(w) ? (float)w : 0.0f);
      const Json& names = Member(Member(At(Member(doc, "meshes"), i), "extras"), "targetNames");
      if (names.is_array())
        for (const Json& nm : names) mesh.targetNames.push_back(nm.is_string() ? nm.get<std::string>() : "");
      // VRM 0.x keeps the names with the primitives.
      const Json& prims = Member(At(Member(doc, "meshes"), i), "primitives");
      if (mesh.targetNames.empty() && prims.is_array() && !prims.empty()) {
        const Json& pn = Member(Member(prims[0], "extras"), "targetNames");
        if (pn.is_array())
          for (const Json& nm : pn) mesh.targetNames.push_back(nm.is_string() ? nm.get<std::string>() : "");
      }
      d.meshes.push_back(std::move(mesh));
    }
    return true;
  }

  // ---- nodes and skins ------------------------------------------------------

  static bool Finite(const std::vector<double>& v) {
    for (double x : v)
      if (!std::isfinite(x) || std::fabs(x) > 1e12) return false;
    return true;
  }

  // A node's matrix (column-major) as translation, rotation and scale.
  static void Decompose(const std::vector<double>& mm, Node* n) {
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

  bool ReadNodes() {
    const size_t count = m.nodes.size();
    d.nodes.resize(count);
    for (size_t i = 0; i < count; ++i) {
      const tinygltf::Node& src = m.nodes[i];
      Node& n = d.nodes[i];
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
      for (int child : d.nodes[i].children) {
        if (d.nodes[(size_t)child].parent >= 0)
          return Fail("inconsistent: node " + std::to_string(child) + " has two parents");
        d.nodes[(size_t)child].parent = (int)i;
      }
    // Every parent chain must end at a root.
    std::vector<uint8_t> state(count, 0);  // 0 unseen, 1 on this walk, 2 known good
    for (size_t i = 0; i < count; ++i) {
      int p = (int)i;
      while (p >= 0 && state[(size_t)p] == 0) {
        state[(size_t)p] = 1;
        p = d.nodes[(size_t)p].parent;
      }
      if (p >= 0 && state[(size_t)p] == 1) return Fail("inconsistent: the nodes form a cycle");
      for (p = (int)i; p >= 0 && state[(size_t)p] == 1; p = d.nodes[(size_t)p].parent) state[(size_t)p] = 2;
    }
    // The scene shown: the default one, else the first, else every root.
    int scene = m.defaultScene >= 0 ? m.defaultScene : (m.scenes.empty() ? -1 : 0);
    if (scene >= (int)m.scenes.size()) return Fail("inconsistent: the scene shown does not exist");
    if (scene >= 0) {
      for (int r : m.scenes[(size_t)scene].nodes) {
        if (r < 0 || (size_t)r >= count || d.nodes[(size_t)r].parent >= 0)
          return Fail("inconsistent: the scene names a node that is not a root");
        d.roots.push_back(r);
      }
    } else {
      for (size_t i = 0; i < count; ++i)
        if (d.nodes[i].parent < 0) d.roots.push_back((int)i);
    }
    return true;
  }

  bool ReadSkins() {
    std::set<int> joints;
    for (size_t i = 0; i < m.skins.size(); ++i) {
      const tinygltf::Skin& src = m.skins[i];
      Skin s;
      const std::string what = "skin " + std::to_string(i);
      for (int j : src.joints) {
        if (j < 0 || (size_t)j >= d.nodes.size())
          return Fail("inconsistent: " + what + " names a joint that does not exist");
        s.joints.push_back(j);
        joints.insert(j);
      }
      if ((int)joints.size() > kMaxJoints) return Fail("more than " + std::to_string(kMaxJoints) + " joints");
      if (src.inverseBindMatrices >= 0) {
        size_t c = 0;
        if (!Floats(src.inverseBindMatrices, TINYGLTF_TYPE_MAT4, std::max<size_t>(s.joints.size(), kMaxJoints),
                    &s.inverseBinds, &c, what + " bind matrices"))
          return false;
        if (c < s.joints.size()) return Fail("inconsistent: " + what + " has fewer bind matrices than joints");
        s.inverseBinds.resize(16 * s.joints.size());
      } else {
        for (size_t j = 0; j < s.joints.size(); ++j)
          for (int k = 0; k < 16; ++k) s.inverseBinds.push_back(k % 5 == 0 ? 1.0f : 0.0f);
      }
      d.skins.push_back(std::move(s));
    }
    // A skinned node's primitives may only name joints of its skin.
    for (const Node& n : d.nodes) {
      if (n.mesh < 0 || n.skin < 0) continue;
      const size_t slots = d.skins[(size_t)n.skin].joints.size();
      for (const Primitive& p : d.meshes[(size_t)n.mesh].primitives)
        for (size_t k = 0; k < p.joints.size(); ++k)
          if (p.weights[k] > 0 && p.joints[k] >= slots)
            return Fail("inconsistent: mesh " + std::to_string(n.mesh) + " names a joint its skin does not have");
    }
    return true;
  }

  // ---- materials and pictures --------------------------------------------------

  // The picture behind texture `t`, -1 when none can be drawn.
  int TexturePicture(int64_t t, bool* ok) {
    if (t < 0 || (size_t)t >= m.textures.size()) {
      *ok = Fail("inconsistent: a material names a texture that does not exist");
      return -1;
    }
    const int source = m.textures[(size_t)t].source;
    if (source < 0) {
      Note("pictures in formats other than PNG and JPEG");
      return -1;
    }
    if ((size_t)source >= m.images.size()) {
      *ok = Fail("inconsistent: texture " + std::to_string(t) + " names a picture that does not exist");
      return -1;
    }
    return source;
  }

  static bool NonZero(const Json& v) {
    if (!v.is_array()) return false;
    for (const Json& x : v)
      if (x.is_number() && x.get<double>() != 0) return true;
    return false;
  }

  bool ReadMaterials() {
    const Json& mats = Member(doc, "materials");
    const Json& props0x = Member(d.vrm, "materialProperties");
    bool ok = true;
    for (size_t i = 0; i < m.materials.size(); ++i) {
      const tinygltf::Material& src = m.materials[i];
      const Json& js = At(mats, i);
      Material mat;
      mat.name = src.name;
      const auto& f = src.pbrMetallicRoughness.baseColorFactor;
      for (size_t k = 0; k < 4 && k < f.size(); ++k)
        mat.baseColor[k] = std::isfinite(f[k]) ? (float)std::min(std::max(f[k], 0.0), 1.0) : 1.0f;
      const Json& base = Member(Member(js, "pbrMetallicRoughness"), "baseColorTexture");
      int64_t t;
      if (Index(base, "index", &t)) mat.image = TexturePicture(t, &ok);
      if (!ok) return false;
      if (Number(base, "texCoord", 0) != 0) Note("a second set of texture coordinates");
      if (!Member(Member(base, "extensions"), "KHR_texture_transform").is_null()) Note("texture transforms");
      mat.alphaMode = src.alphaMode == "MASK"    ? AlphaMode::kMask
                      : src.alphaMode == "BLEND" ? AlphaMode::kBlend
                                                 : AlphaMode::kOpaque;
      mat.alphaCutoff = std::isfinite(src.alphaCutoff) ? (float)src.alphaCutoff : 0.5f;
      mat.doubleSided = src.doubleSided;
      const Json& ext = Member(js, "extensions");
      mat.unlit = !Member(ext, "KHR_materials_unlit").is_null();
      if (NonZero(Member(js, "emissiveFactor")) && !Member(js, "emissiveTexture").is_null()) Note("emission");
      if (!Member(js, "normalTexture").is_null()) Note("normal maps");
      const Json& toon = Member(ext, "VRMC_materials_mtoon");
      if (toon.is_object()) {
        mat.toon = true;
        if (Text(toon, "outlineWidthMode") != "" && Text(toon, "outlineWidthMode") != "none" &&
            Number(toon, "outlineWidthFactor", 0) > 0)
          Note("outlines");
        if (NonZero(Member(toon, "parametricRimColorFactor")) || !Member(toon, "rimMultiplyTexture").is_null())
          Note("rim light");
        if (!Member(toon, "matcapTexture").is_null() && NonZero(Member(toon, "matcapFactor"))) Note("matcaps");
        if (Number(toon, "uvAnimationScrollXSpeedFactor", 0) != 0 ||
            Number(toon, "uvAnimationScrollYSpeedFactor", 0) != 0 ||
            Number(toon, "uvAnimationRotationSpeedFactor", 0) != 0)
          Note("texture animation");
      }
      if (d.version == Version::k0x && props0x.is_array()) {
        // VRM 0.x keeps its shaders' settings beside the materials, by index.
        const Json& p = At(props0x, i);
        const std::string shader = Text(p, "shader");
        const Json& fp = Member(p, "floatProperties");
        const Json& vp = Member(p, "vectorProperties");
        const Json& tp = Member(p, "textureProperties");
        if (shader.rfind("VRM/Unlit", 0) == 0) mat.unlit = true;
        if (shader == "VRM/MToon") {
          mat.toon = true;
          if (Number(fp, "_OutlineWidthMode", 0) != 0 && Number(fp, "_OutlineWidth", 0) > 0) Note("outlines");
          const Json& rim = Member(vp, "_RimColor");
          if ((rim.is_array() && rim.size() >= 3 && (NonZero(Json::array({rim[0], rim[1], rim[2]})))) ||
              !Member(tp, "_RimTexture").is_null())
            Note("rim light");
          if (!Member(tp, "_SphereAdd").is_null()) Note("matcaps");
        }
        const Json& st = Member(vp, "_MainTex");
        if (st.is_array() && st.size() == 4 && st[0].is_number() && st[1].is_number() && st[2].is_number() &&
            st[3].is_number() &&
            (st[0].get<double>() != 1 || st[1].get<double>() != 1 || st[2].get<double>() != 0 ||
             st[3].get<double>() != 0))
          Note("texture transforms");
        if (mat.image < 0 && Index(tp, "_MainTex", &t)) mat.image = TexturePicture(t, &ok);
        if (!ok) return false;
      }
      d.materials.push_back(mat);
    }
    return true;
  }

  // The encoded bytes of picture `i` (tinygltf kept them for us).
  bool DecodePictureAt(int i) {
    Picture& pic = d.pictures[(size_t)i];
    if (!pic.rgba.empty()) return true;
    const std::vector<unsigned char>& bytes = m.images[(size_t)i].image;
    if (bytes.empty()) {
      Note("pictures in formats other than PNG and JPEG");
      return true;
    }
    // The size first where it can be had without decoding everything.
    int32_t w = 0, h = 0, bpp = 0;
    if (PictureRows* rows = PictureRowsOpen(bytes.data(), bytes.size(), &w, &h, &bpp)) {
      PictureRowsClose(rows);
      if (w > kMaxPictureSide || h > kMaxPictureSide)
        return Fail("picture " + std::to_string(i) + " is " + std::to_string(w) + "x" + std::to_string(h) +
                    ", more than " + std::to_string(kMaxPictureSide) + " pixels a side");
    }
    DecodedPicture dp;
    const PictureStatus status = DecodePicture(bytes.data(), bytes.size(), &dp, false);
    const bool large = status == kPictureTooLarge ||
                       (status == kPictureOk && (dp.width > kMaxPictureSide || dp.height > kMaxPictureSide));
    if (large) {
      std::free(dp.pixels);
      return Fail("picture " + std::to_string(i) + " is " + std::to_string(dp.width) + "x" + std::to_string(dp.height) +
                  ", more than " + std::to_string(kMaxPictureSide) + " pixels a side");
    }
    if (status != kPictureOk) {
      Note("pictures in formats other than PNG and JPEG");
      return true;
    }
    pic.width = dp.width;
    pic.height = dp.height;
    pic.rgba.assign(dp.pixels, dp.pixels + (size_t)dp.width * dp.height * 4);
    std::free(dp.pixels);
    pic.file = bytes;
    pic.jpeg = bytes.size() > 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
    return true;
  }

  bool ReadPictures() {
    d.pictures.resize(m.images.size());
    for (const Material& mat : d.materials)
      if (mat.image >= 0 && !DecodePictureAt(mat.image)) return false;
    if (d.meta.thumbnail >= 0 && !DecodePictureAt(d.meta.thumbnail)) return false;
    return true;
  }

  // ---- VRM ------------------------------------------------------------------

  bool ReadHumanoid() {
    const Json& bones = Member(Member(d.vrm, "humanoid"), "humanBones");
    std::map<int, std::string> byNode;
    auto add = [&](const std::string& name, const Json& entry) {
      if (HumanBoneIndex(name) < 0 || d.humanoid.count(name)) return true;
      int64_t node;
      if (!Index(entry, "node", &node) || (size_t)node >= d.nodes.size())
        return Fail("inconsistent: humanoid bone " + name + " names a node that does not exist");
      if (byNode.count((int)node))
        return Fail("inconsistent: humanoid bones " + byNode[(int)node] + " and " + name + " are one node");
      byNode[(int)node] = name;
      d.humanoid[name] = (int)node;
      return true;
    };
    if (d.version == Version::k1 && bones.is_object()) {
      for (auto it = bones.begin(); it != bones.end(); ++it)
        if (!add(it.key(), it.value())) return false;
    } else if (d.version == Version::k0x && bones.is_array()) {
      for (const Json& b : bones)
        if (!add(HumanBoneFrom0x(Text(b, "bone")), b)) return false;
    }
    std::string missing;
    for (int i = 0; i < kHumanBoneCount; ++i)
      if (kHumanBones[i].required && !d.humanoid.count(kHumanBones[i].name))
        missing += std::string(missing.empty() ? "" : ", ") + kHumanBones[i].name;
    if (!missing.empty()) return Fail("not humanoid: no " + missing);
    return true;
  }

  void ReadMeta() {
    const Json& meta = Member(d.vrm, "meta");
    Meta& mt = d.meta;
    int64_t t;
    if (d.version == Version::k1) {
      mt.title = Text(meta, "name");
      mt.version = Text(meta, "version");
      const Json& authors = Member(meta, "authors");
      if (authors.is_array())
        for (const Json& a : authors)
          if (a.is_string()) mt.authors += (mt.authors.empty() ? "" : ", ") + a.get<std::string>();
      mt.license = Text(meta, "licenseUrl");
      if (Index(meta, "thumbnailImage", &t) && (size_t)t < m.images.size()) mt.thumbnail = (int)t;
    } else {
      mt.title = Text(meta, "title");
      mt.version = Text(meta, "version");
      mt.authors = Text(meta, "author");
      mt.license = Text(meta, "licenseName");
      const std::string other = Text(meta, "otherLicenseUrl");
      if (!other.empty()) mt.license += (mt.license.empty() ? "" : " ") + other;
      if (Index(meta, "texture", &t) && (size_t)t < m.textures.size() && m.textures[(size_t)t].source >= 0 &&
          (size_t)m.textures[(size_t)t].source < m.images.size())
        mt.thumbnail = m.textures[(size_t)t].source;
    }
  }
};

// Extensions a file may require that change nothing we read.
bool Ignorable(const std::string& ext) {
  return ext == "KHR_materials_unlit" || ext == "KHR_texture_transform" || ext == "KHR_mesh_quantization" ||
         ext == "KHR_materials_emissive_strength" || ext.rfind("VRMC_", 0) == 0 || ext == "VRM";
}

}  // namespace

bool ReadVrm(const uint8_t* data, size_t size, Document* out, std::string* reason) {
  *out = Document();
  auto refuse = [&](const std::string& why) {
    *out = Document();
    *reason = why;
    return false;
  };
  if (size > kMaxFileBytes) return refuse("larger than " + std::to_string(kMaxFileBytes >> 20) + " MB");
  const char* text = nullptr;
  size_t length = 0;
  if (!data || !GlbJson(data, size, &text, &length)) return refuse("not a glTF binary file");
  if (JsonDepth(text, length) > kMaxJsonDepth) return refuse("inconsistent: its JSON nests too deeply");
  const Json doc = Json::parse(text, text + length, nullptr, false);
  if (!doc.is_object()) return refuse("not a glTF binary file: its JSON is broken");
  const Json& required = Member(doc, "extensionsRequired");
  if (required.is_array())
    for (const Json& e : required)
      if (e.is_string() && !Ignorable(e.get<std::string>()))
        return refuse("needs the glTF extension " + e.get<std::string>() + ", which is not supported");
  const Json& ext = Member(doc, "extensions");
  if (Member(ext, "VRMC_vrm").is_object()) {
    out->version = Version::k1;
    out->vrm = Member(ext, "VRMC_vrm");
    out->springs = Member(ext, "VRMC_springBone");
  } else if (Member(ext, "VRM").is_object()) {
    out->version = Version::k0x;
    out->vrm = Member(ext, "VRM");
  } else {
    return refuse("not a VRM file: a glTF model without a humanoid");
  }
  const std::string unsafe = UnsafeForTinygltf(doc);
  if (!unsafe.empty()) return refuse(unsafe);

  tinygltf::Model model;
  std::string err, warn;
  bool parsed = false;
  try {
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(KeepPictureBytes, nullptr);
    parsed = loader.LoadBinaryFromMemory(&model, &err, &warn, data, (unsigned int)size, "");
  } catch (const std::exception&) {
    parsed = false;
  }
  if (!parsed) {
    std::string first = err.substr(0, err.find('\n'));
    return refuse("not a glTF binary file" + (first.empty() ? std::string() : ": " + first));
  }

  Reader r{model, doc, *out, {}, {}};
  const bool ok = r.ReadNodes() && r.ReadMeshes() && r.ReadSkins() && r.ReadMaterials() && r.ReadHumanoid();
  if (!ok) return refuse(r.reason);
  r.ReadMeta();
  if (!r.ReadPictures()) return refuse(r.reason);
  out->approximated.assign(r.notes.begin(), r.notes.end());
  return true;
}

}  // namespace vrm
