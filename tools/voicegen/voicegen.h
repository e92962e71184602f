// The voice-line generator as a function, for the build tool and the
// benchmark: copies the captions table (tools/voicegen/captions.txt unless
// another is given) into `dir` as captions.txt and speaks every line of it
// into `dir` as <name>.wav with its mouth timing as <name>.lips. False, with
// a message, when a synthesiser is missing or a file cannot be read or written.
#pragma once

#include <string>

bool SpeakVoiceLines(const std::string& dir, const std::string& captions = OVANTA_CAPTIONS_SOURCE);
