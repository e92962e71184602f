#include "render/mesh_utils.h"

#include <cstdio>
#include <string>

#include "files/bundle.h"
#include "scene/ModelPOD.h"
#include "texture/texture_library.h"

bool LoadPodModel(CPODScene* scene, const char* resourceName, const char* label, bool precache) {
  if (!label) label = "";
  std::string path;
  if (!resourceName || !BundlePathForResource(resourceName, "POD", path)) {
    std::fprintf(stderr, "**ERROR** path for %s file not found: %s\n", label, resourceName ? resourceName : "(null)");
    std::fprintf(stderr, "Scene %s\n", BundleWhyNot(resourceName, "POD").c_str());
    return false;
  }
  if (!scene->ReadFromFile(path.c_str(), nullptr, 0)) {
    std::fprintf(stderr, "**ERROR** Failed to open %s file: %s\n", label, path.c_str());
    std::fprintf(stderr, "Scene %s: %s\n", path.c_str(), scene->readError());
    return false;
  }
  if (precache) PrecacheMaterials(scene);
  TexCoordFix(scene, TEXFIX_FLIP_V);
  return true;
}

bool LoadCharacterModel(CPODScene* scene, const std::string& folder) {
  const std::string path = folder + "/model.POD";
  if (!scene->ReadFromFile(path.c_str(), nullptr, 0)) {
    std::fprintf(stderr, "Character %s: %s\n", path.c_str(),
                 scene->readError() ? scene->readError() : "cannot be read");
    return false;
  }
  PrecacheMaterialsFrom(scene, folder);
  TexCoordFix(scene, TEXFIX_FLIP_V);
  return true;
}
