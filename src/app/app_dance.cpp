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

// Where a use's choice is kept and stored, and how its lines speak of it.
struct Slot {
  std::string* id;
  std::string* file;
  const char* key;
  const char* hers;  // what she does without one
};

Slot SlotOf(DanceUse use) {
  if (use == DanceUse::kIdle) return {&girl_idle_id, &girl_idle_file, kGirlKeyIdle, "she idles her own way"};
  return {&girl_dance_id, &girl_dance_file, kGirlKeyDance, "she dances her own"};
}

// Laid on her at the next tick's reload, as a new look is.
void Use(const std::string& id, const std::string& file, DanceUse use = DanceUse::kDance) {
  const Slot s = SlotOf(use);
  if (id == *s.id && file == *s.file) return;
  *s.id = id;
  *s.file = file;
  girl_reload_scene = true;
}

void Store(const std::string& id, DanceUse use = DanceUse::kDance) {
  UserDefaultsSetString(SlotOf(use).key, id);
  UserDefaultsSynchronize();
}

void LoadStored(DanceUse use) {
  const Slot s = SlotOf(use);
  if (!s.file->empty()) return;
  std::string id;
  if (!UserDefaultsStringForKey(s.key, &id)) {
    if (UserDefaultsHasKey(s.key)) std::fprintf(stderr, "Settings: %s is not text; %s\n", s.key, s.hers);
    return;
  }
  if (id.empty()) return;
  DanceInfo info;
  if (!FindDance(DancesRoot(), id, &info)) {
    std::fprintf(stderr, "Settings: %s is %s, a dance whose folder is gone or cannot be read; %s\n", s.key, id.c_str(),
                 s.hers);
    return;
  }
  *s.id = info.id;
  *s.file = info.file;
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

int AppUseDance(const char* program, const std::string& fileOrId, DanceUse use) {
  const Slot s = SlotOf(use);
  struct stat st;
  if (stat(fileOrId.c_str(), &st) != 0) {
    DanceInfo info;
    if (FindDance(DancesRoot(), fileOrId, &info)) {
      *s.id = info.id;
      *s.file = info.file;
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
  *s.id = vrm::CharacterId(bytes.data(), bytes.size());
  *s.file = fileOrId;
  return 0;
}

std::string AppDanceChosen(DanceUse use) { return *SlotOf(use).id; }

std::vector<DanceInfo> AppDanceList() { return ListDances(DancesRoot()); }

void AppDanceLoadStored() {
  LoadStored(DanceUse::kDance);
  LoadStored(DanceUse::kIdle);
}

bool AppDanceChoose(const std::string& id, DanceUse use) {
  DanceInfo info;
  if (!id.empty() && !FindDance(DancesRoot(), id, &info)) return false;
  Use(info.id, info.file, use);
  Store(info.id, use);
  return true;
}

bool AppDanceRemove(const std::string& id, std::string* message) {
  if (!RemoveDance(DancesRoot(), id, message)) return false;
  if (app_characters_changed) app_characters_changed();
  for (DanceUse use : {DanceUse::kDance, DanceUse::kIdle}) {
    const Slot s = SlotOf(use);
    if (id == *s.id) AppDanceChoose("", use);
    std::string stored;
    if (UserDefaultsStringForKey(s.key, &stored) && stored == id) Store("", use);
  }
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
