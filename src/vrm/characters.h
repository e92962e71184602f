// The imported characters: one folder each under the characters folder
// ($XDG_DATA_HOME/ovanta/characters, else ~/.local/share/ovanta/characters),
// named by its ID (the first 16 hex digits of its file's SHA-256, so the
// same file twice is one character), holding her model (model.POD), its
// pictures (PNG, or the file's own PNG or JPEG where it is kept as it was),
// thumbnail.png when the file has one, and character.json.
//
// An import reads the file whole, never changes it, converts it
// (vrm/vrm_convert) into a fresh hidden folder beside the others and renames
// that into place, so a folder is there complete or not at all; a file
// refused leaves nothing behind. The command lines (app/), and the settings
// screen and the web page's picker to come, call these.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CPODScene;

namespace vrm {

// What the folder's character.json says of it.
struct CharacterInfo {
  std::string id;
  std::string folder;                            // its path
  std::string title, version, authors, license;  // the file's meta
  std::string vrm;                               // "1.0" or "0.x"
  std::string thumbnail;                         // the picture's path, "" when there is none
  std::vector<std::string> approximated;         // what is drawn approximately
};

struct ImportResult {
  bool ok = false;
  bool fresh = false;   // made now (false: the character was there already)
  std::string message;  // refused: the reason, one line without the file's name
  CharacterInfo info;   // ok: the character
};

// The characters folder; "" when neither XDG_DATA_HOME nor HOME is set.
std::string CharactersRoot();

// Imports `size` bytes of a file called `name` into `root` (made when
// missing). `clips` is her scene (vrm/vrm_convert.h).
ImportResult ImportCharacter(const uint8_t* data, size_t size, const std::string& root, CPODScene& clips);
// The same for a file; a file over the size limit is refused unread.
ImportResult ImportCharacterFile(const std::string& path, const std::string& root, CPODScene& clips);

// The character of `id` in `root`; false when there is none (or its folder
// is not whole).
bool FindCharacter(const std::string& root, const std::string& id, CharacterInfo* out);
// Every character in `root`, by title.
std::vector<CharacterInfo> ListCharacters(const std::string& root);
// Removes the character of `id`: its files, then its folder. A folder
// holding files the import did not make is left as it is; false with
// `message` then, and when there is no such character.
bool RemoveCharacter(const std::string& root, const std::string& id, std::string* message);

// The ID of a file's bytes.
std::string CharacterId(const uint8_t* data, size_t size);

// Folder work the dances' store shares (dance/dances.h). MakeFolders makes
// `path` and its parents (true when it is a folder after); WriteFileBytes
// writes a whole file; RemoveImportedFolder removes a folder an import made
// when `ours` says every entry in it is a file the import writes: those
// files, then the folder. Anything else in it (or a link in its place)
// leaves it as it is, and false.
// AppDataFolder is $XDG_DATA_HOME/ovanta/LEAF (else
// ~/.local/share/ovanta/LEAF), "" when neither is set; ImportFolderNamed
// says whether `id` may name a folder in `root` (no path, not hidden);
// ImportFolders lists `root`'s entries that are not hidden.
std::string AppDataFolder(const std::string& leaf);
bool ImportFolderNamed(const std::string& root, const std::string& id);
std::vector<std::string> ImportFolders(const std::string& root);
bool MakeFolders(const std::string& path);
// A fresh hidden folder in `root` (made when missing) for an import to
// write into before it is renamed into place; "" with `message` on failure.
std::string MakeImportTemp(const std::string& root, std::string* message);
bool WriteFileBytes(const std::string& path, const void* data, size_t size);
bool RemoveImportedFolder(const std::string& folder, bool (*ours)(const std::string& name));

// The characters' and the dances' lists: every import in `root` that
// find(root, id, &info) reads whole, by title, then by ID.
template <class Info, class Find>
std::vector<Info> ListImports(const std::string& root, Find find) {
  std::vector<Info> list;
  for (const std::string& id : ImportFolders(root)) {
    Info info;
    if (find(root, id, &info)) list.push_back(info);
  }
  std::sort(list.begin(), list.end(),
            [](const Info& a, const Info& b) { return a.title != b.title ? a.title < b.title : a.id < b.id; });
  return list;
}

// Removes the import of `id` (a `what`) that `find` finds, as
// RemoveImportedFolder does; false with `message` when nothing was removed.
template <class Info, class Find>
bool RemoveImport(const std::string& root, const std::string& id, const char* what, Find find,
                  bool (*ours)(const std::string& name), std::string* message) {
  Info info;
  if (!find(root, id, &info)) {
    *message = std::string("no ") + what + " " + id;
    return false;
  }
  if (!RemoveImportedFolder(info.folder, ours)) {
    *message = info.folder + " holds files the import did not make; it was left as it is";
    return false;
  }
  return true;
}

}  // namespace vrm
