#include "app/window_input.h"

#include <SDL2/SDL_keyboard.h>
#include <SDL2/SDL_mouse.h>
#include <SDL2/SDL_touch.h>

namespace {

// Keys whose auto-repeat means something: editing and tilting.
bool Repeats(const std::string& name) {
  return name == "backspace" || name == "delete" || name == "left" || name == "right" || name == "up" ||
         name == "down" || name == "home" || name == "end";
}

bool KeyEvent(const SDL_KeyboardEvent& k, bool down, InputState& state, InputSink& sink) {
  InputKey key;
  key.name = WindowKeyName(k.keysym.sym);
  if (key.name.empty() || (down && k.repeat && !Repeats(key.name))) return true;
  key.ctrl = (k.keysym.mod & KMOD_CTRL) != 0;
  key.alt = (k.keysym.mod & KMOD_ALT) != 0;
  key.shift = (k.keysym.mod & KMOD_SHIFT) != 0;
  if (down)
    InputKeyDown(state, sink, key);
  else
    InputKeyUp(state, sink, key);
  return true;
}

}  // namespace

std::string WindowKeyName(SDL_Keycode sym) {
  switch (sym) {
    case SDLK_ESCAPE:
      return "escape";
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return "return";
    case SDLK_TAB:
      return "tab";
    case SDLK_SPACE:
      return "space";
    case SDLK_BACKSPACE:
      return "backspace";
    case SDLK_DELETE:
      return "delete";
    case SDLK_INSERT:
      return "insert";
    case SDLK_HOME:
      return "home";
    case SDLK_END:
      return "end";
    case SDLK_PAGEUP:
      return "pageup";
    case SDLK_PAGEDOWN:
      return "pagedown";
    case SDLK_LEFT:
      return "left";
    case SDLK_RIGHT:
      return "right";
    case SDLK_UP:
      return "up";
    case SDLK_DOWN:
      return "down";
    default:
      break;
  }
  if (sym >= SDLK_F1 && sym <= SDLK_F12) return "f" + std::to_string(sym - SDLK_F1 + 1);
  if (sym >= SDLK_F13 && sym <= SDLK_F24) return "f" + std::to_string(sym - SDLK_F13 + 13);
  // Letters, digits and marks: SDL's key code is the character itself.
  if (sym > ' ' && sym < 127) {
    const std::string name(1, static_cast<char>(sym));
    return InputKeyNameKnown(name) ? name : "";
  }
  return "";
}

bool WindowInputTranslate(const SDL_Event& e, InputState& state, InputSink& sink) {
  switch (e.type) {
    case SDL_QUIT:
      return false;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_LEAVE) InputPointerLeave(state, sink);
      break;
    case SDL_MOUSEMOTION:
      // A touch screen's fingers come as fingers; their mouse copies are dropped.
      if (e.motion.which != SDL_TOUCH_MOUSEID)
        InputPointerMove(state, sink, static_cast<float>(e.motion.x), static_cast<float>(e.motion.y));
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (e.button.which == SDL_TOUCH_MOUSEID || e.button.button != SDL_BUTTON_LEFT) break;
      if (e.type == SDL_MOUSEBUTTONDOWN)
        InputPointerDown(state, sink, static_cast<float>(e.button.x), static_cast<float>(e.button.y),
                         (SDL_GetModState() & KMOD_ALT) != 0);
      else
        InputPointerUp(state, sink, static_cast<float>(e.button.x), static_cast<float>(e.button.y));
      break;
    case SDL_MOUSEWHEEL: {
      const float steps = static_cast<float>(e.wheel.y);
      InputWheel(state, sink, e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -steps : steps);
      break;
    }
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP: {
      const int32_t phase = e.type == SDL_FINGERDOWN ? TOUCH_BEGAN : e.type == SDL_FINGERUP ? TOUCH_ENDED : TOUCH_MOVED;
      InputFinger(state, sink, static_cast<int64_t>(e.tfinger.fingerId), phase, e.tfinger.x, e.tfinger.y);
      break;
    }
    case SDL_DROPFILE:
      if (e.drop.file) InputFileDropped(state, sink, e.drop.file);
      break;
    case SDL_TEXTINPUT:
      InputTextTyped(state, sink, e.text.text);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      return KeyEvent(e.key, e.type == SDL_KEYDOWN, state, sink);
    default:
      break;
  }
  return true;
}
