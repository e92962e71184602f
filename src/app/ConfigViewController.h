// The settings screen: the character (its list is a screen of its own,
// app/CharacterViewController.h), the dance (app/app_dance.h), outfit (and with it the backdrop), hair
// colour, skin tone, voice language and the name. It edits working copies
// (`parm_val`, `character_choice`) and commits them on the way back to the
// main screen: a reload when a choice changed, the setup line and, for a new
// outfit, the outfit remark, and a save. Outfit, hair and skin are hers: they
// are shown disabled while another character is chosen.
//
// The main screen pushes a new ConfigViewController each time its settings
// button is pressed; the editor itself is the free function SetEditParm over
// the global tables below, so any toolkit can drive it.
#pragma once

#include <cstdint>
#include <string>

#include "uikit/uikit.h"

// The colours of the settings screens, reading on white at 4.5:1 or better.
// The category being edited is tinted and the chosen option filled and
// checked, so neither is told by colour alone.
inline const UIColor kSettingsBackground = {0.93f, 0.94f, 0.97f, 1.0f};
inline const UIColor kSettingsCaptionInk = {0.15f, 0.17f, 0.25f, 1};
inline const UIColor kSettingsAccent = {0.12f, 0.32f, 0.72f, 1};
inline const UIColor kSettingsTint = {0.86f, 0.90f, 0.98f, 1};
inline const UIColor kSettingsInk = {0.35f, 0.35f, 0.35f, 1};

enum Parameter : int32_t {
  PARM_NAME = 0,
  PARM_SETTING = 2,
  PARM_HAIR = 3,
  PARM_ETHNICITY = 4,
  PARM_LANGUAGE = 5,
};
const int kParameterCount = 6;

extern int32_t parm_val[kParameterCount];  // working copy of each choice
extern Parameter n_edit_parm;              // the parameter being edited
extern std::string character_choice;       // working copy: the ID chosen, "" for her
extern std::string dance_choice;           // working copy: the dance's ID, "" for hers
extern std::string idle_choice;            // working copy: the idle's (an added dance's) ID, "" for hers
extern UIButton* opButton[6];              // option buttons
extern UIButton* opNameButton[6];          // category buttons by Parameter (0 and 1 null)
// The panel behind the edited category's options and the strip joining it
// to the category (null where none).
extern UIPanel* opPanel;
extern UIPanel* opBridge;

// The settings screens' pieces: the screen's title at its top; a key's
// title in every state.
UILabel* AddSettingsTitle(UIViewController* screen, const char* english);
void SetTitleAllStates(UIButton* b, const std::string& title);

// A character or dance was imported while the settings may be open: the
// working copies follow the ones chosen, and a settings screen on top shows them.
void SettingsFollowCharacter();
// Makes p the edited parameter, retitles every category and option button
// (in the interface's language, app/ui_text.h) and places the options
// beside the edited category.
void SetEditParm(Parameter p);
// The label of option k of parameter p (2..5) in English (catalog/catalog.h);
// null outside the table.
const char* OptionName(int p, int k);

class ConfigViewController : public UIViewController {
 public:
  ~ConfigViewController() override;
  void loadView() override;  // the "ConfigViewController" interface
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;  // back from the Character list

  void onSetting() { SetEditParm(PARM_SETTING); }
  void onHairColor() { SetEditParm(PARM_HAIR); }
  void onEthnicity() { SetEditParm(PARM_ETHNICITY); }
  void onLanguage() { SetEditParm(PARM_LANGUAGE); }
  void onCharacter();  // the Character list
  void onDance();      // her dance, then each one added, round again
  void onIdle();       // her idle, then each dance added, round again
  void onNameEntry();
  void onButton(int k);  // onButton0 .. onButton5
  void backToMainView();
  // The face layer's settings: each press moves to the next choice, which
  // applies and is saved at once (no reload, no line).
  void onVolume();    // off, low, medium, high, off, ...
  void onCaptions();  // on, off, on, ...
  // Desktop mode on or off (app/mascot_app.h); she goes to the desktop
  // when the settings screen closes.
  void onDesktopMode();
  // Esc: leaves as Done does.
  bool accessibilityPerformEscape() override {
    backToMainView();
    return true;
  }

  UITextField* tvName = nullptr;
  UIButton* opButton0 = nullptr;
  UIButton* opButton1 = nullptr;
  UIButton* opButton2 = nullptr;
  UIButton* opButton3 = nullptr;
  UIButton* opButton4 = nullptr;
  UIButton* opButton5 = nullptr;
  UIButton* opCharacter = nullptr;
  UIButton* opDance = nullptr;
  UIButton* opIdle = nullptr;
  UIButton* opSetting = nullptr;
  UIButton* opHair = nullptr;
  UIButton* opEthnicity = nullptr;
  UIButton* opLanguage = nullptr;
  UIButton* volumeButton = nullptr;
  UIButton* captionsSwitch = nullptr;
  UIButton* desktopSwitch = nullptr;
  UIPanel* optionsPanel = nullptr;
  UIPanel* optionsBridge = nullptr;

 private:
  void ShowFaceSettings();
  void ShowCharacter();
  void ShowDance();  // the Dance and Idle keys' titles
};
