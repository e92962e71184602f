// The window's SDL events in the terms of the one input handler
// (input/input.h): mouse positions in window units, key names, finger
// phases, typed text. Nothing is decided here; the handler and its sink do
// that. Window resizes are the window's own business (main_window.cpp).
#pragma once

#include <SDL2/SDL_events.h>

#include <string>

#include "input/input.h"

// Hands one event to the handler. False for a request to close the window.
bool WindowInputTranslate(const SDL_Event& e, InputState& state, InputSink& sink);

// The handler's name of an SDL key ("" for keys it has no name for).
std::string WindowKeyName(SDL_Keycode sym);
