#include "app/window_input.h"

#include <imgui.h>

#include "app/ui_draw.h"
#include "character/girl_settings.h"
#include "face/face.h"
#include "platform/accelerometer.h"
#include "platform/uikit.h"

namespace {
const float kViewW = 320, kViewH = 480;

void Send(const std::vector<TouchPoint>& pts, void (*deliver)(const TouchEvent&)) {
  if (pts.empty() || !deliver) return;
  TouchEvent e{pts.data(), static_cast<int32_t>(pts.size()), kViewH};
  deliver(e);
}
}  // namespace

void WindowInput::Mouse(int32_t phase, float x, float y, bool mirrored, void (*deliver)(const TouchEvent&)) {
  std::vector<TouchPoint> pts{{phase, x, y}};
  if (mirrored) pts.push_back({phase, kViewW - x, kViewH - y});
  Send(pts, deliver);
}

bool WindowInput::Handle(const SDL_Event& e, UINavigationController* nav, AccelEmulator* accel,
                         void (*deliver)(const TouchEvent&)) {
  ImGuiIO& io = ImGui::GetIO();
  switch (e.type) {
    case SDL_QUIT:
      return false;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_LEAVE) FacePointerNone();
      break;
    case SDL_MOUSEMOTION: {
      if (e.motion.which == SDL_TOUCH_MOUSEID) break;
      px_ = e.motion.x * kViewW / win_w_;
      py_ = e.motion.y * kViewH / win_h_;
      io.MousePos = ImVec2(px_, py_);
      FacePointer(px_, py_);  // she looks where the mouse is
      if (down_ && !ui_pointer_) Mouse(TOUCH_MOVED, px_, py_, mirrored_, deliver);
      break;
    }
    case SDL_MOUSEBUTTONDOWN: {
      if (e.button.which == SDL_TOUCH_MOUSEID || e.button.button != SDL_BUTTON_LEFT) break;
      px_ = e.button.x * kViewW / win_w_;
      py_ = e.button.y * kViewH / win_h_;
      io.MousePos = ImVec2(px_, py_);
      down_ = true;
      ui_pointer_ = nav && UIKitHitsControl(*nav, px_, py_);
      if (ui_pointer_) {
        io.MouseDown[0] = true;
      } else {
        mirrored_ = (SDL_GetModState() & KMOD_ALT) != 0;
        Mouse(TOUCH_BEGAN, px_, py_, mirrored_, deliver);
      }
      break;
    }
    case SDL_MOUSEBUTTONUP: {
      if (e.button.which == SDL_TOUCH_MOUSEID || e.button.button != SDL_BUTTON_LEFT) break;
      px_ = e.button.x * kViewW / win_w_;
      py_ = e.button.y * kViewH / win_h_;
      io.MousePos = ImVec2(px_, py_);
      if (ui_pointer_)
        io.MouseDown[0] = false;
      else if (down_)
        Mouse(TOUCH_ENDED, px_, py_, mirrored_, deliver);
      down_ = ui_pointer_ = false;
      break;
    }
    case SDL_MOUSEWHEEL: {
      if (e.wheel.y == 0 || down_) break;
      if (nav && nav->depth() > 1) break;
      // A short pinch about the centre: spread grows with wheel-up (nearer).
      const float d0 = 100.0f, d1 = e.wheel.y > 0 ? 110.0f : 90.0f;
      const float cx = kViewW / 2, cy = kViewH / 2;
      Send({{TOUCH_BEGAN, cx - d0 / 2, cy}, {TOUCH_BEGAN, cx + d0 / 2, cy}}, deliver);
      Send({{TOUCH_MOVED, cx - d1 / 2, cy}, {TOUCH_MOVED, cx + d1 / 2, cy}}, deliver);
      Send({{TOUCH_ENDED, cx - d1 / 2, cy}, {TOUCH_ENDED, cx + d1 / 2, cy}}, deliver);
      break;
    }
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP: {
      const int32_t phase = e.type == SDL_FINGERDOWN ? TOUCH_BEGAN : e.type == SDL_FINGERUP ? TOUCH_ENDED : TOUCH_MOVED;
      const float x = e.tfinger.x * kViewW, y = e.tfinger.y * kViewH;
      if (e.type == SDL_FINGERDOWN && fingers_.empty() && nav && UIKitHitsControl(*nav, x, y)) {
        // A finger on a control works the interface like the mouse does.
        io.MousePos = ImVec2(x, y);
        io.MouseDown[0] = true;
        ui_pointer_ = true;
        break;
      }
      if (ui_pointer_ && fingers_.empty()) {
        io.MousePos = ImVec2(x, y);
        if (e.type == SDL_FINGERUP) io.MouseDown[0] = ui_pointer_ = false;
        break;
      }
      std::vector<TouchPoint> pts;
      fingers_[e.tfinger.fingerId] = {phase, x, y};
      for (auto& f : fingers_) {
        pts.push_back(f.first == e.tfinger.fingerId ? f.second : TouchPoint{TOUCH_STATIONARY, f.second.x, f.second.y});
      }
      if (e.type == SDL_FINGERUP) fingers_.erase(e.tfinger.fingerId);
      Send(pts, deliver);
      break;
    }
    case SDL_TEXTINPUT:
      io.AddInputCharactersUTF8(e.text.text);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const int sc = e.key.keysym.scancode;
      const bool down = e.type == SDL_KEYDOWN;
      if (sc >= 0 && sc < IM_ARRAYSIZE(io.KeysDown)) io.KeysDown[sc] = down;
      const SDL_Keymod mod = SDL_GetModState();
      io.KeyShift = (mod & KMOD_SHIFT) != 0;
      io.KeyCtrl = (mod & KMOD_CTRL) != 0;
      io.KeyAlt = (mod & KMOD_ALT) != 0;
      if (down && e.key.keysym.sym == SDLK_F12) shot_ = true;
      if (!down || io.WantTextInput || !accel) break;
      switch (e.key.keysym.sym) {
        case SDLK_LEFT: accel->TiltRight(-AccelEmulator::kTiltStep); break;
        case SDLK_RIGHT: accel->TiltRight(AccelEmulator::kTiltStep); break;
        case SDLK_UP: accel->TiltForward(AccelEmulator::kTiltStep); break;
        case SDLK_DOWN: accel->TiltForward(-AccelEmulator::kTiltStep); break;
        case SDLK_s: accel->Shake(); break;
        case SDLK_0: accel->Reset(); break;
        case SDLK_m:  // sound off, and back to the level it had
          FaceToggleMute();
          GirlSaveFaceSettings();
          break;
        case SDLK_ESCAPE: return false;
        default: break;
      }
      break;
    }
    default:
      break;
  }
  return true;
}
