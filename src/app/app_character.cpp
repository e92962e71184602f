#include "app/app_character.h"

#include <sys/stat.h>

#include <cstdio>

#include "app/ConfigViewController.h"
#include "app/notice.h"
#include "app/ui_text.h"
#include "character/girl.h"
#include "character/girl_settings.h"
#include "character/girl_sound.h"
#include "cli/cli.h"
#include "render/mesh_utils.h"
#include "scene/ModelPOD.h"
#include "store/user_defaults.h"

std::function<void()> app_characters_changed;
std::function<void()> app_character_picker;

namespace {

// Shown from the next tick on, as a new look is: her scene and voices
// reload and she says her setup line.
void Show(const std::string& folder) {
  if (folder == girl_character_folder) return;
  girl_character_folder = folder;
  girl_reload_scene = true;
  girl_reload_sound = true;
  sound_setup_timer = 5;
}

void Store(const std::string& id) {
  UserDefaultsSetString(kGirlKeyCharacter, id);
  UserDefaultsSynchronize();
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "PROGRAM: NAME is character ID", with what it is drawn without.
void SayImported(const char* program, const std::string& name, const vrm::CharacterInfo& info) {
  std::string without;
  for (const std::string& a : info.approximated) without += (without.empty() ? "" : ", ") + a;
  std::fprintf(stderr, "%s: %s is character %s%s\n", program, name.c_str(), info.id.c_str(),
               without.empty() ? "" : (" (drawn without " + without + ")").c_str());
}

// The outcome of an import the user asked for, on screen and, refused, on
// standard error.
bool Imported(const char* program, const std::string& name, const vrm::ImportResult& r) {
  if (!r.ok) {
    std::fprintf(stderr, "%s: %s: %s\n", program, name.c_str(), r.message.c_str());
    NoticeShow(BaseName(name) + ": " + r.message);
    return false;
  }
  SayImported(program, name, r.info);
  if (r.fresh && app_characters_changed) app_characters_changed();
  Show(r.info.folder);
  Store(r.info.id);
  SettingsFollowCharacter();
  NoticeShow(r.info.title.empty() ? r.info.id : r.info.title);
  return true;
}

}  // namespace

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
  SayImported(program, fileOrId, r.info);
  girl_character_folder = r.info.folder;
  return 0;
}

std::string AppCharacterShown() { return girl_character_folder.empty() ? "" : BaseName(girl_character_folder); }

std::vector<vrm::CharacterInfo> AppCharacterList() { return vrm::ListCharacters(vrm::CharactersRoot()); }

void AppCharacterLoadStored() {
  if (!girl_character_folder.empty()) return;
  std::string id;
  if (!UserDefaultsStringForKey(kGirlKeyCharacter, &id)) {
    if (UserDefaultsHasKey(kGirlKeyCharacter))
      std::fprintf(stderr, "Settings: %s is not text; Ovanta is shown\n", kGirlKeyCharacter);
    return;
  }
  if (id.empty()) return;
  vrm::CharacterInfo info;
  if (!vrm::FindCharacter(vrm::CharactersRoot(), id, &info)) {
    std::fprintf(stderr, "Settings: %s is %s, a character whose folder is gone or cannot be read; Ovanta is shown\n",
                 kGirlKeyCharacter, id.c_str());
    return;
  }
  girl_character_folder = info.folder;
}

bool AppCharacterChoose(const std::string& id) {
  std::string folder;
  if (!id.empty()) {
    vrm::CharacterInfo info;
    if (!vrm::FindCharacter(vrm::CharactersRoot(), id, &info)) return false;
    folder = info.folder;
  }
  Show(folder);
  Store(id);
  return true;
}

bool AppCharacterRemove(const std::string& id, std::string* message) {
  if (!vrm::RemoveCharacter(vrm::CharactersRoot(), id, message)) return false;
  if (app_characters_changed) app_characters_changed();
  if (id == AppCharacterShown()) AppCharacterChoose("");
  // A stored choice not shown (its folder could not be read at start) goes too.
  std::string stored;
  if (UserDefaultsStringForKey(kGirlKeyCharacter, &stored) && stored == id) Store("");
  return true;
}

bool AppCharacterImportFile(const char* program, const std::string& path) {
  CPODScene clips;
  if (!LoadPodModel(&clips, girl_start_model, "girl", false)) return false;
  return Imported(program, path, vrm::ImportCharacterFile(path, vrm::CharactersRoot(), clips));
}

bool AppCharacterImportBytes(const char* program, const uint8_t* data, size_t size, const std::string& name) {
  CPODScene clips;
  if (!LoadPodModel(&clips, girl_start_model, "girl", false)) return false;
  return Imported(program, name, vrm::ImportCharacter(data, size, vrm::CharactersRoot(), clips));
}
