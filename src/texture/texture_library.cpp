#include "texture/texture_library.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "gles/gl_check.h"
#include "math/Vector.h"
#include "texture/gamelib.h"

namespace {

const float mat_0[4] = {0.0f, 0.0f, 0.0f, 0.0f};
const float mat_1[4] = {1.0f, 1.0f, 1.0f, 1.0f};
const float default_ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
const float default_diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};

// The material of a mesh node, or null when its index is out of range (the
// unsigned compare also rejects -1).
SPODMaterial* NodeMaterial(CPODScene* scene, const SPODNode& node) {
  if (static_cast<uint32_t>(node.materialIndex) >= scene->materialCount) return nullptr;
  return &scene->materials[node.materialIndex];
}

void TexturingOff() {
  glActiveTexture(GL_TEXTURE1);
  glDisable(GL_TEXTURE_2D);
  glActiveTexture(GL_TEXTURE0);
  glDisable(GL_TEXTURE_2D);
}

void BindDefaultMaterial() {
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, default_ambient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, default_diffuse);
  glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, mat_0);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, mat_0);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, mat_0);
  TexturingOff();
}

}  // namespace

namespace {

// Loads each mesh node's material texture with `load` (a file name without
// its folder part -> a texture, 0 when it cannot be loaded) and registers it.
template <typename Load>
void Precache(CPODScene* scene, Load load) {
  if (!scene || !scene->nodes) return;
  for (uint32_t i = 0; i < scene->meshNodeCount; ++i) {
    SPODMaterial* material = NodeMaterial(scene, scene->nodes[i]);
    if (!material) continue;
    // Also skips a material that an earlier node already resolved.
    const int32_t t = material->textureIndex;
    if (static_cast<uint32_t>(t) >= scene->textureCount) continue;

    const char* name = scene->textures[t];
    const size_t length = name ? std::strlen(name) : 0;
    // Checked before loading, so a refused texture costs no decoding.
    if (n_textures >= kMaxTextures) {
      std::fprintf(stderr, "Texture registry full, %s not loaded\n", name ? name : "");
      material->textureIndex = -1;
      continue;
    }
    if (length < 1 || length > 511) {
      material->textureIndex = -1;
      continue;
    }
    // Exporters store the artist's path; the bundle is flat.
    const char* base = name;
    for (const char* p = name; *p; ++p)
      if (*p == '/' || *p == '\\') base = p + 1;
    if (*base == '\0') {
      material->textureIndex = -1;
      continue;
    }
    char file[512];
    std::snprintf(file, sizeof(file), "%s", base);
    const GLuint tex = load(file);
    if (tex == 0) {
      material->textureIndex = -1;
      continue;
    }
    material->textureIndex = RegisterTexture(tex);
    if (material->textureIndex == -1) {
      DeleteTexture(tex);
    }
  }
}

}  // namespace

void PrecacheMaterials(CPODScene* scene) {
  Precache(scene, [](const char* file) { return LoadTextureRGBA(file, TEXMIP_NEAREST); });
}

void PrecacheMaterialsFrom(CPODScene* scene, const std::string& folder) {
  Precache(scene, [&](const char* file) { return LoadTextureFile((folder + "/" + file).c_str(), TEXMIP_LINEAR); });
}

void ReplaceAllMaterials(CPODScene* scene, unsigned int tex) {
  if (tex == 0 || !scene) return;
  const int ref = RegisterTexture(tex);
  if (ref == -1) {
    // The caller handed the texture over for good; with no registry entry
    // to own it, it would never be deleted.
    DeleteTexture(tex);
    return;
  }
  bool replaced = false;
  for (uint32_t i = 0; i < scene->meshNodeCount && scene->nodes; ++i) {
    SPODMaterial* material = NodeMaterial(scene, scene->nodes[i]);
    if (!material) continue;
    if (static_cast<uint32_t>(material->textureIndex) < scene->textureCount) {
      material->textureIndex = ref;
      replaced = true;
    }
  }
  if (!replaced) std::fputs("Unable to replace texture, not a single texture found!", stderr);
}

void ReplaceAllMaterials_FB(CPODScene* scene) {
  if (!scene) return;
  for (uint32_t i = 0; i < scene->meshNodeCount && scene->nodes; ++i) {
    SPODMaterial* material = NodeMaterial(scene, scene->nodes[i]);
    if (!material) continue;
    material->diffuse[0] = material->diffuse[1] = material->diffuse[2] = 1.0f;
  }
}

namespace {
bool Blends(const SPODMaterial& material) { return material.name && std::strstr(material.name, "alpha"); }
}  // namespace

bool MaterialBlends(const CPODScene* scene, int index) {
  return scene && index >= 0 && static_cast<uint32_t>(index) < scene->materialCount && Blends(scene->materials[index]);
}

namespace {
const SPODMaterial* MaterialAt(const CPODScene* scene, int index) {
  return scene && index >= 0 && static_cast<uint32_t>(index) < scene->materialCount ? &scene->materials[index]
                                                                                    : nullptr;
}

// An imported character's material (a mode set): blending, the alpha test
// and the colour with its alpha as it asks.
void LoadModeMaterial(const SPODMaterial* material) {
  switch (material->alphaMode) {
    case EPODAlphaBlend:
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      break;
    case EPODAlphaMask:
      glDisable(GL_BLEND);
      glEnable(GL_ALPHA_TEST);
      glAlphaFunc(GL_GEQUAL, material->alphaCutoff);
      break;
    default:
      glDisable(GL_BLEND);
  }
  const float* d = material->diffuse;
  const float alpha[4] = {0.0f, 0.0f, 0.0f, material->opacity};
  if (material->flags & kPODMaterialUnlit) {
    const float colour[4] = {d[0], d[1], d[2], 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, colour);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, mat_0);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, alpha);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, mat_0);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, mat_0);
  } else {
    const float* a = material->ambient;
    const float* sp = material->specular;
    const float ambient[4] = {a[0], a[1], a[2], 1.0f}, diffuse[4] = {d[0], d[1], d[2], material->opacity},
                specular[4] = {sp[0], sp[1], sp[2], 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, material->shininess);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, mat_0);
  }
  GL_CHECK();
}
}  // namespace

bool MaterialDrawsBothSides(const CPODScene* scene, int index) {
  const SPODMaterial* m = MaterialAt(scene, index);
  return m && (m->flags & kPODMaterialDoubleSided);
}

bool MaterialTestsAlpha(const CPODScene* scene, int index) {
  const SPODMaterial* m = MaterialAt(scene, index);
  return m && m->alphaMode == EPODAlphaMask;
}

void LoadMaterialI(const CPODScene* scene, int index) {
  if (index < 0 || !scene || static_cast<uint32_t>(index) >= scene->materialCount) {
    BindDefaultMaterial();
    return;
  }
  LoadMaterialP(&scene->materials[index]);
}

namespace {

// A material of the built-in files: its name says how it draws.
void LoadNamedMaterial(const SPODMaterial* material) {
  const char* name = material->name;
  bool lit = true;
  if (Blends(*material)) {
    glEnable(GL_BLEND);
    // Pictures are uploaded with their colours already multiplied by alpha
    // (ReadPictureData): multiplying by alpha again here would darken every
    // soft edge into a dark rim. A material without a picture is not.
    glBlendFunc(IsTextureReference(material->textureIndex) ? GL_ONE : GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  }
  // "const": unlit, the picture as painted (a blended one too: clouds).
  if (name && std::strstr(name, "const")) lit = false;

  if (lit) {
    const float ambient[4] = {material->ambient[0], material->ambient[1], material->ambient[2], 1.0f};
    const float diffuse[4] = {material->diffuse[0], material->diffuse[1], material->diffuse[2], 1.0f};
    const float specular[4] = {material->specular[0], material->specular[1], material->specular[2], 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, material->shininess);
    GL_CHECK();
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, mat_0);
    GL_CHECK();
  } else {
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, mat_1);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, mat_0);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, mat_0);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, mat_0);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, mat_0);
    GL_CHECK();
  }
}

}  // namespace

void LoadMaterialP(const SPODMaterial* material) {
  if (material->alphaMode != EPODAlphaByName)
    LoadModeMaterial(material);
  else
    LoadNamedMaterial(material);

  const int32_t ref = material->textureIndex;
  if (IsTextureReference(ref)) {
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBindTexture(GL_TEXTURE_2D, texture[ref + 513]);
  } else {
    TexturingOff();
  }
}

void TexCoordFix(CPODScene* scene, TexFixMode mode) {
  if (mode != TEXFIX_FLIP_V || !scene || !scene->meshes) return;
  for (uint32_t m = 0; m < scene->meshCount; ++m) {
    SPODMesh& mesh = scene->meshes[m];
    if (!mesh.uvws || mesh.uvwCount == 0) continue;
    CPODData& uv = mesh.uvws[0];
    if (uv.type != EPODDataFloat || !uv.data || uv.componentCount < 2) continue;
    const uint32_t stride = uv.stride ? uv.stride : uv.componentCount * 4;
    for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
      uint8_t* p = uv.data + static_cast<size_t>(i) * stride + 4;
      float v;
      std::memcpy(&v, p, 4);
      v = 1.0f - v;
      std::memcpy(p, &v, 4);
    }
  }
}

void NormalizeMeshNormals(SPODMesh* mesh) {
  CPODData& n = mesh->normals;
  // Other layouts are left alone rather than read as something they are not.
  if (!n.data || n.type != EPODDataFloat || n.componentCount != 3 || (n.stride != 12 && n.stride != 0)) return;
  for (uint32_t i = 0; i < mesh->vertexCount; ++i) {
    uint8_t* p = n.data + static_cast<size_t>(i) * 12;
    VECTOR3 v;
    std::memcpy(&v, p, 12);
    // A zero (or underflowing) normal has no direction to keep; normalising
    // it would make infinities and NaNs that poison lighting.
    const float sq = v.x * v.x + v.y * v.y + v.z * v.z;
    if (!(sq > 0.0f) || !std::isfinite(sq)) continue;
    MatrixVec3Normalize(v, v);
    std::memcpy(p, &v, 12);
  }
}

void NormalizeModelNormals(CPODScene* scene) {
  if (!scene || !scene->meshes) return;
  for (uint32_t m = 0; m < scene->meshCount; ++m)
    if (scene->meshes[m].normals.data) NormalizeMeshNormals(&scene->meshes[m]);
}
