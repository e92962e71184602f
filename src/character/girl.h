// The character's global state: the loaded scenes, the user's choices, the
// reload and dance flags, and the option tables that map choices to files.
//
// Written by the settings (load and screen), the dance and cull buttons and
// the scene loading; read by the frame update, the voice scheduler and the
// animation chaining. Globals of their own modules (camera, gestures,
// physics, animation players, voices) are declared in those modules' headers.
#pragma once

#include <string>

class CPODScene;
struct UITextField;

extern CPODScene* girl_model;  // the character scene, owned
extern CPODScene* bg;          // the backdrop scene, owned

extern int n_clothes;     // outfit 0..3 (initially 1)
extern int n_background;  // backdrop 0..3, always equal to n_clothes
extern int n_hair;        // hair colour 0..3
extern int n_skin;        // skin tone 0..3
extern int n_sound_set;   // voice language 0..1
// The imported character shown instead of her (vrm/characters.h): its
// folder, "" for her. Outfit, hair and skin apply to her only.
extern std::string girl_character_folder;

extern UITextField* girlname;  // where the name is shown and edited

extern bool girl_reload_scene;  // scenes and voices reload before the next draw
extern bool girl_reload_sound;  // set and cleared with girl_reload_scene
extern int continue_dancing;    // read by the dance clip's chaining
extern int refcount;            // GirlInit +1, CShell::QuitApplication -1
extern int debug_no_culling;    // back faces drawn while non-zero (initially 1)

// A (mask, picture) pair of the texture composite; an empty mask means the
// picture is the base layer.
struct GirlLayer {
  const char* mask;
  const char* picture;
};

const int kGirlOptionCount = 4;
// Her voices (n_sound_set): English, Russian.
const int kGirlVoiceCount = 2;
extern const char* const girl_model_name[kGirlOptionCount];  // "girl_beach", ...
// Her model in her start-up outfit: an imported character takes her clips
// and her height from it (app/app_character.h), as her VRM exports are
// made of it (tools/girlgen).
extern const char* const girl_start_model;
extern const char* const bg_name[kGirlOptionCount];          // "bg_pool", ...
extern const GirlLayer clothes[kGirlOptionCount];
extern const GirlLayer hair[kGirlOptionCount];
extern const GirlLayer body[kGirlOptionCount];
// Labels shown by the settings screen.
extern const char* const clothes_label[kGirlOptionCount];  // "Pool", "Casual", ...
extern const char* const hair_label[kGirlOptionCount];     // "Blonde", ...
extern const char* const body_label[kGirlOptionCount];     // "Caucasian", ...

// A stored choice brought into 0..count-1. A damaged store may hold a
// negative value; it is brought into range like any other, never used as an
// index as it stands.
int GirlChoiceIndex(int value, int count);
