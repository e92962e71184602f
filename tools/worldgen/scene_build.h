// Building blocks for the generated backdrop scenes: meshes made of quads,
// boxes, cylinders and discs with normals and texture coordinates, and a
// scene assembler that hangs them on nodes with materials and looping node
// animation, then hands the result to the POD writer.
//
// Conventions: y is up, she stands at the origin facing +z (towards the
// default camera). Faces are counter-clockwise seen from the side their
// normal points to, so the backdrop also draws right with culling on.
// Texture v grows upwards on a surface (the loader flips it for GL).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct V3 {
  float x, y, z;
};
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
V3 Cross(V3 a, V3 b);
V3 Normalized(V3 a);

struct Mesh {
  std::vector<float> pos, nrm, uv;  // 3, 3, 2 floats a vertex
  std::vector<uint16_t> idx;        // triangle list
  size_t VertexCount() const { return pos.size() / 3; }

  // Parallelogram p, p+u, p+u+v, p+v; normal u x v. Texture coordinates
  // run 0..|u|/tile and 0..|v|/tile (tile <= 0: 0..1 each).
  void Quad(V3 p, V3 u, V3 v, float tile = 0);
  // Axis-aligned box, faces outward (inward: inside of a room).
  void Box(V3 centre, V3 half, float tile = 0, bool inward = false, bool withBottom = true);
  // Upright cylinder (or cone when r0 != r1) from base centre up by h.
  void Cylinder(V3 base, float r0, float r1, float h, int segments, bool caps = true, float tile = 0);
  // Horizontal disc facing up (or down), texture mapped across it.
  void Disc(V3 centre, float r, int segments, bool up = true);
  // Ring lying flat (a float ring on water).
  void Torus(V3 centre, float R, float r, int seg, int sides);
  // Upright quad facing +z, centred at `centre`, for pictures and foliage.
  void Card(V3 centre, float w, float h, float yawRadians = 0);
  void Append(const Mesh& m, V3 offset = {0, 0, 0});
  // Quad with a chosen texture rectangle; with `twoSided` a back face is added.
  void QuadUV(V3 p, V3 u, V3 v, float u0, float v0, float u1, float v1, bool twoSided = false);
  // Turns every face round (for the insides of skies and rooms).
  void Flip();
  // Turns every face round as Flip does but keeps the normals: the face is
  // seen from the other side, lit as before.
  void TurnWinding();
};

struct Material {
  std::string name;  // "alpha" blends, "const" is unlit
  int texture = -1;  // index into the scene's texture names
  float ambient[3], diffuse[3], specular[3];
  float shininess = 20;
};

// Where an item stands as seen from inside the backdrop, for the order in
// which items are written (see SceneBuilder::Write).
enum class Layer {
  kInside,  // the things in the room or garden
  kShell,   // what encloses them: floor, walls, ceiling, the deck, the hedge
  kBeyond,  // what is seen only through openings in the shell: sky, city, the pool's basin
};

// One node's motion over the loop; called for frame k of n. Returns the
// position (and rotation as a quaternion x, y, z, w) of that frame.
using Motion = std::function<void(int k, int n, V3& pos, float quat[4])>;

struct SceneBuilder {
  int frames = 0;
  std::vector<std::string> textures;  // names as an exporter writes them
  std::vector<Material> materials;
  struct Item {
    std::string name;
    Mesh mesh;
    int material;
    V3 at;
    Motion motion;  // empty: static at `at`, turned by `turn`
    float turn[4];
    Layer layer;
  };
  std::vector<Item> items;

  int Texture(const std::string& name);
  // A lit material with its base colour; ambient follows the colour, the
  // diffuse part is softer so the scene's bright ambient light does not burn out.
  int Lit(const std::string& name, int texture, float r, float g, float b, float specular = 0.15f,
          float shininess = 20);
  int Const(const std::string& name, int texture);
  void Add(const std::string& name, Mesh mesh, int material, V3 at = {0, 0, 0}, Motion motion = {},
           Layer layer = Layer::kInside);
  // A static node turned by `radians` about `axis`.
  void AddTurned(const std::string& name, Mesh mesh, int material, V3 at, V3 axis, float radians);
  // Writes the scene; false with a message on failure. The app draws nodes
  // in file order with the depth test on: opaque items give the same picture
  // in any order (but where two surfaces meet at the same depth), yet drawn
  // nearest first the rasteriser rejects what lies behind them before
  // texturing it. So the opaque items before the first blended one are
  // written inside first, then the shell, then what lies beyond it, each
  // layer in the order added; from the first blended item on nothing moves,
  // as a blended surface shows what was drawn before it.
  bool Write(const std::string& path) const;
};

// Quaternion of a turn about an axis (unit vector), as the scene stores it.
void AxisAngle(V3 axis, float radians, float q[4]);
