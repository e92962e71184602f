// The few user-interface kit objects the character logic touches.
//
// UITextField holds the character's name: the main screen shows it, the
// settings screen edits it, and GirlLoadSettings / GirlSaveSettings read and
// write it through the global `girlname`. The app's UI layer draws it and
// may add members; the logic relies only on text() and setText().
#pragma once

#include <string>

struct UITextField {
  // UTF-8; any length.
  const std::string& text() const { return text_; }
  void setText(const std::string& text) { text_ = text; }

  std::string text_;
};
