// Build step: voicegen <bundle folder> speaks the voice lines into the bundle.
#include <cstdio>

#include "voicegen.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: voicegen <bundle folder>\n");
    return 2;
  }
  return SpeakVoiceLines(argv[1]) ? 0 : 1;
}
