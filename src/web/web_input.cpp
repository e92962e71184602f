#include "web/web_input.h"

#include <SDL2/SDL_keyboard.h>
#include <SDL2/SDL_mouse.h>
#include <SDL2/SDL_touch.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstring>

#include "app/app_input.h"

namespace {
std::function<void(const SDL_Event&)> g_push;
bool g_was_editing = false;

void PushKey(SDL_Keycode sym, bool down, bool repeat = false) {
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.repeat = repeat ? 1 : 0;
  e.key.keysym.sym = sym;
  // The input queue pairs a key's press and release by scan code; the
  // browser's key name stands for the key here, so a code made from it does.
  e.key.keysym.scancode = static_cast<SDL_Scancode>(1 + static_cast<unsigned>(sym) % (SDL_NUM_SCANCODES - 1));
  e.key.keysym.mod = SDL_GetModState();
  g_push(e);
}

// The window's size in CSS pixels, for the fingers' fractions.
void WindowSize(double* w, double* h) {
  *w = EM_ASM_DOUBLE({ return window.innerWidth; });
  *h = EM_ASM_DOUBLE({ return window.innerHeight; });
}

// The modifiers of a browser event, where the window reads them (Alt + drag).
void Modifiers(bool ctrl, bool shift, bool alt) {
  SDL_SetModState(static_cast<SDL_Keymod>((ctrl ? KMOD_LCTRL : 0) | (shift ? KMOD_LSHIFT : 0) | (alt ? KMOD_LALT : 0)));
}

EM_BOOL OnMouse(int type, const EmscriptenMouseEvent* m, void*) {
  Modifiers(m->ctrlKey, m->shiftKey, m->altKey);
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  if (type == EMSCRIPTEN_EVENT_MOUSEMOVE) {
    e.type = SDL_MOUSEMOTION;
    e.motion.x = static_cast<Sint32>(m->clientX);
    e.motion.y = static_cast<Sint32>(m->clientY);
    g_push(e);
    return EM_FALSE;
  }
  if (type == EMSCRIPTEN_EVENT_MOUSELEAVE) {
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_LEAVE;
    g_push(e);
    return EM_FALSE;
  }
  if (m->button != 0) return EM_FALSE;  // only the main button works the view
  e.type = type == EMSCRIPTEN_EVENT_MOUSEDOWN ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.button = SDL_BUTTON_LEFT;
  e.button.x = static_cast<Sint32>(m->clientX);
  e.button.y = static_cast<Sint32>(m->clientY);
  g_push(e);
  return EM_FALSE;
}

EM_BOOL OnWheel(int, const EmscriptenWheelEvent* w, void*) {
  if (w->deltaY == 0) return EM_FALSE;
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = SDL_MOUSEWHEEL;
  e.wheel.y = w->deltaY < 0 ? 1 : -1;  // one step an event, + away from the user
  e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  g_push(e);
  return EM_TRUE;  // no page scroll or zoom
}

EM_BOOL OnTouch(int type, const EmscriptenTouchEvent* t, void*) {
  double w = 1, h = 1;
  WindowSize(&w, &h);
  for (int i = 0; i < t->numTouches; ++i) {
    const EmscriptenTouchPoint& p = t->touches[i];
    if (!p.isChanged) continue;
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = type == EMSCRIPTEN_EVENT_TOUCHSTART ? SDL_FINGERDOWN
             : type == EMSCRIPTEN_EVENT_TOUCHMOVE ? SDL_FINGERMOTION
                                                  : SDL_FINGERUP;
    e.tfinger.touchId = 1;
    e.tfinger.fingerId = static_cast<SDL_FingerID>(p.identifier);
    e.tfinger.x = static_cast<float>(p.clientX / (w > 0 ? w : 1));
    e.tfinger.y = static_cast<float>(p.clientY / (h > 0 ? h : 1));
    e.tfinger.pressure = 1;
    g_push(e);
  }
  return EM_TRUE;  // no mouse copies, no scrolling, no browser zoom
}

EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* k, void*) {
  const std::string key = k->key;
  if (k->ctrlKey || k->metaKey || key == "F5" || key == "F11" || key == "F12") return EM_FALSE;
  Modifiers(k->ctrlKey, k->shiftKey, k->altKey);
  const SDL_Keycode sym = WebKeyCode(key);
  if (sym != 0) PushKey(sym, type == EMSCRIPTEN_EVENT_KEYDOWN, k->repeat);
  // A printable key types its character: one code point, which the key
  // names of control keys ("Enter", "Shift") never are.
  const unsigned char c0 = static_cast<unsigned char>(key.empty() ? 0 : key[0]);
  const size_t len = c0 < 0x80 ? 1 : c0 >= 0xF0 ? 4 : c0 >= 0xE0 ? 3 : 2;
  SDL_Event text;
  if (type == EMSCRIPTEN_EVENT_KEYDOWN && !k->altKey && c0 >= ' ' && key.size() == len &&
      key.size() < sizeof text.text.text) {
    std::memset(&text, 0, sizeof text);
    text.type = SDL_TEXTINPUT;
    std::memcpy(text.text.text, key.data(), key.size());
    g_push(text);
  }
  return sym != 0 || key.size() == len ? EM_TRUE : EM_FALSE;
}
}  // namespace

SDL_Keycode WebKeyCode(const std::string& key) {
  static const struct {
    const char* name;
    SDL_Keycode sym;
  } kNamed[] = {
      {"Escape", SDLK_ESCAPE}, {"Enter", SDLK_RETURN},   {"Tab", SDLK_TAB},
      {" ", SDLK_SPACE},       {"Backspace", SDLK_BACKSPACE}, {"Delete", SDLK_DELETE},
      {"Insert", SDLK_INSERT}, {"Home", SDLK_HOME},      {"End", SDLK_END},
      {"PageUp", SDLK_PAGEUP}, {"PageDown", SDLK_PAGEDOWN}, {"ArrowLeft", SDLK_LEFT},
      {"ArrowRight", SDLK_RIGHT}, {"ArrowUp", SDLK_UP},  {"ArrowDown", SDLK_DOWN},
  };
  for (const auto& n : kNamed)
    if (key == n.name) return n.sym;
  if (key.size() >= 2 && key.size() <= 3 && key[0] == 'F' && key[1] >= '1' && key[1] <= '9') {
    const int n = std::atoi(key.c_str() + 1);
    if (n >= 1 && n <= 12) return SDLK_F1 + (n - 1);
    if (n >= 13 && n <= 24) return SDLK_F13 + (n - 13);
    return 0;
  }
  // Letters, digits and marks: SDL's key code is the character itself,
  // letters in lower case.
  if (key.size() == 1 && key[0] > ' ' && key[0] < 127) {
    const char c = key[0];
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
  }
  return 0;
}

extern "C" {
// Whether the name field is under the page's point (CSS pixels).
EMSCRIPTEN_KEEPALIVE int ovanta_field_at(double x, double y) {
  float vx = 0, vy = 0;
  InputWindowToView(AppInputState().viewport, static_cast<float>(x), static_cast<float>(y), &vx, &vy);
  return AppInputFieldAt(vx, vy) ? 1 : 0;
}

// Text typed on the on-screen keyboard, UTF-8, in pieces that fit an SDL
// text event, cut between characters.
EMSCRIPTEN_KEEPALIVE void ovanta_type(const char* utf8) {
  if (!g_push || !utf8) return;
  const size_t n = std::strlen(utf8);
  SDL_Event e;
  const size_t room = sizeof e.text.text - 1;
  for (size_t at = 0; at < n;) {
    size_t end = at + room < n ? at + room : n;
    while (end > at && end < n && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
    if (end == at) break;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_TEXTINPUT;
    std::memcpy(e.text.text, utf8 + at, end - at);
    g_push(e);
    at = end;
  }
}

// A key the on-screen keyboard gave only as an edit ("Backspace", "Enter").
EMSCRIPTEN_KEEPALIVE void ovanta_press(const char* key) {
  const SDL_Keycode sym = key && g_push ? WebKeyCode(key) : 0;
  if (sym == 0) return;
  PushKey(sym, true);
  PushKey(sym, false);
}
}

void WebKeyboardTick() {
  const bool editing = AppInputEditing();
  if (g_was_editing && !editing) EM_ASM({ if (Module.ovantaKeyboardDone) Module.ovantaKeyboardDone(); });
  g_was_editing = editing;
}

void WebInputStart(std::function<void(const SDL_Event&)> push) {
  g_push = std::move(push);
  const char* win = EMSCRIPTEN_EVENT_TARGET_WINDOW;
  emscripten_set_mousedown_callback(win, nullptr, EM_TRUE, OnMouse);
  emscripten_set_mouseup_callback(win, nullptr, EM_TRUE, OnMouse);
  emscripten_set_mousemove_callback(win, nullptr, EM_TRUE, OnMouse);
  emscripten_set_mouseleave_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, OnMouse);
  emscripten_set_wheel_callback(win, nullptr, EM_TRUE, OnWheel);
  emscripten_set_touchstart_callback(win, nullptr, EM_TRUE, OnTouch);
  emscripten_set_touchmove_callback(win, nullptr, EM_TRUE, OnTouch);
  emscripten_set_touchend_callback(win, nullptr, EM_TRUE, OnTouch);
  emscripten_set_touchcancel_callback(win, nullptr, EM_TRUE, OnTouch);
  emscripten_set_keydown_callback(win, nullptr, EM_TRUE, OnKey);
  emscripten_set_keyup_callback(win, nullptr, EM_TRUE, OnKey);
}
