#include "app/app_character.h"

#include <sys/stat.h>

#include <cstdio>

#include "character/girl.h"
#include "cli/cli.h"
#include "render/mesh_utils.h"
#include "scene/ModelPOD.h"
#include "vrm/characters.h"

int AppUseCharacter(const char* program, const std::string& fileOrId) {
  const std::string root = vrm::CharactersRoot();
  vrm::CharacterInfo info;
  struct stat st;
  if (stat(fileOrId.c_str(), &st) != 0) {
    if (vrm::FindCharacter(root, fileOrId, &info)) {
      girl_character_folder = info.folder;
      return 0;
    }
    std::fprintf(stderr, "%s: %s: no such file, nor a character imported before\n", program, fileOrId.c_str());
    return kExitNoInput;
  }
  CPODScene clips;
  if (!LoadPodModel(&clips, girl_start_model, "girl", false)) return kExitNoInput;
  const vrm::ImportResult r = vrm::ImportCharacterFile(fileOrId, root, clips);
  if (!r.ok) {
    std::fprintf(stderr, "%s: %s: %s\n", program, fileOrId.c_str(), r.message.c_str());
    return kExitDataError;
  }
  std::string without;
  for (const std::string& a : r.info.approximated) without += (without.empty() ? "" : ", ") + a;
  std::fprintf(stderr, "%s: %s is character %s%s\n", program, fileOrId.c_str(), r.info.id.c_str(),
               without.empty() ? "" : (" (drawn without " + without + ")").c_str());
  girl_character_folder = r.info.folder;
  return 0;
}
