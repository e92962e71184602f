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

UITextField* girlname = nullptr;

bool girl_reload_scene = false;
bool girl_reload_sound = false;
int continue_dancing = 0;
int refcount = 0;
int debug_no_culling = 1;

const char* const girl_model_name[kGirlOptionCount] = {"girl_beach", "girl_casual", "girl_school",
                                                       "girl_business"};
const char* const girl_start_model = girl_model_name[kStartOutfit];
const char* const bg_name[kGirlOptionCount] = {"bg_pool", "bg_casual", "bg_school", "bg_business"};
const GirlLayer clothes[kGirlOptionCount] = {
    {"girl_beach_mask.png", "girl_beach_clothes.jpg"},
    {"girl_casual_mask.png", "girl_casual_clothes.jpg"},
    {"girl_school_mask.png", "girl_school_clothes.jpg"},
    {"girl_business_mask.png", "girl_business_clothes.jpg"},
};
const GirlLayer hair[kGirlOptionCount] = {
    {"girl_hair_mask.png", "girl_blonde_hair.jpg"},
    {"girl_hair_mask.png", "girl_brown_hair.jpg"},
    {"girl_hair_mask.png", "girl_black_hair.jpg"},
    {"girl_hair_mask.png", "girl_red_hair.jpg"},
};
const GirlLayer body[kGirlOptionCount] = {
    {"", "girl_white.jpg"},
    {"", "girl_yellow.jpg"},
    {"", "girl_lightbrown.jpg"},
    {"", "girl_brown.jpg"},
};
const char* const clothes_label[kGirlOptionCount] = {"Pool", "Casual", "School", "Business"};
const char* const hair_label[kGirlOptionCount] = {"Blonde", "Brown", "Black", "Red"};
const char* const body_label[kGirlOptionCount] = {"Caucasian", "Asian", "Latin", "African"};

int GirlChoiceIndex(int value, int count) {
  const int r = value % count;
  return r < 0 ? r + count : r;
}
