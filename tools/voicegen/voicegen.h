// The voice-line generator as a function, for the build tool and the
// benchmark: speaks every line of both languages into `dir` as <name>.wav.
// False, with a message, when a synthesiser is missing or a file cannot be written.
#pragma once

#include <string>

bool SpeakVoiceLines(const std::string& dir);
