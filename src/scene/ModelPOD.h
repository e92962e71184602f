// The in-memory scene: the records a POD file is read into, and the
// evaluation of node world matrices and skinning matrices at any frame.
//
// CPODScene::ReadFromFile fills a scene from a file ("AB.POD.2.0"). The mesh
// drawing sets the frame once per draw and asks for world and bone matrices;
// the physics, the materials code and the tools read the records directly.
// Every array and string hanging from a scene is owned by it and released by
// Destroy (safe to call twice). A scene with evalState null is empty.
//
// Failures are false results; a file that is damaged or hostile fails to read
// and leaves the scene empty, never half-filled, with the reason kept for the
// caller's message (readError).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "math/Matrix.h"
#include "scene/BoneBatch.h"

class CStreamResource;

// Data-type codes of vertex and index arrays.
enum EDataType : uint32_t {
  EPODDataNone = 0,
  EPODDataFloat = 1,
  EPODDataInt = 2,
  EPODDataUnsignedShort = 3,
  EPODDataRGBA = 4,
  EPODDataARGB = 5,
  EPODDataD3DCOLOR = 6,
  EPODDataUBYTE4 = 7,
  EPODDataDEC3N = 8,
  EPODDataFixed16_16 = 9,
  EPODDataUnsignedByte = 10,
  EPODDataShort = 11,
  EPODDataShortNorm = 12,
  EPODDataByte = 13,
  EPODDataByteNorm = 14,
};
const uint32_t kPODDataTypeCount = 15;

// The GL type of each code's values, as the drawing hands them to GL's array
// pointers; 0 where a code has no GL type. GL's own numbers, so that the
// scene needs no GL header: the drawing checks them against GL's names.
inline constexpr uint32_t TYPE2GL[kPODDataTypeCount] = {
    0,       // none
    0x1406,  // float: GL_FLOAT
    0,       // int
    0x1403,  // unsigned short: GL_UNSIGNED_SHORT
    0x1908,  // four colour bytes: GL_RGBA
    0,       // ARGB
    0,       // D3D colour
    0x1908,  // four unsigned bytes: GL_RGBA
    0,       // packed normal
    0x140C,  // 16.16 fixed point: GL_FIXED
    0x1401,  // unsigned byte: GL_UNSIGNED_BYTE
    0x1402,  // short: GL_SHORT
    0x1402,  // normalised short: GL_SHORT
    0x1400,  // byte: GL_BYTE
    0x1400,  // normalised byte: GL_BYTE
};

// Bytes of one value of a data type (a colour counts as one 4-byte value);
// 0 for codes without a size.
unsigned int PODDataTypeSize(uint32_t type);

struct CPODData {
  uint32_t type;            // EDataType
  uint32_t componentCount;  // values per vertex (per index for faces)
  uint32_t stride;          // bytes from one vertex to the next
  uint8_t* data;            // owned; null when absent
};

struct SPODCameraEntry {
  int32_t targetIndex;
  float fieldOfView;
  float farDistance;
  float nearDistance;
  float* fieldOfViewAnimation;  // frameCount values
};

struct SPODLightEntry {
  int32_t targetIndex;
  float colour[3];
  uint32_t lightType;
};

// How a material's alpha is used. The built-in files leave it at
// EPODAlphaByName: the name rules (texture/texture_library.h) apply.
enum EPODAlphaMode : uint32_t {
  EPODAlphaByName = 0,
  EPODAlphaOpaque = 1,
  EPODAlphaMask = 2,  // drawn where alpha >= alphaCutoff
  EPODAlphaBlend = 3,
};
// SPODMaterial::flags.
const uint32_t kPODMaterialDoubleSided = 1u;  // both sides drawn whatever culling is on
const uint32_t kPODMaterialUnlit = 2u;        // the diffuse colour at full light

struct SPODMaterial {
  char* name;            // "alpha" / "const" in it choose the blend paths
  int32_t textureIndex;  // into textures, -1 for none; later a registry reference
  float opacity;
  float ambient[3];
  float diffuse[3];
  float specular[3];
  float shininess;
  char* effectFile;
  char* effectName;
  // An imported character's materials (0 in the built-in files): the alpha
  // mode (EPODAlphaMode), its cutoff, kPODMaterial* flags. With a mode set,
  // `opacity` is the colour's alpha.
  uint32_t alphaMode;
  float alphaCutoff;
  uint32_t flags;
};

struct SPODNode {
  int32_t meshIndex;  // mesh nodes: index into meshes
  char* name;
  int32_t materialIndex;    // -1 for none
  int32_t parentIndex;      // -1 for a root
  uint32_t animationFlags;  // bit 0 positions, 1 rotations, 2 scales, 3 matrices per frame
  float* positions;         // 3 floats an entry
  float* rotations;         // 4 floats an entry (QUATERNION)
  float* scales;            // 7 floats an entry; the first three are used
  float* matrices;          // 16 floats an entry; replaces the three above
  // 16 floats or null: the inverse of the node's world matrix in the pose its
  // skin was bound in. Without it the bind pose is frame 0.
  float* inverseBind;
};

// A morph target of a mesh: offsets of some of its vertices' positions and
// normals, added times `weight` before skinning.
struct SPODMorph {
  char* name;
  float weight;       // as the file gives it; changed at run time
  uint32_t count;     // entries
  uint32_t* indices;  // the vertex of each entry
  float* deltas;      // 6 an entry: position offset, then normal offset
};

struct SPODMesh {
  uint32_t vertexCount;
  uint32_t faceCount;  // triangles
  uint32_t uvwCount;
  CPODData faces;
  uint32_t* stripLengths;  // triangles per strip
  uint32_t stripCount;     // 0: faces is a plain triangle list
  CPODData vertices;
  CPODData normals;
  CPODData tangents;
  CPODData binormals;
  CPODData* uvws;  // uvwCount entries
  CPODData colours;
  CPODData boneIndices;
  CPODData boneWeights;  // a mesh is skinned exactly when this has data
  uint8_t* interleaved;
  CBoneBatches boneBatches;
  // The first closedFaces triangles of an indexed triangle list belong to
  // closed shells wound outward (scene/mesh_shells.h): seen from outside,
  // their back faces are always hidden, and the drawing culls them. 0 draws
  // every triangle from both sides.
  uint32_t closedFaces;
  uint32_t morphCount;
  SPODMorph* morphs;  // morphCount entries; they need float[3] vertices (and normals, when there are any)
};

struct SPODScene {
  float backgroundColour[3];
  float ambientColour[3];
  uint32_t cameraCount;
  SPODCameraEntry* cameras;
  uint32_t lightCount;
  SPODLightEntry* lights;
  uint32_t meshCount;
  SPODMesh* meshes;
  uint32_t nodeCount;
  uint32_t meshNodeCount;  // nodes[0 .. meshNodeCount-1] are drawn
  SPODNode* nodes;
  uint32_t textureCount;
  char** textures;  // file names, maybe with a folder part
  uint32_t materialCount;
  SPODMaterial* materials;
  uint32_t frameCount;  // 0 without animation
  uint32_t flags;       // bit 0: real fields stored as 16.16 fixed point
};

struct SPODEvalState {
  float currentFrame;
  float blend;
  int32_t frameIndex;
  float* cacheStamps;        // nodeCount
  MATRIX* worldCache;        // nodeCount
  MATRIX* worldCacheFrame0;  // nodeCount
};

class CPODScene : public SPODScene {
 public:
  SPODEvalState* evalState;

  CPODScene();
  ~CPODScene();
  CPODScene(const CPODScene&) = delete;
  CPODScene& operator=(const CPODScene&) = delete;

  // Reads a scene file into this (empty) scene. With optionsBuffer set, only
  // the export options text is copied out (at most optionsCapacity bytes).
  bool ReadFromFile(const char* fileName, char* optionsBuffer = nullptr, unsigned long optionsCapacity = 0);
  // The same from `size` bytes at `data` (a file's contents); the bytes stay
  // the caller's. ReadFromFile loads the file and reads it through here.
  bool ReadFromMemory(const void* data, size_t size, char* optionsBuffer = nullptr, unsigned long optionsCapacity = 0);
  // Why the last read failed, for a message naming the file: "cannot be
  // read (...)", "a face index names no vertex", "a normal is not of unit
  // length" ...; null after a read that succeeded.
  const char* readError() const { return m_readError; }

  void Destroy();
  bool InitImpl();
  void FlushCache();
  void SetFrame(float frame);

  void GetTranslationMatrix(MATRIX& out, const SPODNode& node) const;
  void GetRotationMatrix(MATRIX& out, const SPODNode& node) const;
  void GetScalingMatrix(MATRIX& out, const SPODNode& node) const;
  void GetTransformationMatrix(MATRIX& out, const SPODNode& node) const;
  void GetWorldMatrixNoCache(MATRIX& out, const SPODNode& node) const;
  void GetWorldMatrix(MATRIX& out, const SPODNode& node) const;
  void GetBoneWorldMatrix(MATRIX& out, const SPODNode& meshNode, const SPODNode& boneNode);

  // How many world matrices were computed (cache misses of GetWorldMatrix and
  // the frame-0 cache). For tests and benchmarks of the caches.
  unsigned long worldComputations() const { return m_worldComputations; }

  // A pose made at run time on top of the stored animation (her face and
  // gaze, face/face_rig.h): one matrix per node, applied at the node's joint
  // after its animated rotation, or null for none (the default). Bind-pose
  // queries (frame 0 inside GetBoneWorldMatrix, the frame-0 cache) never see
  // it. The matrices stay the caller's; set them again after changing them,
  // which also drops the world matrices cached for the current frame.
  void SetPoseLayer(const MATRIX* perNode);
  // The layer as last set (null for none).
  const MATRIX* PoseLayer() const { return m_poseLayer; }
  // The layer's matrix for a node while it applies, else null.
  const MATRIX* PoseLayerOf(const SPODNode& node) const;

 private:
  mutable unsigned long m_worldComputations;
  const MATRIX* m_poseLayer = nullptr;
  const char* m_readError = nullptr;
  std::string m_fileProblem;
  bool m_bindQuery = false;  // inside a bind-pose query
};

// (Re)makes the mesh's boneBatches.batchVertexRanges from its faces and
// batches; InitImpl does it for every mesh. False when out of memory.
bool PODMakeBatchVertexRanges(SPODMesh& mesh);

// Reads one node container's inner blocks, up to and including its end marker.
bool ReadNode(SPODNode& node, CStreamResource& stream);
// Reads one data block (start tag `tag`) up to its end marker. With ownData
// false the array block holds a 4-byte offset into the mesh's interleaved data.
bool ReadCPODData(CPODData& block, CStreamResource& stream, unsigned int tag, bool ownData);

// 16.16 fixed point <-> float, in place when dst == src; null or n == 0 does nothing.
void FixedToFloat(float* dst, const int* src, unsigned int n);
void FloatToFixed(int* dst, const float* src, unsigned int n);
// Converts every real field between fixed point and float, then flips flags bit 0.
void ModelPODToggleFixedPoint(SPODScene& scene);
