#include "dance/dances.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <nlohmann/json.hpp>

#include "dance/dance.h"
#include "files/files.h"
#include "vrm/characters.h"
#include "vrm/vrma_file.h"

namespace {

const char kFile[] = "dance.vrma";
const char kInfo[] = "dance.json";
constexpr int kDanceFormat = 1;

bool Ours(const std::string& name) { return name == kFile || name == kInfo; }

std::string Title(const std::string& name) {
  std::string t = name.substr(name.find_last_of('/') == std::string::npos ? 0 : name.find_last_of('/') + 1);
  const size_t dot = t.rfind('.');
  if (dot != std::string::npos && dot > 0) t.erase(dot);
  return t;
}

bool ReadInfo(const std::string& folder, const std::string& id, DanceInfo* out) {
  std::string text;
  struct stat st;
  if (FileReadText((folder + "/" + kInfo).c_str(), 1u << 20, &text, &st) != kFileOk) return false;
  const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
  if (!j.is_object() || j.value("format", 0) != kDanceFormat || j.value("id", std::string()) != id) return false;
  const std::string file = folder + "/" + kFile;
  if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  DanceInfo info;
  info.id = id;
  info.folder = folder;
  info.file = file;
  const nlohmann::json title = j.value("title", nlohmann::json());
  info.title = title.is_string() ? title.get<std::string>() : id;
  const nlohmann::json seconds = j.value("seconds", nlohmann::json());
  info.seconds = seconds.is_number() ? seconds.get<double>() : 0;
  *out = info;
  return true;
}

}  // namespace

std::string DancesRoot() { return vrm::AppDataFolder("dances"); }

bool FindDance(const std::string& root, const std::string& id, DanceInfo* out) {
  return vrm::ImportFolderNamed(root, id) && ReadInfo(root + "/" + id, id, out);
}

std::vector<DanceInfo> ListDances(const std::string& root) { return vrm::ListImports<DanceInfo>(root, FindDance); }

bool RemoveDance(const std::string& root, const std::string& id, std::string* message) {
  return vrm::RemoveImport<DanceInfo>(root, id, "dance", FindDance, Ours, message);
}

DanceImport ImportDance(const uint8_t* data, size_t size, const std::string& name, const std::string& root) {
  DanceImport r;
  if (root.empty()) {
    r.message = "there is no folder for dances (neither XDG_DATA_HOME nor HOME is set)";
    return r;
  }
  vrm::Animation dance;
  if (!vrm::ReadVrma(data, size, &dance, &r.message)) return r;
  const std::string id = vrm::CharacterId(data, size);
  if (FindDance(root, id, &r.info)) {
    r.ok = true;
    return r;
  }
  const std::string temp = vrm::MakeImportTemp(root, &r.message);
  if (temp.empty()) return r;
  const nlohmann::json info = {
      {"format", kDanceFormat}, {"id", id}, {"title", Title(name)}, {"seconds", dance.duration}};
  const std::string json = info.dump(1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (!vrm::WriteFileBytes(temp + "/" + kFile, data, size) ||
      !vrm::WriteFileBytes(temp + "/" + kInfo, json.data(), json.size())) {
    r.message = "cannot write the dance into " + root + " (" + std::strerror(errno) + ")";
    vrm::RemoveImportedFolder(temp, Ours);
    return r;
  }
  const std::string folder = root + "/" + id;
  struct stat st;
  if (lstat(folder.c_str(), &st) == 0 && !vrm::RemoveImportedFolder(folder, Ours)) {
    // Another copy of the app imported it meanwhile, or something else is there.
    vrm::RemoveImportedFolder(temp, Ours);
    r.ok = FindDance(root, id, &r.info);
    if (!r.ok) r.message = folder + " is in the way and not a dance folder of Ovanta's";
    return r;
  }
  if (rename(temp.c_str(), folder.c_str()) != 0) {
    vrm::RemoveImportedFolder(temp, Ours);
    r.ok = FindDance(root, id, &r.info);
    if (!r.ok) r.message = "cannot move the dance into " + folder + " (" + std::strerror(errno) + ")";
    return r;
  }
  r.ok = r.fresh = FindDance(root, id, &r.info);
  if (!r.ok) r.message = "the dance written into " + folder + " cannot be read back";
  return r;
}

DanceImport ImportDanceFile(const std::string& path, const std::string& root) {
  std::vector<uint8_t> bytes;
  DanceImport r;
  if (!DanceReadBytes(path, &bytes, &r.message)) return r;
  return ImportDance(bytes.data(), bytes.size(), path, root);
}
