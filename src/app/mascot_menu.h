// Desktop mode's menu: a right-click on her shows it beside the pointer,
// over her and inside her window (its pixels become part of her
// silhouette, so it takes clicks): Dance or Stop, Settings (the settings
// screen in the normal window; Done brings her back), Sound off or on,
// Desktop mode off, Quit. Any click closes it, one on an item after
// running it. The window's right button and the headless `menu X Y` open
// it; `press menuDance` (menuSettings, menuSound, menuDesktop, menuQuit)
// presses an item.
#pragma once

class UIViewController;

// Opens the menu with its corner at view point (x, y), moved to stay within
// the box (x0, y0)-(x1, y1) of view points (her window's part).
void MascotMenuOpen(float x, float y, float x0, float y0, float x1, float y1);
void MascotMenuClose();
// The menu's screen while it is shown, else null.
UIViewController* MascotMenuShown();
