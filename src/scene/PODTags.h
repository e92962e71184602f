// The block tags of a scene file, named once for the reader
// (ModelPODRead.cpp), the writer (PODWriter.cpp) and the tests that build
// files by hand. A container ends with its own tag | kEnd.
#pragma once

#include <cstdint>

namespace pod_tag {

enum : uint32_t {
  kEnd = 0x80000000u,

  // Top level.
  kVersion = 1000,  // "AB.POD.2.0" and its zero byte
  kScene = 1001,
  kExportOptions = 1002,

  // Inside the scene.
  kBackgroundColour = 2000,
  kAmbientColour = 2001,
  kCameraCount = 2002,
  kLightCount = 2003,
  kMeshCount = 2004,
  kNodeCount = 2005,
  kMeshNodeCount = 2006,
  kTextureCount = 2007,
  kMaterialCount = 2008,
  kFrameCount = 2009,
  kCamera = 2010,
  kLight = 2011,
  kMesh = 2012,
  kNode = 2013,
  kTexture = 2014,
  kMaterial = 2015,
  kFlags = 2016,

  // Material.
  kMaterialName = 3000,
  kMaterialTexture = 3001,
  kMaterialOpacity = 3002,
  kMaterialAmbient = 3003,
  kMaterialDiffuse = 3004,
  kMaterialSpecular = 3005,
  kMaterialShininess = 3006,
  kMaterialEffectFile = 3007,
  kMaterialEffectName = 3008,
  // How an imported character's material draws (absent in the built-in files).
  kMaterialAlphaMode = 3009,
  kMaterialAlphaCutoff = 3010,
  kMaterialFlags = 3011,

  // Texture.
  kTextureName = 4000,

  // Node.
  kNodeMesh = 5000,
  kNodeName = 5001,
  kNodeMaterial = 5002,
  kNodeParent = 5003,
  kNodeStaticPosition = 5004,
  kNodeStaticRotation = 5005,
  kNodeStaticScale = 5006,
  kNodePositions = 5007,
  kNodeRotations = 5008,
  kNodeScales = 5009,
  kNodeMatrices = 5011,
  kNodeAnimationFlags = 5012,
  kNodeInverseBind = 5013,

  // Mesh.
  kMeshVertexCount = 6000,
  kMeshFaceCount = 6001,
  kMeshUvwCount = 6002,
  kMeshFaces = 6003,
  kMeshStripLengths = 6004,
  kMeshStripCount = 6005,
  kMeshVertices = 6006,
  kMeshNormals = 6007,
  kMeshTangents = 6008,
  kMeshBinormals = 6009,
  kMeshUvw = 6010,
  kMeshColours = 6011,
  kMeshBoneIndices = 6012,
  kMeshBoneWeights = 6013,
  kMeshInterleaved = 6014,
  kMeshBatches = 6015,
  kMeshBatchBoneCounts = 6016,
  kMeshBatchOffsets = 6017,
  kMeshBatchBoneMax = 6018,
  kMeshBatchCount = 6019,
  kMeshMorphCount = 6020,
  kMeshMorph = 6021,  // a container, one a morph target

  // Morph target.
  kMorphName = 6030,
  kMorphWeight = 6031,
  kMorphIndices = 6032,
  kMorphDeltas = 6033,

  // Light.
  kLightTarget = 7000,
  kLightColour = 7001,
  kLightType = 7002,

  // Camera.
  kCameraTarget = 8000,
  kCameraFieldOfView = 8001,
  kCameraFar = 8002,
  kCameraNear = 8003,
  kCameraFieldOfViewAnimation = 8004,

  // Inside a data block (vertex or index array).
  kDataType = 9000,
  kDataComponents = 9001,
  kDataStride = 9002,
  kDataBytes = 9003,
};

}  // namespace pod_tag
