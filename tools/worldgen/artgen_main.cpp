// Build step: artgen <bundle folder> writes the light and interface pictures.
#include <cstdio>

#include "generators.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: artgen <bundle folder>\n");
    return 2;
  }
  return GenerateArt(argv[1]) ? 0 : 1;
}
