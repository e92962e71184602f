// The controls at a glance, over everything: the keys, the mouse and what
// the buttons do. F1 or ? shows it in the window (and `key f1` in a
// script); the window's first start shows it once. The next click or key
// only takes it away (input/input.h swallows that press).
#pragma once

struct UIOverlay;

bool HelpShown();
void HelpShow();
void HelpHide();
// Its content, for the interface to draw while it is shown.
const UIOverlay& HelpContent();
