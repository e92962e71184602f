// Draws and drives the kit's screens (uikit/uikit.h) with Dear ImGui, and
// renders ImGui's output with OpenGL ES 1.1 into the bound framebuffer.
//
// The app composites once per tick after the GL frame: UIKitFrame builds the
// visible screens of the navigation controller, draws them over the frame
// and then runs the actions of the controls clicked in that frame (never
// while the screens are being walked). Input reaches ImGui through its IO
// (the input handler's pointer reaches it through UIKitPointer; the headless
// driver's `press` clicks a control with UIKitClick). Text fields are edited
// by the kit itself (uikit/uikit.h), so any character typed is kept as
// typed. The font is DejaVu Sans from Debian's fonts-dejavu-core, read at
// run time (Latin, Greek and Cyrillic; one box-shaped glyph stands for any
// character it lacks); without it ImGui's own font is used.
#pragma once

#include <string>
#include <vector>

#include "redraw/redraw.h"

class UINavigationController;
class UIViewController;
struct UIButton;
struct UILabel;
struct UIOverlay;
struct UITextField;

// Creates the ImGui context for a view of width x height points drawn at
// `scale` pixels a point. Needs the GL context current. False when the font
// texture could not be made.
bool UIKitInit(float width, float height, float scale = 1.0f);
void UIKitShutdown();
bool UIKitReady();
// A new pixel scale (the window was resized): the fonts are rasterised
// again when it differs enough to blur them, the artwork is looked up anew.
void UIKitSetScale(float scale);

// One frame of the interface: builds the visible screens, renders them into
// the bound framebuffer when `render` is set, then runs the clicked actions
// and advances the navigation controller's slide (a tick that draws nothing
// still takes the pointer and keeps the slide in time).
void UIKitFrame(UINavigationController& nav, bool render);

// UIKitFrame with `render` set, over the scene layer (redraw/redraw.h): the
// layer is shown and the interface drawn over it only where the scene
// changed (`scene`, or everything with `scene_all`) or the interface did
// since the last frame drawn this way. The surface is width x height pixels.
// Sets what changed on it; true when that is everything.
bool UIKitFrameOverScene(UINavigationController& nav, bool scene_all, const PixelRect& scene, int width, int height,
                         PixelRect* changed);

// Clicks at (x, y) points, y from the top, through ImGui's own widget logic:
// a frame with the pointer there, one with the button down, one with it up.
// Nothing is drawn. Returns whether any action ran.
// The pointer is back where it was afterwards.
bool UIKitClick(UINavigationController& nav, float x, float y);

// Where the pointer is over the view (present false: not over it) and
// whether its button is down; the next frame shows hover and press.
void UIKitPointer(bool present, float x, float y, bool down);

// The editable text field of the screen on top that has the keyboard focus.
UITextField* UIKitEditedField(UINavigationController& nav);
// The visible editable text field of the screen on top under (x, y), or null.
UITextField* UIKitFieldAt(UINavigationController& nav, float x, float y);

// The lines a label is drawn in: a wrapping one breaks into lines of even
// length, as narrow as keeps their number.
std::vector<std::string> UIKitLabelLines(const UILabel& label);

// Drawn over every screen while set (null: none); not owned.
void UIKitSetOverlay(const UIOverlay* overlay);
// Desktop mode: no screen of the navigation controller is drawn or takes a
// click; `floating` (null: none; not owned) is drawn and clicked alone.
void UIKitSetDesktop(bool desktop, UIViewController* floating);

// The topmost visible, enabled control of the visible screens under (x, y),
// or null; the window uses it to tell a click on a button from a touch on
// the GL view.
bool UIKitHitsControl(UINavigationController& nav, float x, float y);

// Loads a bundle picture as a GL texture once (0 when missing); kept until
// UIKitShutdown.
unsigned int UIKitTexture(const std::string& name);
