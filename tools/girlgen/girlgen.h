// The character generator: builds her four models and all pictures of her
// composited texture from code, at build time, into the bundle.
//
// Pieces: the rig and its clips (girlgen_rig), the surface built from
// blended primitives along the skeleton (girlgen_mesh), the face parts laid
// over it that the face rig moves (girlgen_face), the shared texture
// layout and the painting of pictures and masks (girlgen_paint), picture
// files and a small software rasteriser for the generator's own contact
// sheet, which needs no GL (girlgen_image). Everything is deterministic: no
// clock, no random source other than fixed hashes.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "math/Matrix.h"
#include "rig/girl_clips.h"
#include "vrm/vrm_file.h"

namespace girlgen {

struct V3 {
  float x = 0, y = 0, z = 0;
  V3() = default;
  V3(float a, float b, float c) : x(a), y(b), z(c) {}
};
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline float Len(V3 a) { return std::sqrt(Dot(a, a)); }
inline V3 Norm(V3 a) {
  const float l = Len(a);
  return l > 1e-12f ? a * (1.0f / l) : V3(0, 1, 0);
}
inline float Clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }
inline float Smooth(float e0, float e1, float x) {
  const float t = Clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3 - 2 * t);
}
inline float Mix(float a, float b, float t) { return a + (b - a) * t; }

// ---- Outfits -------------------------------------------------------------
enum Outfit { kPool = 0, kCasual = 1, kSchool = 2, kBusiness = 3, kOutfitCount = 4 };

// ---- Rig -----------------------------------------------------------------
enum Bone {
  kHips,
  kSpine,
  kChest,
  kNeck,
  kHead,
  kShoulderL,
  kUpperArmL,
  kForearmL,
  kHandL,
  kShoulderR,
  kUpperArmR,
  kForearmR,
  kHandR,
  kThighL,
  kShinL,
  kFootL,
  kThighR,
  kShinR,
  kFootR,
  kTailL1,
  kTailL2,
  kTailL3,
  kTailR1,
  kTailR2,
  kTailR3,
  // The face rig (rig/face_bones.h); the clips leave these at rest.
  kEyeL,
  kEyeR,
  kLidL,
  kLidR,
  kJaw,
  kLipUpper,
  kCornerL,
  kCornerR,
  kBoneCount
};

struct BoneDef {
  const char* name;
  int parent;  // bone index, -1 for the root
  V3 bindPos;  // joint position in the bind pose (model units)
};
extern const BoneDef kBones[kBoneCount];

// Frame count of her timeline; its clips are those of the player's table.
constexpr int kFrameCount = kGirlFrameCount;

struct Pose {
  V3 rootOffset;             // added to the hips' bind position
  float rot[kBoneCount][4];  // local rotation quaternions as stored in the file
};
// Pose at an integer frame 0..kFrameCount-1.
Pose PoseAtFrame(int frame);
// World matrices of every bone for a pose (project convention: point * M).
void PoseWorld(const Pose& pose, MATRIX world[kBoneCount]);

// ---- Mesh ----------------------------------------------------------------
enum Region {
  kRegHead,
  kRegTorso,
  kRegArmL,
  kRegArmR,
  kRegLegL,
  kRegLegR,
  kRegHandL,
  kRegHandR,
  kRegFootL,
  kRegFootR,
  kRegHairCap,
  kRegTailL,
  kRegTailR,
  kRegionCount
};

struct Vertex {
  V3 pos, nrm;
  float u = 0, v = 0;  // stored texture coordinates (v flipped for TexCoordFix)
  uint8_t mark = 255;  // byte 0 of the vertex colour
  uint8_t bone[4] = {0, 0, 0, 0};
  float weight[4] = {0, 0, 0, 0};
};

struct Mesh {
  std::vector<Vertex> verts;
  std::vector<uint16_t> tris;  // three per triangle
};

Mesh BuildCharacter(Outfit outfit);

// Her skirt in an outfit (false: it has none): a flared cone on her hips
// from the centre of its top to the centre of its hem, with their radii
// across her (front to back they are kSkirtDepth of that).
struct Skirt {
  V3 top, hem;
  float topRadius = 0, hemRadius = 0;
};
bool SkirtOf(Outfit outfit, Skirt* out);
constexpr float kSkirtDepth = 0.82f;

// The body's surface, for the face parts laid over it (girlgen_face): the
// signed distance to it and its outward normal at p.
float BodyDistance(Outfit outfit, V3 p);
V3 BodyNormal(Outfit outfit, V3 p);
// Stored texture coordinates of the head's chart at p (as a vertex there has).
void HeadTexCoords(V3 p, float& u, float& v);
// Appends the eyes, lids and mouth of the face rig.
void AppendFace(Mesh& mesh, Outfit outfit);

// Height of the fringe's lower edge across her forehead (x in model units);
// the hair picture paints its locks against the same cut.
float FringeEdge(float x);

// Counts what the soft-skin network would hold for this mesh: point masses,
// springs and the most mesh vertices sharing one point.
struct SoftCounts {
  int points = 0, springs = 0, maxShare = 0, free = 0;
};
SoftCounts CountSoft(const Mesh& mesh);

// ---- Texture layout and painting -----------------------------------------
constexpr int kTexSize = 1024;

// Where a region lives in the picture (pixels, top row first), and which
// range of its own (u, t) parameters the rectangle spans.
struct AtlasRect {
  int x, y, w, h;
};
extern const AtlasRect kAtlas[kRegionCount];
// Margin of parameter space around [0,1] x [0,1] in every rectangle.
constexpr float kUMargin = 0.06f;
constexpr float kTMargin = 0.08f;
// Region parameters -> image coordinates in [0,1] (top row first).
void RegionToImage(int region, float u, float t, float& ix, float& iy);

// Where the skin picture paints her face, in face coordinates: X is the
// angle around the head's chart axis times 23, Y the height. The face rig's
// parts (girlgen_face) are laid over the same places.
constexpr float kEyeX = 9.0f, kEyeY = 323.8f;  // the middle of either eye (X = +-kEyeX)
// The eye opening in the eye's own coordinates (a outwards from the nose,
// b up from the middle): the line of its top, and whether (a, b) is inside.
float UpperLidLine(float a);
bool InEyeOpening(float a, float b);
// The line between the lips.
float LipLine(float X);

// Pictures of the face parts, in the skin picture beside the charts: the
// eyeball (white, iris, pupil), the upper lid and the inside of the mouth.
// Each is a square of the atlas painted in its own coordinates x, y in
// [-1, 1] (y up).
enum FacePart { kFaceEyeball, kFaceLid, kFaceMouth, kFacePartCount };
extern const AtlasRect kFaceAtlas[kFacePartCount];
// Stored texture coordinates of a point of a face part's picture.
void FacePartTexCoords(int part, float x, float y, float& u, float& v);

struct Image {
  int w = 0, h = 0, channels = 3;
  std::vector<uint8_t> px;
};

struct Pictures {
  Image skin[4];    // "girl_white.jpg", ...
  Image hair[4];    // "girl_blonde_hair.jpg", ...
  Image hairMask;   // "girl_hair_mask.png"
  Image outfit[4];  // "girl_beach_clothes.jpg", ...
  Image outfitMask[4];
};
void PaintAll(Pictures& out);

bool WritePNG(const std::string& path, const Image& img);
bool WriteJPEG(const std::string& path, const Image& img, int quality);

// ---- VRM export ------------------------------------------------------------
// Writes her `mesh` dressed in `picture` (her composed texture, top row
// first) as a VRM file of `version` (girlgen_vrm).
bool WriteVrm(const Mesh& mesh, Outfit outfit, const Image& picture, vrm::Version version, const std::string& path);
// Writes her `clip` (its first to its last frame, 30 a second) as a VRM
// animation of her humanoid bones and hips.
bool WriteVrma(AnimState clip, const std::string& path);

}  // namespace girlgen
