// A short notice over her view that says what a key just did ("Sound off",
// "Saved ovanta-shot.png"), for about a second and a half. The input
// handler (M) and the window (F12) raise it in the interface's language
// (app/ui_text.h); the main screen shows it, the tick counts it down.
#pragma once

#include <string>

void NoticeShow(const std::string& text);
// The notice on screen, "" when none.
const std::string& NoticeText();
// One tick: a notice shown long enough goes.
void NoticeTick();
void NoticeClear();
