// The page's input: the browser's mouse, wheel, touch and key events as the
// SDL events the desktop window gets, so the page takes the window's own
// path (devices/input_queue.h frames them per tick, app/window_input.h hands
// them to the one input handler). Positions are CSS pixels of the browser
// window, which is the page's window: the canvas sits in it letterboxed
// where the handler's box says (web_main.cpp lays it out).
//
// Touch: every finger as an SDL finger, nx, ny across the window; the
// browser's own mouse copies of touches are suppressed. Keys: the browser's
// key names become SDL key codes; a printable key also types its text
// (unless Ctrl, Alt or Meta is held). The browser keeps Ctrl/Meta
// combinations (reload, copy) and F5, F11 and F12 for itself.
#pragma once

#include <SDL2/SDL_events.h>

#include <functional>
#include <string>

// Starts listening; each event is handed to `push` as it comes.
void WebInputStart(std::function<void(const SDL_Event&)> push);

// A phone's on-screen keyboard for the name field. Browsers open it only for
// a focused text input, focused while the page handles the tap, so page.js
// asks ovanta_field_at() in its touchend handler and focuses a hidden input
// (#keyboard); what is typed there comes back through ovanta_type() as text
// and ovanta_press() as keys (where the keyboard sends no key events of its
// own). WebKeyboardTick() closes it once the edit ends (Return, Done, Esc).
void WebKeyboardTick();

// The SDL key code of a browser key name (KeyboardEvent.key): "a", "A",
// "Escape", "ArrowLeft", "F1", " ", "?"; 0 for keys the app has no name for.
SDL_Keycode WebKeyCode(const std::string& key);
