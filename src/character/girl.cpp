#include "character/girl.h"

CPODScene* girl_model = nullptr;
CPODScene* bg = nullptr;

namespace {
const int kStartOutfit = 1;  // casual
}  // namespace

int n_clothes = kStartOutfit;
int n_background = kStartOutfit;
int n_hair = 0;
int n_skin = 0;
int n_sound_set = 0;
std::string girl_character_folder;
std::string girl_dance_file;
std::string girl_dance_id;
std::string girl_idle_file;
std::string girl_idle_id;

UITextField* girlname = nullptr;

bool girl_reload_scene = false;
bool girl_reload_sound = false;
int continue_dancing = 0;
int refcount = 0;
int debug_no_culling = 1;

const char* const girl_start_model = kOutfitModels[kStartOutfit];

int GirlChoiceIndex(int value, int count) {
  const int r = value % count;
  return r < 0 ? r + count : r;
}
