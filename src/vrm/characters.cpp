#include "vrm/characters.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <nlohmann/json.hpp>

#include "files/files.h"
#include "picture/picture_file.h"
#include "vrm/vrm_convert.h"
#include "vrm/vrm_file.h"

namespace vrm {

namespace {

// ---- SHA-256 (FIPS 180-4), for the IDs --------------------------------------

uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void Sha256Block(uint32_t h[8], const uint8_t* p) {
  static const uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
      0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
      0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
      0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
      0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
      0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
      0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
  uint32_t w[64];
  for (int i = 0; i < 16; ++i)
    w[i] = (uint32_t)p[4 * i] << 24 | (uint32_t)p[4 * i + 1] << 16 | (uint32_t)p[4 * i + 2] << 8 | p[4 * i + 3];
  for (int i = 16; i < 64; ++i) {
    const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
  for (int i = 0; i < 64; ++i) {
    const uint32_t t1 = hh + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
    const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    hh = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
  }
  h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
}

std::string Sha256Hex(const uint8_t* data, size_t size) {
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  size_t i = 0;
  for (; i + 64 <= size; i += 64) Sha256Block(h, data + i);
  uint8_t tail[128] = {};
  const size_t rest = size - i;
  if (rest) std::memcpy(tail, data + i, rest);
  tail[rest] = 0x80;
  const size_t blocks = rest + 9 > 64 ? 2 : 1;
  const uint64_t bits = (uint64_t)size * 8;
  for (int b = 0; b < 8; ++b) tail[blocks * 64 - 1 - b] = (uint8_t)(bits >> (8 * b));
  for (size_t b = 0; b < blocks; ++b) Sha256Block(h, tail + 64 * b);
  std::string hex;
  char buf[9];
  for (uint32_t v : h) {
    std::snprintf(buf, sizeof buf, "%08x", v);
    hex += buf;
  }
  return hex;
}

// ---- folders ----------------------------------------------------------------

const char kModel[] = "model.POD";
const char kInfo[] = "character.json";
const char kThumbnail[] = "thumbnail.png";

// A file name the import writes.
bool Ours(const std::string& name) {
  if (name == kModel || name == kInfo || name == kThumbnail) return true;
  if (name.rfind("picture", 0) != 0 || name.size() < 12) return false;
  const std::string ext = name.substr(name.size() - 4);
  if (ext != ".png" && ext != ".jpg") return false;
  for (size_t i = 7; i + 4 < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

bool WritePicture(const std::string& folder, const CharacterPicture& p) {
  if (!p.file.empty()) return WriteFileBytes(folder + "/" + p.name, p.file.data(), p.file.size());
  PngFormat format;
  format.compression = 1;  // an import writes pictures of megabytes; speed wins over a few per cent
  std::vector<uint8_t> png;
  return EncodePngBytes(p.width, p.height, p.rgba.data(), &png, format) &&
         WriteFileBytes(folder + "/" + p.name, png.data(), png.size());
}

// The character in `folder` (of `id`); false unless its model and a
// character.json of this format are there.
bool ReadInfo(const std::string& folder, const std::string& id, CharacterInfo* out) {
  std::string text;
  struct stat st;
  if (FileReadText((folder + "/" + kInfo).c_str(), 16u << 20, &text, &st) != kFileOk) return false;
  const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
  if (!j.is_object() || j.value("format", 0) != kCharacterFormat || j.value("id", std::string()) != id) return false;
  if (stat((folder + "/" + kModel).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  CharacterInfo info;
  info.id = id;
  info.folder = folder;
  const nlohmann::json meta = j.value("meta", nlohmann::json::object());
  auto text_of = [&](const char* key) {
    auto it = meta.find(key);
    return it != meta.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  info.title = text_of("title");
  info.version = text_of("version");
  info.authors = text_of("authors");
  info.license = text_of("license");
  info.vrm = j.value("vrm", std::string());
  if (stat((folder + "/" + kThumbnail).c_str(), &st) == 0 && S_ISREG(st.st_mode))
    info.thumbnail = folder + "/" + kThumbnail;
  const nlohmann::json approx = j.value("approximated", nlohmann::json::array());
  for (const nlohmann::json& a : approx)
    if (a.is_string()) info.approximated.push_back(a.get<std::string>());
  *out = info;
  return true;
}

}  // namespace

bool MakeFolders(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at < path.size() && path[at] != '/') continue;
    const std::string part = path.substr(0, at);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string MakeImportTemp(const std::string& root, std::string* message) {
  if (!MakeFolders(root)) {
    *message = "cannot make the folder " + root + " (" + std::strerror(errno) + ")";
    return "";
  }
  std::string temp = root + "/.import-XXXXXX";
  if (!mkdtemp(&temp[0])) {
    *message = "cannot make a folder in " + root + " (" + std::strerror(errno) + ")";
    return "";
  }
  return temp;
}

bool WriteFileBytes(const std::string& path, const void* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

bool RemoveImportedFolder(const std::string& folder, bool (*ours)(const std::string& name)) {
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  std::vector<std::string> names;
  bool foreign = false;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (ours(name))
      names.push_back(name);
    else
      foreign = true;
  }
  closedir(dir);
  if (foreign) return false;
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || unlink(path.c_str()) != 0) return false;
  }
  return rmdir(folder.c_str()) == 0;
}

std::string CharacterId(const uint8_t* data, size_t size) { return Sha256Hex(data, size).substr(0, 16); }

std::string AppDataFolder(const std::string& leaf) {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return std::string(data) + "/ovanta/" + leaf;
  const char* home = std::getenv("HOME");
  if (home && home[0]) return std::string(home) + "/.local/share/ovanta/" + leaf;
  return "";
}

bool ImportFolderNamed(const std::string& root, const std::string& id) {
  return !root.empty() && !id.empty() && id.find('/') == std::string::npos && id[0] != '.';
}

std::vector<std::string> ImportFolders(const std::string& root) {
  std::vector<std::string> names;
  DIR* dir = root.empty() ? nullptr : opendir(root.c_str());
  if (!dir) return names;
  while (dirent* e = readdir(dir))
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  closedir(dir);
  return names;
}

std::string CharactersRoot() { return AppDataFolder("characters"); }

bool FindCharacter(const std::string& root, const std::string& id, CharacterInfo* out) {
  return ImportFolderNamed(root, id) && ReadInfo(root + "/" + id, id, out);
}

std::vector<CharacterInfo> ListCharacters(const std::string& root) {
  return ListImports<CharacterInfo>(root, FindCharacter);
}

bool RemoveCharacter(const std::string& root, const std::string& id, std::string* message) {
  return RemoveImport<CharacterInfo>(root, id, "character", FindCharacter, Ours, message);
}

ImportResult ImportCharacter(const uint8_t* data, size_t size, const std::string& root, CPODScene& clips) {
  ImportResult r;
  const std::string id = CharacterId(data, size);
  if (root.empty()) {
    r.message = "there is no folder for characters (neither XDG_DATA_HOME nor HOME is set)";
    return r;
  }
  if (FindCharacter(root, id, &r.info)) {
    r.ok = true;
    return r;
  }
  Document doc;
  if (!ReadVrm(data, size, &doc, &r.message)) return r;
  Character c;
  if (!ConvertVrm(doc, clips, &c, &r.message)) return r;
  c.info["id"] = id;

  const std::string temp = MakeImportTemp(root, &r.message);
  if (temp.empty()) return r;
  bool ok = WriteFileBytes(temp + "/" + kModel, c.model.data(), c.model.size());
  for (const CharacterPicture& p : c.pictures) ok = ok && WritePicture(temp, p);
  if (!c.thumbnail.rgba.empty()) ok = ok && WritePicture(temp, c.thumbnail);
  const std::string json = c.info.dump(1);
  ok = ok && WriteFileBytes(temp + "/" + kInfo, json.data(), json.size());
  if (!ok) {
    r.message = "cannot write the character into " + root + " (" + std::strerror(errno) + ")";
    RemoveImportedFolder(temp, Ours);
    return r;
  }
  const std::string folder = root + "/" + id;
  struct stat st;
  if (lstat(folder.c_str(), &st) == 0) {
    // Another copy of the app imported the same file meanwhile; or a folder
    // of ours that is not whole (an older format, a crash) makes way.
    if (FindCharacter(root, id, &r.info)) {
      RemoveImportedFolder(temp, Ours);
      r.ok = true;
      return r;
    }
    if (!RemoveImportedFolder(folder, Ours)) {
      r.message = folder + " is in the way and not a character folder of Ovanta's";
      RemoveImportedFolder(temp, Ours);
      return r;
    }
  }
  if (rename(temp.c_str(), folder.c_str()) != 0) {
    // Another copy of the app imported the same file meanwhile.
    RemoveImportedFolder(temp, Ours);
    if (FindCharacter(root, id, &r.info)) {
      r.ok = true;
      return r;
    }
    r.message = "cannot move the character into " + folder + " (" + std::strerror(errno) + ")";
    return r;
  }
  r.ok = r.fresh = FindCharacter(root, id, &r.info);
  if (!r.ok) r.message = "the character written into " + folder + " cannot be read back";
  return r;
}

ImportResult ImportCharacterFile(const std::string& path, const std::string& root, CPODScene& clips) {
  char* data = nullptr;
  size_t size = 0;
  struct stat st;
  const FileStatus status = FileReadAll(path.c_str(), kMaxFileBytes, &data, &size, &st);
  if (status != kFileOk) {
    ImportResult r;
    r.message = status == kFileTooLarge ? "larger than " + std::to_string(kMaxFileBytes >> 20) + " MB"
                                        : FileStatusText(status, st, errno);
    return r;
  }
  ImportResult r = ImportCharacter(reinterpret_cast<const uint8_t*>(data), size, root, clips);
  std::free(data);
  return r;
}

}  // namespace vrm
