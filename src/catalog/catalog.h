// Her options and the names they go by: the outfits (each with its backdrop
// and what she says about it), hair colours, skin tones and voice
// languages, with the bundle files each names and the labels the settings
// screen shows (in English; app/ui_text.cpp gives them in Russian).
//
// The one table for the app (character/girl.h, app/ConfigViewController.cpp),
// the generators that make the files (tools/girlgen, tools/worldgen,
// tools/voicegen), the previews and the tests. Header only, so the
// generators need no app library.
#pragma once

constexpr int kCatalogOptions = 4;  // outfits, hair colours and skin tones, each
constexpr int kCatalogVoices = 2;   // voice languages

// A picture laid over her skin where its mask is white; the skin itself is
// the base layer and has no mask ("").
struct CatalogLayer {
  const char* mask;
  const char* picture;
};

// Outfits (n_clothes): her model (NAME.POD), the backdrop she stands in with
// it (NAME.POD), the clothes over her skin and the settings screen's label.
inline constexpr const char* kOutfitModels[kCatalogOptions] = {"girl_beach", "girl_casual", "girl_school",
                                                               "girl_business"};
inline constexpr const char* kOutfitBackdrops[kCatalogOptions] = {"bg_pool", "bg_casual", "bg_school", "bg_business"};
inline constexpr CatalogLayer kOutfitClothes[kCatalogOptions] = {
    {"girl_beach_mask.png", "girl_beach_clothes.jpg"},
    {"girl_casual_mask.png", "girl_casual_clothes.jpg"},
    {"girl_school_mask.png", "girl_school_clothes.jpg"},
    {"girl_business_mask.png", "girl_business_clothes.jpg"},
};
inline constexpr const char* kOutfitLabels[kCatalogOptions] = {"Pool", "Casual", "School", "Business"};

// Hair colours (n_hair), all through one mask.
inline constexpr CatalogLayer kHairColours[kCatalogOptions] = {
    {"girl_hair_mask.png", "girl_blonde_hair.jpg"},
    {"girl_hair_mask.png", "girl_brown_hair.jpg"},
    {"girl_hair_mask.png", "girl_black_hair.jpg"},
    {"girl_hair_mask.png", "girl_red_hair.jpg"},
};
inline constexpr const char* kHairLabels[kCatalogOptions] = {"Blonde", "Brown", "Black", "Red"};

// Skin tones (n_skin): the base picture of her texture.
inline constexpr CatalogLayer kSkinTones[kCatalogOptions] = {
    {"", "girl_white.jpg"},
    {"", "girl_yellow.jpg"},
    {"", "girl_lightbrown.jpg"},
    {"", "girl_brown.jpg"},
};
inline constexpr const char* kSkinLabels[kCatalogOptions] = {"Caucasian", "Asian", "Latin", "African"};

// Voice languages (n_sound_set): the language of the captions table
// (tools/voicegen/captions.txt), the label, and her lines, each the name of
// a voice file in the bundle (NAME.wav, with its mouth timing NAME.lips).
struct CatalogVoice {
  const char* lang;
  const char* label;
  const char* idle;                     // now and then, unasked
  const char* greeting;                 // a moment after every start but the first
  const char* first_meeting;            // ... the first (no settings saved yet)
  const char* touch;                    // tapped
  const char* shake;                    // shaken
  const char* setup;                    // her looks changed
  const char* outfit[kCatalogOptions];  // about the outfit she has on
};
inline constexpr CatalogVoice kVoices[kCatalogVoices] = {
    {"en", "English", "idle", "login", "hello", "touch", "shake", "setup", {"beach", "casual", "school", "business"}},
    {"ru",
     "Russian",
     "r_idle",
     "r_login",
     "r_hello",
     "r_touch",
     "r_shake",
     "r_setup",
     {"r_beach", "r_casual", "r_school", "r_business"}},
};

// Line i (0 .. kCatalogVoiceLines - 1) of a voice language, in the order above.
constexpr int kCatalogVoiceLines = 6 + kCatalogOptions;
constexpr const char* CatalogVoiceLine(const CatalogVoice& v, int i) {
  const char* const fixed[6] = {v.idle, v.greeting, v.first_meeting, v.touch, v.shake, v.setup};
  return i < 6 ? fixed[i] : v.outfit[i - 6];
}
