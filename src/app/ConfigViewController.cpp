#include "app/ConfigViewController.h"

#include <algorithm>
#include <cstdlib>

#include "app/CharacterViewController.h"
#include "app/RootViewController.h"
#include "app/app_character.h"
#include "app/app_dance.h"
#include "app/app_loop.h"
#include "app/mascot_app.h"
#include "app/ui_text.h"
#include "catalog/catalog.h"
#include "character/girl.h"
#include "character/girl_settings.h"
#include "character/girl_sound.h"
#include "face/face.h"

int32_t parm_val[kParameterCount] = {0, 0, 0, 0, 0, 0};
Parameter n_edit_parm = PARM_NAME;
std::string character_choice;
std::string dance_choice;
std::string idle_choice;
UIButton* opButton[6] = {};
UIButton* opNameButton[6] = {};
UIPanel* opPanel = nullptr;
UIPanel* opBridge = nullptr;

const char* OptionName(int p, int k) {
  if (p < PARM_SETTING || p > PARM_LANGUAGE || k < 0) return nullptr;
  if (p == PARM_LANGUAGE) return k < kCatalogVoices ? kVoices[k].label : nullptr;
  const char* const* labels[] = {kOutfitLabels, kHairLabels, kSkinLabels};
  return k < kCatalogOptions ? labels[p - PARM_SETTING][k] : nullptr;
}

void SetTitleAllStates(UIButton* b, const std::string& t) {
  if (!b) return;
  b->setTitle(t, UIControlStateNormal);
  b->setTitle(t, UIControlStateSelected);
  b->setTitle(t, UIControlStateHighlighted);
}

UILabel* AddSettingsTitle(UIViewController* screen, const char* english) {
  auto* title = screen->add(new UILabel());
  title->frame = {0, 8, 320, 28};
  title->text = UiText(english);
  title->bold = true;
  title->size = 1.3f;
  title->centered = true;
  title->color = kSettingsCaptionInk;
  return title;
}

namespace {

const UIColor kAccent = kSettingsAccent;
const UIColor kEditedTint = kSettingsTint;
const UIColor kOptionInk = kSettingsInk;
const UIColor kNoFill = {0, 0, 0, 0};
// The options' column and the step from one option key to the next; the
// rows of the screen: a caption, then its keys.
const float kOptionX = 170, kOptionStep = 40;
const float kRowStep = 52, kCaptionHeight = 18, kKeyHeight = 34;
const float kCharacterRow = 100, kFirstCategoryRow = kCharacterRow + kRowStep;
}  // namespace

void SetEditParm(Parameter p) {
  n_edit_parm = p;
  for (int r = PARM_SETTING; r <= PARM_LANGUAGE; ++r) {
    UIButton* b = opNameButton[r];
    if (!b) continue;
    const char* name = OptionName(r, parm_val[r]);
    SetTitleAllStates(b, name ? UiText(name) : "");
    b->setTitleColor(r == p ? kAccent : UIColor::darkGrayColor(), UIControlStateNormal);
    b->fillColor = r == p ? kEditedTint : kNoFill;
  }
  // The options go beside their category, as near its row as the column
  // between the first and the last category allows; a tinted panel joins
  // them to the (tinted) category.
  const UIButton* category = p >= PARM_SETTING && p <= PARM_LANGUAGE ? opNameButton[p] : nullptr;
  const UIButton* first = opNameButton[PARM_SETTING];
  const UIButton* last = opNameButton[PARM_LANGUAGE];
  int count = 0;
  while (count < 4 && OptionName(p, count)) ++count;
  float top = 0;
  if (category && first && last) {
    const float span = count * kOptionStep - (kOptionStep - category->frame.height);
    top = std::max(first->frame.y, std::min(category->frame.y, last->frame.y + last->frame.height - span));
    if (opPanel) opPanel->frame = {kOptionX - 8, top - 6, 148, span + 12};
    if (opBridge) {
      const float bx = category->frame.x + category->frame.width - 8;
      opBridge->frame = {bx, category->frame.y, kOptionX - bx, category->frame.height};
    }
  }
  for (UIView* v : {static_cast<UIView*>(opPanel), static_cast<UIView*>(opBridge)})
    if (v) v->setHidden(!category || count == 0);
  for (int k = 0; k < 4; ++k) {
    UIButton* b = opButton[k];
    if (!b) continue;
    const char* name = OptionName(p, k);
    SetTitleAllStates(b, name ? UiText(name) : "");
    if (category) b->frame = {kOptionX, top + k * kOptionStep, b->frame.width, category->frame.height};
    // Only options that exist are shown.
    if (name)
      ShowButton(b);
    else
      HideButton(b);
    const bool selected = p >= PARM_SETTING && p <= PARM_LANGUAGE && parm_val[p] == k;
    b->setTitleColor(selected ? UIColor::whiteColor() : kOptionInk, UIControlStateNormal);
    b->fillColor = selected ? kAccent : kNoFill;
    b->setSelected(selected);
  }
}

ConfigViewController::~ConfigViewController() {
  // The tables point into this screen's controls; they go with it.
  for (auto& b : opButton)
    if (b == opButton0 || b == opButton1 || b == opButton2 || b == opButton3 || b == opButton4 || b == opButton5)
      b = nullptr;
  for (auto& b : opNameButton)
    if (b == opSetting || b == opHair || b == opEthnicity || b == opLanguage) b = nullptr;
  if (opPanel == optionsPanel) opPanel = nullptr;
  if (opBridge == optionsBridge) opBridge = nullptr;
}

void ConfigViewController::loadView() {
  opaque = true;
  background = kSettingsBackground;
  const UIColor ink = kSettingsCaptionInk;

  auto* header = add(new UIView());
  header->frame = {0, 0, 320, 0};
  AddSettingsTitle(this, "Settings");

  auto label = [&](float x, float y, const char* text, float width = 136) {
    auto* l = add(new UILabel());
    l->frame = {x, y, width, kCaptionHeight};
    l->text = UiText(text);
    l->color = ink;
  };
  label(18, 42, "Name");
  tvName = add(new UITextField());
  tvName->frame = {18, 42 + kCaptionHeight, 284, kKeyHeight};
  tvName->editable = true;
  tvName->placeholder = UiText("Her name");
  tvName->maxLength = kGirlNameMaxChars;
  tvName->action = [this] { onNameEntry(); };

  // The character: its title; the key opens the list. Beside it the dance
  // the dance button plays and the one she idles with: hers, then each one
  // added. Three keys share the row.
  const float third = (284 - 2 * 8) / 3.0f;
  struct {
    const char* caption;
    UIButton** key;
    const char* outlet;
    const char* action;
    void (ConfigViewController::*pressed)();
  } keys[] = {{"Character", &opCharacter, "opCharacter", "onCharacter", &ConfigViewController::onCharacter},
              {"Dance", &opDance, "opDance", "onDance", &ConfigViewController::onDance},
              {"Idle", &opIdle, "opIdle", "onIdle", &ConfigViewController::onIdle}};
  for (int i = 0; i < 3; ++i) {
    const float x = 18 + i * (third + 8);
    label(x, kCharacterRow, keys[i].caption, third);
    UIButton* b = *keys[i].key = add(new UIButton());
    b->frame = {x, kCharacterRow + kCaptionHeight, third, kKeyHeight};
    const auto pressed = keys[i].pressed;
    b->action = [this, pressed] { (this->*pressed)(); };
    outlet(keys[i].outlet, b);
    connect(keys[i].action, [this, pressed] { (this->*pressed)(); });
  }

  // Categories on the left show the current choice; the options of the one
  // being edited beside it, on a panel that joins them (SetEditParm).
  optionsPanel = add(new UIPanel());
  optionsBridge = add(new UIPanel());
  for (UIPanel* panel : {optionsPanel, optionsBridge}) {
    panel->color = kEditedTint;
    panel->hidden = true;
  }
  optionsBridge->rounding = 0;
  const char* captions[4] = {"Outfit", "Hair", "Skin", "Voice"};
  UIButton** cats[4] = {&opSetting, &opHair, &opEthnicity, &opLanguage};
  for (int i = 0; i < 4; ++i) {
    label(18, kFirstCategoryRow + i * kRowStep, captions[i]);
    UIButton* b = add(new UIButton());
    b->frame = {18, kFirstCategoryRow + i * kRowStep + kCaptionHeight, 136, kKeyHeight};
    *cats[i] = b;
  }
  UIButton** opts[6] = {&opButton0, &opButton1, &opButton2, &opButton3, &opButton4, &opButton5};
  for (int k = 0; k < 6; ++k) {
    UIButton* b = add(new UIButton());
    b->frame = {kOptionX, kFirstCategoryRow + kCaptionHeight + k * kOptionStep, 132, kKeyHeight};
    // Buttons 4 and 5 exist for the interface but offer nothing.
    if (k >= 4) b->hidden = true;
    *opts[k] = b;
  }
  // Sound and captions in a row of their own under the categories.
  const float sound_row = kFirstCategoryRow + 4 * kRowStep;
  label(18, sound_row, "Sound");
  label(kOptionX, sound_row, "Captions");
  volumeButton = add(new UIButton());
  volumeButton->frame = {18, sound_row + kCaptionHeight, 136, kKeyHeight};
  captionsSwitch = add(new UIButton());
  captionsSwitch->frame = {kOptionX, sound_row + kCaptionHeight, 132, kKeyHeight};
  volumeButton->action = [this] { onVolume(); };
  captionsSwitch->action = [this] { onCaptions(); };
  outlet("volumeButton", volumeButton);
  outlet("captionsSwitch", captionsSwitch);
  connect("onVolume", [this] { onVolume(); });
  connect("onCaptions", [this] { onCaptions(); });
  // Desktop mode beside Done, below every option panel.
  desktopSwitch = add(new UIButton());
  desktopSwitch->frame = {kOptionX, sound_row + kRowStep + 12, 132, kKeyHeight + 4};
  desktopSwitch->action = [this] { onDesktopMode(); };
  outlet("desktopSwitch", desktopSwitch);
#ifdef __EMSCRIPTEN__
  desktopSwitch->hidden = true;  // a page cannot leave its browser window
#endif
  connect("onDesktopMode", [this] { onDesktopMode(); });

  auto* back = add(new UIButton());
#ifdef __EMSCRIPTEN__
  back->frame = {90, sound_row + kRowStep + 12, 140, kKeyHeight + 4};  // alone on its row
#else
  back->frame = {18, sound_row + kRowStep + 12, 136, kKeyHeight + 4};
#endif
  back->setTitle(UiText("Done"), UIControlStateNormal);
  back->setTitle(UiText("Done"), UIControlStateHighlighted);
  back->setTitleColor({0.1f, 0.35f, 0.8f, 1}, UIControlStateNormal);

  opSetting->action = [this] { onSetting(); };
  opHair->action = [this] { onHairColor(); };
  opEthnicity->action = [this] { onEthnicity(); };
  opLanguage->action = [this] { onLanguage(); };
  for (int k = 0; k < 6; ++k) (*opts[k])->action = [this, k] { onButton(k); };
  back->action = [this] { backToMainView(); };

  outlet("tvName", tvName);
  const char* opt_names[6] = {"opButton0", "opButton1", "opButton2", "opButton3", "opButton4", "opButton5"};
  for (int k = 0; k < 6; ++k) outlet(opt_names[k], *opts[k]);
  outlet("opSetting", opSetting);
  outlet("opHair", opHair);
  outlet("opEthnicity", opEthnicity);
  outlet("opLanguage", opLanguage);
  outlet("doneButton", back);

  connect("onSetting", [this] { onSetting(); });
  connect("onHairColor", [this] { onHairColor(); });
  connect("onEthnicity", [this] { onEthnicity(); });
  connect("onLanguage", [this] { onLanguage(); });
  connect("onNameEntry", [this] { onNameEntry(); });
  const char* act_names[6] = {"onButton0", "onButton1", "onButton2", "onButton3", "onButton4", "onButton5"};
  for (int k = 0; k < 6; ++k) connect(act_names[k], [this, k] { onButton(k); });
  connect("backToMainView", [this] { backToMainView(); });
}

void ConfigViewController::viewDidLoad() {
  if (girlname) tvName->setText(girlname->text());
  parm_val[PARM_HAIR] = n_hair;
  parm_val[PARM_LANGUAGE] = n_sound_set;
  parm_val[PARM_SETTING] = n_clothes;
  parm_val[PARM_ETHNICITY] = n_skin;
  opButton[0] = opButton0;
  opButton[1] = opButton1;
  opButton[2] = opButton2;
  opButton[3] = opButton3;
  opButton[4] = opButton4;
  opButton[5] = opButton5;
  opNameButton[0] = opNameButton[1] = nullptr;
  opNameButton[PARM_SETTING] = opSetting;
  opNameButton[PARM_HAIR] = opHair;
  opNameButton[PARM_ETHNICITY] = opEthnicity;
  opNameButton[PARM_LANGUAGE] = opLanguage;
  opPanel = optionsPanel;
  opBridge = optionsBridge;
  character_choice = AppCharacterShown();
  dance_choice = AppDanceChosen();
  idle_choice = AppDanceChosen(DanceUse::kIdle);
  SetEditParm(PARM_NAME);
  ShowFaceSettings();
  ShowCharacter();
}

void SettingsFollowCharacter() {
  character_choice = AppCharacterShown();
  dance_choice = AppDanceChosen();
  idle_choice = AppDanceChosen(DanceUse::kIdle);
  UIViewController* top = OvantaTopScreen();
  if (dynamic_cast<ConfigViewController*>(top) || dynamic_cast<CharacterViewController*>(top))
    top->viewWillAppear(false);
}

void ConfigViewController::viewWillAppear(bool /*animated*/) {
  ShowCharacter();
  ShowDance();
}

namespace {

// Hers, then the added ones by title, round again.
void NextDance(std::string* choice) {
  std::vector<std::string> ids = {""};
  for (const DanceInfo& d : AppDanceList()) ids.push_back(d.id);
  const auto at = std::find(ids.begin(), ids.end(), *choice);
  *choice = at == ids.end() || at + 1 == ids.end() ? ids[0] : *(at + 1);
}

}  // namespace

void ConfigViewController::ShowDance() {
  const std::pair<UIButton*, std::string> keys[] = {{opDance, dance_choice}, {opIdle, idle_choice}};
  for (const auto& k : keys) {
    std::string title = UiText(k.first == opDance ? "Her dance" : "Her idle");
    DanceInfo info;
    if (!k.second.empty() && FindDance(DancesRoot(), k.second, &info)) title = UiFit(info.title, 8);
    SetTitleAllStates(k.first, title);
    k.first->setTitleColor(UIColor::darkGrayColor(), UIControlStateNormal);
  }
}

void ConfigViewController::onDance() {
  NextDance(&dance_choice);
  ShowDance();
}

void ConfigViewController::onIdle() {
  NextDance(&idle_choice);
  ShowDance();
}

void ConfigViewController::ShowCharacter() {
  std::string title = "Ovanta";
  vrm::CharacterInfo info;
  if (!character_choice.empty() && vrm::FindCharacter(vrm::CharactersRoot(), character_choice, &info))
    title = info.title.empty() ? info.id : info.title;
  SetTitleAllStates(opCharacter, UiFit(title, 7) + " \xE2\x80\xBA");
  opCharacter->setTitleColor(UIColor::darkGrayColor(), UIControlStateNormal);
  // Her outfit, hair and skin; the options of one being edited go away.
  const bool hers = character_choice.empty();
  for (UIButton* b : {opSetting, opHair, opEthnicity}) b->setEnabled(hers);
  if (!hers && n_edit_parm >= PARM_SETTING && n_edit_parm <= PARM_ETHNICITY) SetEditParm(PARM_NAME);
}

void ConfigViewController::onCharacter() {
  if (navigationController) navigationController->pushViewController(new CharacterViewController(), true);
}

void ConfigViewController::ShowFaceSettings() {
  static const char* const kLevels[kFaceVolumeLevels] = {"Off", "Low", "Medium", "High"};
  for (UIControlState s : {UIControlStateNormal, UIControlStateSelected, UIControlStateHighlighted}) {
    volumeButton->setTitle(UiText(kLevels[face_volume]), s);
    captionsSwitch->setTitle(UiText(face_captions ? "On" : "Off"), s);
    desktopSwitch->setTitle(UiText(Mascot().on ? "Desktop: On" : "Desktop: Off"), s);
  }
  desktopSwitch->setTitleColor(UIColor::darkGrayColor(), UIControlStateNormal);
  volumeButton->setTitleColor(UIColor::darkGrayColor(), UIControlStateNormal);
  captionsSwitch->setTitleColor(UIColor::darkGrayColor(), UIControlStateNormal);
}

void ConfigViewController::onVolume() {
  FaceSetVolume((face_volume + 1) % kFaceVolumeLevels);
  GirlSaveFaceSettings();
  ShowFaceSettings();
}

void ConfigViewController::onCaptions() {
  FaceSetCaptions(!face_captions);
  GirlSaveFaceSettings();
  ShowFaceSettings();
}

void ConfigViewController::onDesktopMode() {
  MascotAppSet(!Mascot().on);
  ShowFaceSettings();
}

void ConfigViewController::onNameEntry() {
  SetEditParm(PARM_NAME);
  tvName->resignFirstResponder();
}

void ConfigViewController::onButton(int k) {
  if (k < 0 || k > 3) return;
  if (!OptionName(n_edit_parm, k)) return;
  parm_val[n_edit_parm] = k;
  SetEditParm(n_edit_parm);
}

void ConfigViewController::backToMainView() {
  // A character chosen is shown and stored at once (its own reload).
  if (character_choice != AppCharacterShown()) AppCharacterChoose(character_choice);
  // So is a dance (laid on her at that reload).
  if (dance_choice != AppDanceChosen()) AppDanceChoose(dance_choice);
  if (idle_choice != AppDanceChosen(DanceUse::kIdle)) AppDanceChoose(idle_choice, DanceUse::kIdle);
  if (parm_val[PARM_HAIR] != n_hair || parm_val[PARM_LANGUAGE] != n_sound_set || parm_val[PARM_SETTING] != n_clothes ||
      parm_val[PARM_ETHNICITY] != n_skin) {
    girl_reload_scene = true;
    girl_reload_sound = true;
    sound_setup_timer = 5;
  }
  if (parm_val[PARM_SETTING] != n_clothes) sound_new_setting_timer = 30 + (std::rand() & 31);
  n_clothes = parm_val[PARM_SETTING];
  n_hair = parm_val[PARM_HAIR];
  n_sound_set = parm_val[PARM_LANGUAGE];
  n_skin = parm_val[PARM_ETHNICITY];
  n_background = parm_val[PARM_SETTING];
  if (girlname) girlname->setText(tvName->text());
  GirlSaveSettings();
  screen_update_disabled = false;
  if (navigationController) navigationController->popViewControllerAnimated(true);
}
