// The Character list, pushed by the settings screen's Character key: her
// ("Ovanta") first, then every imported character by title, each with its
// thumbnail (when it has one), title, authors and license, a page of rows
// at a time. Choosing a row sets the settings screen's working copy
// (`character_choice`), which Done there shows and stores. An imported
// character's Remove asks first (Remove or Keep in place of the bottom
// keys); a removal is done at once (app/app_character.h). Where the user can
// pick a file (the page) an Add key imports one; elsewhere a line says that
// a file dropped on the window adds a character.
#pragma once

#include <string>
#include <vector>

#include "uikit/uikit.h"
#include "vrm/characters.h"

class CharacterViewController : public UIViewController {
 public:
  static const int kRows = 5;  // rows a page

  void loadView() override;
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;

  void onRow(int r);     // onCharacter0 .. onCharacter4: chooses the row's character
  void onRemove(int r);  // onRemove0 .. onRemove4: asks
  void onConfirmRemove();
  void onKeep();
  void onPage(int step);  // onPreviousPage, onNextPage
  void onAdd();
  void onDone();
  // Esc: a question is answered Keep; else back as Done.
  bool accessibilityPerformEscape() override;

 private:
  struct Row {
    UIButton* key = nullptr;
    UIImageView* thumbnail = nullptr;
    UILabel* title = nullptr;
    UILabel* detail = nullptr;
    UIButton* remove = nullptr;
  };
  void Show();  // the page, the choice and the question as they are now

  Row rows_[kRows];
  UILabel* note_ = nullptr;  // the drop hint, a question or what went wrong
  UIButton* add_ = nullptr;
  UIButton* previous_ = nullptr;
  UIButton* next_ = nullptr;
  UIButton* done_ = nullptr;
  UIButton* confirm_ = nullptr;
  UIButton* keep_ = nullptr;
  // Her (an empty id) first, then the imported ones.
  std::vector<vrm::CharacterInfo> list_;
  int page_ = 0;
  std::string asking_;   // the id whose removal is being asked about
  std::string problem_;  // why the last removal failed
};
