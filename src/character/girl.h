// The character's global state: the loaded scenes, the user's choices and
// the reload and dance flags; the option tables that map choices to files
// are catalog/catalog.h.
//
// Written by the settings (load and screen), the dance and cull buttons and
// the scene loading; read by the frame update, the voice scheduler and the
// animation chaining. Globals of their own modules (camera, gestures,
// physics, animation players, voices) are declared in those modules' headers.
#pragma once

#include <string>

#include "catalog/catalog.h"

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
// The dance the dance button plays: a VRM animation's file (dance/dance.h)
// and its ID; both "" for hers. Laid on the character at every load.
extern std::string girl_dance_file;
extern std::string girl_dance_id;
// The added dance she idles with instead of her idle, the same way.
extern std::string girl_idle_file;
extern std::string girl_idle_id;

extern UITextField* girlname;  // where the name is shown and edited

extern bool girl_reload_scene;  // scenes and voices reload before the next draw
extern bool girl_reload_sound;  // set and cleared with girl_reload_scene
extern int continue_dancing;    // read by the dance clip's chaining
extern int refcount;            // GirlInit +1, CShell::QuitApplication -1
extern int debug_no_culling;    // back faces drawn while non-zero (initially 1)

// Her options and the files they name: catalog/catalog.h.
const int kGirlOptionCount = kCatalogOptions;
// Her voices (n_sound_set): English, Russian.
const int kGirlVoiceCount = kCatalogVoices;
// Her model in her start-up outfit: an imported character takes her clips
// and her height from it (app/app_character.h), as her VRM exports are
// made of it (tools/girlgen).
extern const char* const girl_start_model;

// A stored choice brought into 0..count-1. A damaged store may hold a
// negative value; it is brought into range like any other, never used as an
// index as it stands.
int GirlChoiceIndex(int value, int count);
