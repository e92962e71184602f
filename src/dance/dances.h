// The dances the user added: one folder each under the dances folder
// ($XDG_DATA_HOME/ovanta/dances, else ~/.local/share/ovanta/dances, beside
// the characters), named by its ID (as a character's: the first 16 hex
// digits of its file's SHA-256), holding the file as it came (dance.vrma)
// and dance.json (its ID, title and length).
//
// An import reads the file whole, checks it (vrm/vrma_file.h), writes a
// fresh hidden folder beside the others and renames it into place, as the
// character import does (vrm/characters.h); a file refused leaves nothing
// behind. The command lines, the window's drop, the page's picker and the
// settings' Dance list (app/app_dance) call these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DanceInfo {
  std::string id;
  std::string folder;  // its path
  std::string file;    // the dance's file in it
  std::string title;   // the name of the file it came from, without ".vrma"
  double seconds = 0;
};

struct DanceImport {
  bool ok = false;
  bool fresh = false;   // made now (false: it was there already)
  std::string message;  // refused: the reason, one line without the file's name
  DanceInfo info;
};

// The dances folder; "" when neither XDG_DATA_HOME nor HOME is set.
std::string DancesRoot();

// Imports `size` bytes of a file called `name` (its title) into `root`
// (made when missing).
DanceImport ImportDance(const uint8_t* data, size_t size, const std::string& name, const std::string& root);
// The same for a file; one over the size limit is refused unread.
DanceImport ImportDanceFile(const std::string& path, const std::string& root);

// The dance of `id` in `root`; false when there is none (or its folder is not whole).
bool FindDance(const std::string& root, const std::string& id, DanceInfo* out);
// Every dance in `root`, by title.
std::vector<DanceInfo> ListDances(const std::string& root);
// Removes the dance of `id`; false with `message` when nothing was removed.
bool RemoveDance(const std::string& root, const std::string& id, std::string* message);
