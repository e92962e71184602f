// Frames the window's input for an immediate-mode interface that samples
// buttons once per frame: a key, mouse button or finger pressed and released
// between two frames would otherwise never be seen down. The window pushes every SDL
// event; each frame takes the events up to (not including) the first release
// of something pressed within the same frame, and the rest waits for the
// next frame, so order is kept and no press is lost.
#pragma once

#include <SDL2/SDL_events.h>

#include <vector>

class InputQueue {
 public:
  void Push(const SDL_Event& event) { pending_.push_back(event); }
  std::vector<SDL_Event> TakeFrame();
  bool Empty() const { return pending_.empty(); }

 private:
  std::vector<SDL_Event> pending_;
};
