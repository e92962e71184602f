#include "devices/input_queue.h"

#include <set>

std::vector<SDL_Event> InputQueue::TakeFrame() {
  std::set<int> keys, buttons;
  std::set<SDL_FingerID> fingers;
  size_t n = 0;
  for (; n < pending_.size(); ++n) {
    const SDL_Event& e = pending_[n];
    if (e.type == SDL_KEYDOWN) {
      keys.insert(e.key.keysym.scancode);
    } else if (e.type == SDL_KEYUP) {
      if (keys.count(e.key.keysym.scancode)) break;
    } else if (e.type == SDL_MOUSEBUTTONDOWN) {
      buttons.insert(e.button.button);
    } else if (e.type == SDL_MOUSEBUTTONUP) {
      if (buttons.count(e.button.button)) break;
    } else if (e.type == SDL_FINGERDOWN) {
      fingers.insert(e.tfinger.fingerId);
    } else if (e.type == SDL_FINGERUP) {
      if (fingers.count(e.tfinger.fingerId)) break;
    }
  }
  std::vector<SDL_Event> frame(pending_.begin(), pending_.begin() + static_cast<long>(n));
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(n));
  return frame;
}
