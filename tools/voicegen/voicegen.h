// The voice-line generator as a function, for the build tool and the
// benchmark: copies the captions table (tools/voicegen/captions.txt unless
// another is given) into `dir` as captions.txt and speaks every line of it
// into `dir` as <name>.wav with its mouth timing as <name>.lips. Returns the
// program's exit status: 0 when done; kExitNoInput, with one line and
// nothing written, when the table cannot be read or parsed; 1, with a
// message, when a synthesiser fails or a file cannot be written.
#pragma once

#include <string>

int SpeakVoiceLines(const std::string& dir, const std::string& captions = OVANTA_CAPTIONS_SOURCE);
