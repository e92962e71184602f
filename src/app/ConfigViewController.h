// The settings screen: outfit (and with it the backdrop), hair colour, skin
// tone, voice language and the name. It edits working copies (`parm_val`)
// and commits them on the way back to the main screen: a reload when a choice
// changed, the setup line and, for a new outfit, the outfit remark, and a save.
//
// The main screen pushes a new ConfigViewController each time its settings
// button is pressed; the editor itself is the free function SetEditParm over
// the global tables below, so any toolkit can drive it.
#pragma once

#include <cstdint>

#include "uikit/uikit.h"

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
extern UIButton* opButton[6];      // option buttons
extern UIButton* opNameButton[6];  // category buttons by Parameter (0 and 1 null)
// The panel behind the edited category's options and the strip joining it
// to the category (null where none).
extern UIPanel* opPanel;
extern UIPanel* opBridge;

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

  void onSetting() { SetEditParm(PARM_SETTING); }
  void onHairColor() { SetEditParm(PARM_HAIR); }
  void onEthnicity() { SetEditParm(PARM_ETHNICITY); }
  void onLanguage() { SetEditParm(PARM_LANGUAGE); }
  void onNameEntry();
  void onButton(int k);  // onButton0 .. onButton5
  void backToMainView();
  // The face layer's settings: each press moves to the next choice, which
  // applies and is saved at once (no reload, no line).
  void onVolume();    // off, low, medium, high, off, ...
  void onCaptions();  // on, off, on, ...
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
  UIButton* opSetting = nullptr;
  UIButton* opHair = nullptr;
  UIButton* opEthnicity = nullptr;
  UIButton* opLanguage = nullptr;
  UIButton* volumeButton = nullptr;
  UIButton* captionsSwitch = nullptr;
  UIPanel* optionsPanel = nullptr;
  UIPanel* optionsBridge = nullptr;

 private:
  void ShowFaceSettings();
};
