#include "app/app_dance.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "app/ConfigViewController.h"
#include "app/app_character.h"
#include "app/notice.h"
#include "character/girl.h"
#include "character/girl_settings.h"
#include "cli/cli.h"
#include "dance/dance.h"
#include "files/files.h"
#include "store/user_defaults.h"
#include "vrm/characters.h"

namespace {

// Laid on her at the next tick's reload, as a new look is.
void Use(const std::string& id, const std::string& file) {
  if (id == girl_dance_id && file == girl_dance_file) return;
  girl_dance_id = id;
  girl_dance_file = file;
  girl_reload_scene = true;
}

void Store(const std::string& id) {
  UserDefaultsSetString(kGirlKeyDance, id);
  UserDefaultsSynchronize();
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Imported(const char* program, const std::string& name, const DanceImport& r) {
  if (!r.ok) {
    std::fprintf(stderr, "%s: %s: %s\n", program, name.c_str(), r.message.c_str());
    NoticeShow(BaseName(name) + ": " + r.message);
    return false;
  }
  std::fprintf(stderr, "%s: %s is dance %s\n", program, name.c_str(), r.info.id.c_str());
  if (r.fresh && app_characters_changed) app_characters_changed();
  Use(r.info.id, r.info.file);
  Store(r.info.id);
  SettingsFollowCharacter();
  NoticeShow(r.info.title);
  return true;
}

}  // namespace

bool AppIsDanceFile(const std::string& name) {
  if (name.size() < 5) return false;
  std::string ext = name.substr(name.size() - 5);
  for (char& c : ext) c = (char)std::tolower((unsigned char)c);
  return ext == ".vrma";
}

int AppUseDance(const char* program, const std::string& fileOrId) {
  struct stat st;
  if (stat(fileOrId.c_str(), &st) != 0) {
    DanceInfo info;
    if (FindDance(DancesRoot(), fileOrId, &info)) {
      girl_dance_id = info.id;
      girl_dance_file = info.file;
      return 0;
    }
    std::fprintf(stderr, "%s: %s: no such file, nor a dance added before\n", program, fileOrId.c_str());
    return kExitNoInput;
  }
  std::vector<uint8_t> bytes;
  std::string why;
  bool missing = false;
  vrm::Animation dance;
  if (!DanceReadBytes(fileOrId, &bytes, &why, &missing) || !vrm::ReadVrma(bytes.data(), bytes.size(), &dance, &why)) {
    std::fprintf(stderr, "%s: %s: %s\n", program, fileOrId.c_str(), why.c_str());
    return missing ? kExitNoInput : kExitDataError;
  }
  girl_dance_id = vrm::CharacterId(bytes.data(), bytes.size());
  girl_dance_file = fileOrId;
  return 0;
}

std::string AppDanceChosen() { return girl_dance_id; }

std::vector<DanceInfo> AppDanceList() { return ListDances(DancesRoot()); }

void AppDanceLoadStored() {
  if (!girl_dance_file.empty()) return;
  std::string id;
  if (!UserDefaultsStringForKey(kGirlKeyDance, &id)) {
    if (UserDefaultsHasKey(kGirlKeyDance))
      std::fprintf(stderr, "Settings: %s is not text; she dances her own\n", kGirlKeyDance);
    return;
  }
  if (id.empty()) return;
  DanceInfo info;
  if (!FindDance(DancesRoot(), id, &info)) {
    std::fprintf(stderr, "Settings: %s is %s, a dance whose folder is gone or cannot be read; she dances her own\n",
                 kGirlKeyDance, id.c_str());
    return;
  }
  girl_dance_id = info.id;
  girl_dance_file = info.file;
}

bool AppDanceChoose(const std::string& id) {
  DanceInfo info;
  if (!id.empty() && !FindDance(DancesRoot(), id, &info)) return false;
  Use(info.id, info.file);
  Store(info.id);
  return true;
}

bool AppDanceRemove(const std::string& id, std::string* message) {
  if (!RemoveDance(DancesRoot(), id, message)) return false;
  if (app_characters_changed) app_characters_changed();
  if (id == girl_dance_id) AppDanceChoose("");
  std::string stored;
  if (UserDefaultsStringForKey(kGirlKeyDance, &stored) && stored == id) Store("");
  return true;
}

void AppDanceAddAtStart(const char* program, const std::string& path) {
  const DanceImport r = ImportDanceFile(path, DancesRoot());
  if (!r.ok) {
    std::fprintf(stderr, "%s: %s: %s\n", program, path.c_str(), r.message.c_str());
    return;
  }
  std::fprintf(stderr, "%s: %s is dance %s\n", program, path.c_str(), r.info.id.c_str());
  girl_dance_id = r.info.id;
  girl_dance_file = r.info.file;
  UserDefaultsSetString(kGirlKeyDance, r.info.id);
}

bool AppDanceImportFile(const char* program, const std::string& path) {
  return Imported(program, path, ImportDanceFile(path, DancesRoot()));
}

bool AppDanceImportBytes(const char* program, const uint8_t* data, size_t size, const std::string& name) {
  return Imported(program, name, ImportDance(data, size, name, DancesRoot()));
}
