#include "character/girl.h"

CPODScene* girl_model = nullptr;
CPODScene* bg = nullptr;

int n_clothes = 1;
int n_background = 1;
int n_hair = 0;
int n_skin = 0;
int n_sound_set = 0;

UITextField* girlname = nullptr;

bool girl_reload_scene = false;
bool girl_reload_sound = false;
int continue_dancing = 0;
int refcount = 0;
int debug_no_culling = 1;

int GirlChoiceIndex(int value, int count) {
  const int r = value % count;
  return r < 0 ? r + count : r;
}
