// girlgen: writes her four models and all her pictures into a bundle folder.
//
//   girlgen OUT_DIR [--vrm DIR] [--stamp FILE]
//
// With --vrm, DIR also gets her VRM exports in her start-up look (the
// casual outfit, the first hair colour and skin tone):
// ovanta-1.0.vrm and ovanta-0.x.vrm, and her dance as ovanta-dance.vrma.
// Run by the build (tools/girlgen/CMakeLists.txt, see tools/bundle_out) so that
// every build has the Resources folder the app and the tests read. Her
// preview sheets are drawn by tools/girlpreview with the app's renderer.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bundle_out.h"
#include "catalog/catalog.h"
#include "girlgen.h"
#include "picture/picture_file.h"
#include "scene/PODWriter.h"
#include "scene/mesh_shells.h"

using namespace girlgen;

namespace {

static_assert(kOutfitCount == kCatalogOptions, "an outfit of hers for every row of the catalog");

template <typename T>
T* Copy(const T* src, size_t n) {
  T* dst = PODAlloc<T>(n);
  std::memcpy(dst, src, n * sizeof(T));
  return dst;
}

bool WriteModel(const Mesh& mesh, const char* name, const std::string& path) {
  CPODScene scene;
  scene.backgroundColour[0] = scene.backgroundColour[1] = scene.backgroundColour[2] = 0;
  scene.ambientColour[0] = scene.ambientColour[1] = scene.ambientColour[2] = 1;
  scene.frameCount = kFrameCount;
  scene.meshCount = 1;
  scene.meshes = PODAlloc<SPODMesh>(1);
  SPODMesh& m = scene.meshes[0];
  const uint32_t nv = static_cast<uint32_t>(mesh.verts.size());
  m.vertexCount = nv;
  m.faceCount = static_cast<uint32_t>(mesh.tris.size() / 3);
  m.faces = {EPODDataUnsignedShort, 1, 2, reinterpret_cast<uint8_t*>(Copy(mesh.tris.data(), mesh.tris.size()))};
  float* pos = PODAlloc<float>(nv * 3);
  float* nrm = PODAlloc<float>(nv * 3);
  float* uv = PODAlloc<float>(nv * 2);
  uint8_t* col = PODAlloc<uint8_t>(nv * 4);
  uint8_t* bi = PODAlloc<uint8_t>(nv * 4);
  float* bw = PODAlloc<float>(nv * 4);
  for (uint32_t i = 0; i < nv; ++i) {
    const Vertex& v = mesh.verts[i];
    pos[i * 3] = v.pos.x, pos[i * 3 + 1] = v.pos.y, pos[i * 3 + 2] = v.pos.z;
    nrm[i * 3] = v.nrm.x, nrm[i * 3 + 1] = v.nrm.y, nrm[i * 3 + 2] = v.nrm.z;
    uv[i * 2] = v.u, uv[i * 2 + 1] = v.v;
    col[i * 4] = v.mark, col[i * 4 + 1] = col[i * 4 + 2] = col[i * 4 + 3] = 255;
    for (int k = 0; k < 4; ++k) bi[i * 4 + k] = v.bone[k], bw[i * 4 + k] = v.weight[k];
  }
  m.vertices = {EPODDataFloat, 3, 12, reinterpret_cast<uint8_t*>(pos)};
  m.normals = {EPODDataFloat, 3, 12, reinterpret_cast<uint8_t*>(nrm)};
  m.uvwCount = 1;
  m.uvws = PODAlloc<CPODData>(1);
  m.uvws[0] = {EPODDataFloat, 2, 8, reinterpret_cast<uint8_t*>(uv)};
  m.colours = {EPODDataARGB, 1, 4, col};
  m.boneIndices = {EPODDataUnsignedByte, 4, 4, bi};
  m.boneWeights = {EPODDataFloat, 4, 16, reinterpret_cast<uint8_t*>(bw)};
  // Her body, hands and hair are closed shells and come first; the face
  // parts laid over them after. The draw culls what the shells hide.
  const MeshShells shells = FindShells(m);
  m.closedFaces = shells.closedLeading;
  std::printf("girlgen: %s: %u of %u shells closed, the first %u triangles; %u edges of more than two\n", name,
              shells.closedShells, shells.shells, shells.closedLeading, shells.sheetEdges);
  // One batch holds every bone: the bone index bytes are node indices less one.
  CBoneBatches& bb = m.boneBatches;
  bb.batchCount = 1;
  bb.batchBoneMax = kBoneCount;
  bb.batches = PODAlloc<int32_t>(kBoneCount);
  for (int b = 0; b < kBoneCount; ++b) bb.batches[b] = b + 1;
  bb.batchBoneCounts = PODAlloc<int32_t>(1);
  bb.batchBoneCounts[0] = kBoneCount;
  bb.batchOffsets = PODAlloc<int32_t>(1);
  bb.batchOffsets[0] = 0;

  scene.textureCount = 1;
  scene.textures = PODAlloc<char*>(1);
  scene.textures[0] = PODStrDup("girl_skin.jpg");
  scene.materialCount = 1;
  scene.materials = PODAlloc<SPODMaterial>(1);
  SPODMaterial& mat = scene.materials[0];
  mat.name = PODStrDup("girl_body");
  mat.textureIndex = 0;
  mat.opacity = 1;
  for (int k = 0; k < 3; ++k) mat.ambient[k] = 0.8f, mat.diffuse[k] = 1.0f, mat.specular[k] = 0.0f;
  mat.shininess = 0;

  scene.nodeCount = 1 + kBoneCount;
  scene.meshNodeCount = 1;
  scene.nodes = PODAlloc<SPODNode>(scene.nodeCount);
  SPODNode& mn = scene.nodes[0];
  mn.meshIndex = 0;
  mn.name = PODStrDup("girl");
  mn.materialIndex = 0;
  mn.parentIndex = -1;
  mn.positions = PODAlloc<float>(3);
  mn.rotations = PODAlloc<float>(4);
  mn.rotations[3] = 1;
  std::vector<Pose> poses(kFrameCount);
  for (int f = 0; f < kFrameCount; ++f) poses[f] = PoseAtFrame(f);
  for (int b = 0; b < kBoneCount; ++b) {
    SPODNode& n = scene.nodes[b + 1];
    n.meshIndex = -1;
    n.name = PODStrDup(kBones[b].name);
    n.materialIndex = -1;
    n.parentIndex = kBones[b].parent < 0 ? -1 : kBones[b].parent + 1;
    n.animationFlags = 3;
    n.positions = PODAlloc<float>(kFrameCount * 3);
    n.rotations = PODAlloc<float>(kFrameCount * 4);
    const BoneDef& d = kBones[b];
    for (int f = 0; f < kFrameCount; ++f) {
      V3 off = d.parent < 0 ? d.bindPos + poses[f].rootOffset : d.bindPos - kBones[d.parent].bindPos;
      n.positions[f * 3] = off.x, n.positions[f * 3 + 1] = off.y, n.positions[f * 3 + 2] = off.z;
      for (int k = 0; k < 4; ++k) n.rotations[f * 4 + k] = poses[f].rot[b][k];
    }
  }
  // Destroy releases a scene's arrays only once it has its evaluation state.
  scene.InitImpl();
  return PODWriteToFile(scene, path.c_str());
}

// Her texture in one look as the app composes it from the bundle's files
// (texture/gamelib.h): the skin picture, the hair laid over it by its mask,
// the outfit over both. False when a file cannot be read back.
bool ComposeLook(const std::string& dir, int outfit, int hairColour, int skinTone, Image* out) {
  Picture base, layer[4];
  const std::string files[4] = {kHairColours[hairColour].mask, kHairColours[hairColour].picture,
                                kOutfitClothes[outfit].mask, kOutfitClothes[outfit].picture};
  if (!ReadPicture(dir + "/" + kSkinTones[skinTone].picture, base)) return false;
  for (int k = 0; k < 4; ++k)
    if (!ReadPicture(dir + "/" + files[k], layer[k]) || layer[k].width != base.width || layer[k].height != base.height)
      return false;
  const size_t n = static_cast<size_t>(base.width) * base.height;
  for (int k = 0; k < 4; k += 2)
    BlendMaskedPixels(base.rgba.data(), layer[k].rgba.data(), layer[k + 1].rgba.data(), n, false);
  out->w = base.width;
  out->h = base.height;
  out->channels = 3;
  out->px.resize(3 * n);
  for (size_t i = 0; i < n; ++i)
    for (int c = 0; c < 3; ++c) out->px[3 * i + c] = base.rgba[4 * i + c];
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CliProgram cli = {"girlgen",
                    "",
                    0,
                    0,
                    {{"--vrm", "DIR", "also write her VRM exports into DIR"}},
                    "Writes her four models and all her pictures into OUT_DIR.\n"};
  CliArgs args;
  const int parsed = BundleOutArgs(&cli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  const std::string dir = args.operands[0];
  Mesh meshes[kOutfitCount];
  bool ok = true;
  for (int o = 0; o < kOutfitCount; ++o) {
    meshes[o] = BuildCharacter(static_cast<Outfit>(o));
    const SoftCounts c = CountSoft(meshes[o]);
    std::printf("girlgen: %s: %zu vertices, %zu triangles, soft %d points (%d free), %d springs, share %d\n",
                kOutfitModels[o], meshes[o].verts.size(), meshes[o].tris.size() / 3, c.points, c.free, c.springs,
                c.maxShare);
    if (meshes[o].verts.size() > 65535) {
      std::fprintf(stderr, "girlgen: %s has too many vertices for 16-bit faces\n", kOutfitModels[o]);
      ok = false;
      continue;
    }
    ok = WriteModel(meshes[o], kOutfitModels[o], BundleOutPath(dir, std::string(kOutfitModels[o]) + ".POD")) && ok;
  }
  Pictures pics;
  PaintAll(pics);
  for (int k = 0; k < kCatalogOptions; ++k) {
    ok = WriteJPEG(BundleOutPath(dir, kSkinTones[k].picture), pics.skin[k], 92) && ok;
    ok = WriteJPEG(BundleOutPath(dir, kHairColours[k].picture), pics.hair[k], 90) && ok;
    ok = WriteJPEG(BundleOutPath(dir, kOutfitClothes[k].picture), pics.outfit[k], 92) && ok;
    ok = WritePNG(BundleOutPath(dir, kOutfitClothes[k].mask), pics.outfitMask[k]) && ok;
  }
  ok = WritePNG(BundleOutPath(dir, kHairColours[0].mask), pics.hairMask) && ok;  // every colour's
  const std::string vrmDir = args.Value("--vrm");
  if (ok && !vrmDir.empty()) {
    mkdir(vrmDir.c_str(), 0755);  // when it is there already, the writes say so if they fail
    Image look;
    if (!ComposeLook(dir, kCasual, 0, 0, &look)) {
      std::fprintf(stderr, "girlgen: could not read her pictures back from %s\n", dir.c_str());
      ok = false;
    } else {
      ok = WriteVrm(meshes[kCasual], kCasual, look, vrm::Version::k1, BundleOutPath(vrmDir, "ovanta-1.0.vrm")) &&
           WriteVrm(meshes[kCasual], kCasual, look, vrm::Version::k0x, BundleOutPath(vrmDir, "ovanta-0.x.vrm")) &&
           WriteVrma(ANIM_DANCE, BundleOutPath(vrmDir, "ovanta-dance.vrma"));
    }
  }
  if (!ok) std::fprintf(stderr, "girlgen: could not write every file into %s\n", dir.c_str());
  return ok && BundleOutFinish("girlgen", args.Value("--stamp")) ? 0 : 1;
}
