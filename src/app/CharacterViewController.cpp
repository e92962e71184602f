#include "app/CharacterViewController.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/ConfigViewController.h"
#include "app/app_character.h"
#include "app/ui_text.h"
#include "files/bundle.h"
#include "uikit/utf8.h"

namespace {

const float kTop = 46, kRowStep = 64, kRowHeight = 58;
const float kBottom = 432, kKeyHeight = 38;
const UIColor kDetailInk = {0.40f, 0.42f, 0.48f, 1};
const UIColor kRemoveFill = {0.70f, 0.12f, 0.12f, 1};
const UIColor kNoFill = {0, 0, 0, 0};

}  // namespace

void CharacterViewController::loadView() {
  opaque = true;
  background = kSettingsBackground;
  AddSettingsTitle(this, "Character");

  static const char* const kRowNames[kRows] = {"character0", "character1", "character2", "character3", "character4"};
  static const char* const kRowActions[kRows] = {"onCharacter0", "onCharacter1", "onCharacter2", "onCharacter3",
                                                 "onCharacter4"};
  static const char* const kRemoveNames[kRows] = {"remove0", "remove1", "remove2", "remove3", "remove4"};
  static const char* const kRemoveActions[kRows] = {"onRemove0", "onRemove1", "onRemove2", "onRemove3", "onRemove4"};
  for (int r = 0; r < kRows; ++r) {
    const float y = kTop + r * kRowStep;
    Row& row = rows_[r];
    row.key = add(new UIButton());
    // The Remove key beside the row's, not over it: a control over another
    // would never get the click.
    row.key->frame = {18, y, 200, kRowHeight};
    row.key->action = [this, r] { onRow(r); };
    row.thumbnail = add(new UIImageView());
    row.thumbnail->frame = {26, y + 7, 44, 44};
    row.title = add(new UILabel());
    row.title->frame = {76, y + 8, 138, 22};
    row.title->bold = true;
    row.detail = add(new UILabel());
    row.detail->frame = {76, y + 30, 138, 20};
    row.detail->size = 0.8f;
    row.remove = add(new UIButton());
    row.remove->frame = {224, y + 13, 78, 32};
    SetTitleAllStates(row.remove, UiText("Remove"));
    row.remove->setTitleColor(kRemoveFill, UIControlStateNormal);
    row.remove->action = [this, r] { onRemove(r); };
    outlet(kRowNames[r], row.key);
    outlet(kRemoveNames[r], row.remove);
    connect(kRowActions[r], [this, r] { onRow(r); });
    connect(kRemoveActions[r], [this, r] { onRemove(r); });
  }

  note_ = add(new UILabel());
  note_->frame = {18, kTop + kRows * kRowStep, 284, 58};
  note_->wrap = true;
  note_->centered = true;
  note_->size = 0.85f;
  note_->color = kSettingsCaptionInk;
  add_ = add(new UIButton());
  add_->frame = {18, kBottom - 44, 284, 36};
  SetTitleAllStates(add_, UiText("Add a character\xE2\x80\xA6"));
  add_->setTitleColor(kSettingsAccent, UIControlStateNormal);

  previous_ = add(new UIButton());
  previous_->frame = {18, kBottom, 56, kKeyHeight};
  SetTitleAllStates(previous_, "\xE2\x80\xB9");
  next_ = add(new UIButton());
  next_->frame = {246, kBottom, 56, kKeyHeight};
  SetTitleAllStates(next_, "\xE2\x80\xBA");
  done_ = add(new UIButton());
  done_->frame = {90, kBottom, 140, kKeyHeight};
  SetTitleAllStates(done_, UiText("Done"));
  keep_ = add(new UIButton());
  keep_->frame = {18, kBottom, 136, kKeyHeight};
  SetTitleAllStates(keep_, UiText("Keep"));
  confirm_ = add(new UIButton());
  confirm_->frame = {166, kBottom, 136, kKeyHeight};
  SetTitleAllStates(confirm_, UiText("Remove"));
  confirm_->fillColor = kRemoveFill;
  for (UIButton* b : {previous_, next_, done_, keep_}) b->setTitleColor(kSettingsAccent, UIControlStateNormal);

  add_->action = [this] { onAdd(); };
  previous_->action = [this] { onPage(-1); };
  next_->action = [this] { onPage(1); };
  done_->action = [this] { onDone(); };
  keep_->action = [this] { onKeep(); };
  confirm_->action = [this] { onConfirmRemove(); };
  outlet("addCharacter", add_);
  outlet("previousPage", previous_);
  outlet("nextPage", next_);
  outlet("doneButton", done_);
  outlet("keepCharacter", keep_);
  outlet("confirmRemove", confirm_);
  connect("onAdd", [this] { onAdd(); });
  connect("onPreviousPage", [this] { onPage(-1); });
  connect("onNextPage", [this] { onPage(1); });
  connect("onDone", [this] { onDone(); });
  connect("onKeep", [this] { onKeep(); });
  connect("onConfirmRemove", [this] { onConfirmRemove(); });
}

void CharacterViewController::viewDidLoad() { viewWillAppear(false); }

void CharacterViewController::viewWillAppear(bool /*animated*/) {
  list_ = AppCharacterList();
  vrm::CharacterInfo her;
  her.title = "Ovanta";
  // Her picture is the app's icon (by its path: drawn as thumbnails are).
  BundlePathForResource("ovanta_icon.png", nullptr, her.thumbnail);
  list_.insert(list_.begin(), her);
  // The page of the character chosen.
  for (size_t i = 0; i < list_.size(); ++i)
    if (list_[i].id == character_choice) page_ = static_cast<int>(i) / kRows;
  Show();
}

void CharacterViewController::Show() {
  const int pages = static_cast<int>((list_.size() + kRows - 1) / kRows);
  page_ = std::max(0, std::min(page_, pages - 1));
  const bool asking = !asking_.empty();
  for (int r = 0; r < kRows; ++r) {
    Row& row = rows_[r];
    const size_t i = static_cast<size_t>(page_) * static_cast<size_t>(kRows) + static_cast<size_t>(r);
    const bool shown = i < list_.size();
    for (UIView* v :
         {static_cast<UIView*>(row.key), static_cast<UIView*>(row.thumbnail), static_cast<UIView*>(row.title),
          static_cast<UIView*>(row.detail), static_cast<UIView*>(row.remove)})
      v->setHidden(!shown);
    if (!shown) continue;
    const vrm::CharacterInfo& c = list_[i];
    const bool chosen = c.id == character_choice;
    row.key->fillColor = chosen ? kSettingsAccent : kNoFill;
    row.key->titleColor = kSettingsAccent;
    row.key->setSelected(chosen);
    row.key->setEnabled(!asking);
    // The chosen one is checked too, not told by colour alone.
    row.title->text = chosen ? "\xE2\x9C\x93 " + UiFit(c.title.empty() ? c.id : c.title, 14)
                             : UiFit(c.title.empty() ? c.id : c.title, 16);
    row.title->color = chosen ? UIColor::whiteColor() : kSettingsCaptionInk;
    // 1.0 files name their license by its address: the address is shown
    // without its scheme.
    std::string license = c.license;
    for (const char* scheme : {"https://", "http://"})
      if (license.rfind(scheme, 0) == 0) license.erase(0, std::string(scheme).size());
    // About 24 characters fit: the license keeps up to 10 of them.
    license = license.empty() ? "" : UiFit(license, 10);
    std::string detail = c.id.empty() ? UiText("Built in") : UiFit(c.authors, 21 - Utf8Count(license));
    if (!license.empty()) detail += (detail.empty() ? "" : " \xC2\xB7 ") + license;
    row.detail->text = detail;
    row.detail->color = chosen ? UIColor::whiteColor() : kDetailInk;
    row.thumbnail->image = c.thumbnail;
    row.thumbnail->setHidden(c.thumbnail.empty());
    // Her row has nothing to remove; while a removal is asked about, only
    // the question's keys answer.
    row.remove->setHidden(c.id.empty() || asking);
  }
  if (asking) {
    std::string name = asking_;
    for (const vrm::CharacterInfo& c : list_)
      if (c.id == asking_ && !c.title.empty()) name = UiFit(c.title, 24);
    note_->text = UiTextWith("Remove %s? Its folder is deleted.", name);
  } else if (!problem_.empty()) {
    note_->text = problem_;
  } else {
    note_->text = app_character_picker ? "" : UiText("Drop a VRM file on the window to add a character.");
  }
  note_->setHidden(note_->text.empty());
  add_->setHidden(!app_character_picker || asking || !problem_.empty());
  previous_->setHidden(asking || page_ == 0);
  next_->setHidden(asking || page_ + 1 >= pages);
  done_->setHidden(asking);
  keep_->setHidden(!asking);
  confirm_->setHidden(!asking);
}

void CharacterViewController::onRow(int r) {
  const size_t i = static_cast<size_t>(page_) * static_cast<size_t>(kRows) + static_cast<size_t>(r);
  if (!asking_.empty() || r < 0 || r >= kRows || i >= list_.size()) return;
  character_choice = list_[i].id;
  problem_.clear();
  Show();
}

void CharacterViewController::onRemove(int r) {
  const size_t i = static_cast<size_t>(page_) * static_cast<size_t>(kRows) + static_cast<size_t>(r);
  if (!asking_.empty() || r < 0 || r >= kRows || i >= list_.size() || list_[i].id.empty()) return;
  asking_ = list_[i].id;
  problem_.clear();
  Show();
}

void CharacterViewController::onConfirmRemove() {
  if (asking_.empty()) return;
  const std::string id = asking_;
  asking_.clear();
  std::string message;
  if (AppCharacterRemove(id, &message)) {
    if (character_choice == id) character_choice.clear();
  } else {
    std::fprintf(stderr, "%s\n", message.c_str());
    problem_ = message;
  }
  viewWillAppear(false);
}

void CharacterViewController::onKeep() {
  asking_.clear();
  Show();
}

void CharacterViewController::onPage(int step) {
  if (!asking_.empty()) return;
  page_ += step;
  Show();
}

void CharacterViewController::onAdd() {
  if (app_character_picker && asking_.empty()) app_character_picker();
}

void CharacterViewController::onDone() {
  asking_.clear();
  if (navigationController) navigationController->popViewControllerAnimated(true);
}

bool CharacterViewController::accessibilityPerformEscape() {
  if (!asking_.empty()) {
    onKeep();
    return true;
  }
  onDone();
  return true;
}
