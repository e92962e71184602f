// girlgen: writes her four models and all her pictures into a bundle folder.
//
//   girlgen OUT_DIR [--sheet SHEET.png]
//
// Run by the build (a custom command of tools/girlgen/CMakeLists.txt) so that
// every build has the Resources folder the app and the tests read. With
// --sheet it also draws a contact sheet with its own rasteriser.
#include <cstdio>
#include <cstring>
#include <string>

#include "girlgen.h"
#include "scene/PODWriter.h"

using namespace girlgen;

namespace {

const char* const kModelNames[kOutfitCount] = {"girl_beach", "girl_casual", "girl_school", "girl_business"};
const char* const kOutfitFiles[kOutfitCount][2] = {
    {"girl_beach_mask.png", "girl_beach_clothes.jpg"},
    {"girl_casual_mask.png", "girl_casual_clothes.jpg"},
    {"girl_school_mask.png", "girl_school_clothes.jpg"},
    {"girl_business_mask.png", "girl_business_clothes.jpg"},
};
const char* const kHairFiles[4] = {"girl_blonde_hair.jpg", "girl_brown_hair.jpg", "girl_black_hair.jpg",
                                   "girl_red_hair.jpg"};
const char* const kSkinFiles[4] = {"girl_white.jpg", "girl_yellow.jpg", "girl_lightbrown.jpg", "girl_brown.jpg"};

template <typename T>
T* Copy(const T* src, size_t n) {
  T* dst = PODAlloc<T>(n);
  std::memcpy(dst, src, n * sizeof(T));
  return dst;
}

bool WriteModel(const Mesh& mesh, const std::string& path) {
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

// The same integer blend the app composites with: skin, then hair, then outfit.
void Overlay(Image& dst, const Image& mask, const Image& pic) {
  for (size_t i = 0; i < static_cast<size_t>(dst.w) * dst.h; ++i) {
    const unsigned M = mask.px[i * 3] * 257u, N = 65535u - M;
    for (int k = 0; k < 3; ++k) dst.px[i * 3 + k] = static_cast<uint8_t>((N * dst.px[i * 3 + k] + M * pic.px[i * 3 + k]) >> 16);
  }
}

void DrawSheet(const std::string& path, const Mesh* meshes, const Pictures& pics) {
  const int cw = 240, ch = 360;
  const int frames[] = {0, 60, 120, 200, 230, 260, 303, 314, 330};
  const int cols = 2 + 9, rows = kOutfitCount + 1;
  Image sheet;
  sheet.w = cols * cw;
  sheet.h = rows * ch;
  sheet.px.assign(static_cast<size_t>(sheet.w) * sheet.h * 3, 0);
  for (size_t i = 0; i < sheet.px.size(); i += 3) sheet.px[i] = 196, sheet.px[i + 1] = 208, sheet.px[i + 2] = 226;
  MATRIX bind[kBoneCount], inv[kBoneCount];
  PoseWorld(PoseAtFrame(0), bind);
  for (int b = 0; b < kBoneCount; ++b) MatrixInverse(inv[b], bind[b]);
  auto palette = [&](int frame, MATRIX* out) {
    MATRIX world[kBoneCount];
    PoseWorld(PoseAtFrame(frame), world);
    for (int b = 0; b < kBoneCount; ++b) MatrixMultiply(out[b], inv[b], world[b]);
  };
  for (int o = 0; o < kOutfitCount; ++o) {
    Image tex = pics.skin[o];
    Overlay(tex, pics.hairMask, pics.hair[(o + 1) % 4]);
    Overlay(tex, pics.outfitMask[o], pics.outfit[o]);
    MATRIX pal[kBoneCount];
    palette(0, pal);
    RasterCharacter(sheet, meshes[o], pal, tex, 0, 0, o * ch, cw, ch);
    RasterCharacter(sheet, meshes[o], pal, tex, 35, cw, o * ch, cw, ch);
    for (int k = 0; k < 9; ++k) {
      palette(frames[k], pal);
      RasterCharacter(sheet, meshes[o], pal, tex, 0, (2 + k) * cw, o * ch, cw, ch);
    }
  }
  // Last row: every skin tone and hair colour in the school uniform, and a close view of the face.
  for (int k = 0; k < 4; ++k) {
    Image tex = pics.skin[k];
    Overlay(tex, pics.hairMask, pics.hair[k]);
    Overlay(tex, pics.outfitMask[(k + 2) % 4], pics.outfit[(k + 2) % 4]);
    MATRIX pal[kBoneCount];
    palette(0, pal);
    RasterCharacter(sheet, meshes[(k + 2) % 4], pal, tex, 15, k * cw, kOutfitCount * ch, cw, ch);
    // Face close-up: a larger viewport cropped to the head.
    Image big;
    big.w = cw * 4;
    big.h = ch * 4;
    big.px.assign(static_cast<size_t>(big.w) * big.h * 3, 200);
    RasterCharacter(big, meshes[(k + 2) % 4], pal, tex, 10 * k, 0, 0, big.w, big.h);
    const int cx = big.w / 2 - cw / 2, cy = static_cast<int>(big.h * 0.5f - 0.5f * (330 - 200) / 392.0f * big.h) - ch / 2 + 40;
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x) {
        const int sx = cx + x, sy = cy + y;
        if (sx < 0 || sy < 0 || sx >= big.w || sy >= big.h) continue;
        for (int c = 0; c < 3; ++c)
          sheet.px[((static_cast<size_t>(kOutfitCount) * ch + y) * sheet.w + (4 + k) * cw + x) * 3 + c] =
              big.px[(static_cast<size_t>(sy) * big.w + sx) * 3 + c];
      }
  }
  if (!WritePNG(path, sheet)) std::fprintf(stderr, "girlgen: cannot write %s\n", path.c_str());
  // A detail sheet: each outfit large, front and three-quarter, cropped to the figure.
  const int dw = 1400, dh = 2100, crop = 520;
  Image detail;
  detail.w = crop * kOutfitCount * 2 / 2;
  detail.h = 1150;
  detail.w = crop * kOutfitCount;
  detail.px.assign(static_cast<size_t>(detail.w) * detail.h * 3, 0);
  for (int o = 0; o < kOutfitCount; ++o) {
    Image tex = pics.skin[o];
    Overlay(tex, pics.hairMask, pics.hair[(o + 1) % 4]);
    Overlay(tex, pics.outfitMask[o], pics.outfit[o]);
    MATRIX pal[kBoneCount];
    palette(0, pal);
    Image big;
    big.w = dw;
    big.h = dh;
    big.px.assign(static_cast<size_t>(dw) * dh * 3, 0);
    for (size_t i = 0; i < big.px.size(); i += 3) big.px[i] = 196, big.px[i + 1] = 208, big.px[i + 2] = 226;
    RasterCharacter(big, meshes[o], pal, tex, o % 2 ? 30.0f : 0.0f, 0, 0, dw, dh);
    for (int y = 0; y < detail.h; ++y)
      for (int x = 0; x < crop; ++x) {
        const int sx = dw / 2 - crop / 2 + x, sy = 380 + y;
        for (int c = 0; c < 3; ++c)
          detail.px[((static_cast<size_t>(y)) * detail.w + o * crop + x) * 3 + c] = big.px[(static_cast<size_t>(sy) * dw + sx) * 3 + c];
      }
  }
  WritePNG(path.substr(0, path.size() - 4) + "_detail.png", detail);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: girlgen OUT_DIR [--sheet SHEET.png]\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::string sheet;
  for (int i = 2; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--sheet") == 0) sheet = argv[i + 1];
  Mesh meshes[kOutfitCount];
  bool ok = true;
  for (int o = 0; o < kOutfitCount; ++o) {
    meshes[o] = BuildCharacter(static_cast<Outfit>(o));
    const SoftCounts c = CountSoft(meshes[o]);
    std::printf("girlgen: %s: %zu vertices, %zu triangles, soft %d points (%d free), %d springs, share %d\n",
                kModelNames[o], meshes[o].verts.size(), meshes[o].tris.size() / 3, c.points, c.free, c.springs,
                c.maxShare);
    if (meshes[o].verts.size() > 65535) {
      std::fprintf(stderr, "girlgen: %s has too many vertices for 16-bit faces\n", kModelNames[o]);
      ok = false;
      continue;
    }
    ok = WriteModel(meshes[o], dir + "/" + kModelNames[o] + ".POD") && ok;
  }
  Pictures pics;
  PaintAll(pics);
  for (int k = 0; k < 4; ++k) {
    ok = WriteJPEG(dir + "/" + kSkinFiles[k], pics.skin[k], 92) && ok;
    ok = WriteJPEG(dir + "/" + kHairFiles[k], pics.hair[k], 90) && ok;
    ok = WriteJPEG(dir + "/" + kOutfitFiles[k][1], pics.outfit[k], 92) && ok;
    ok = WritePNG(dir + "/" + kOutfitFiles[k][0], pics.outfitMask[k]) && ok;
  }
  ok = WritePNG(dir + "/girl_hair_mask.png", pics.hairMask) && ok;
  if (!sheet.empty()) DrawSheet(sheet, meshes, pics);
  if (!ok) std::fprintf(stderr, "girlgen: could not write every file into %s\n", dir.c_str());
  return ok ? 0 : 1;
}
