// The interface's words in the language she speaks (the voice language,
// n_sound_set): the settings screen, its option names, the help and the
// notices. English is the source text; one table gives each English text
// in Russian. What the trace and the store hold stays the English source.
// Called by the app's screens whenever they (re)title their controls.
#pragma once

#include <string>

// The interface's language: 0 English, 1 Russian.
int UiLanguage();
// `english` in the voice language; the English itself where the table has
// no row for it (or the language is English).
const char* UiText(const char* english);

// `text` (a file's, say) as one printable line of at most `n` characters,
// cut with an ellipsis.
std::string UiFit(const std::string& text, size_t n);

// A notice's text: `english` with "%s" in it, translated, the %s replaced
// by `arg`.
std::string UiTextWith(const char* english, const std::string& arg);
