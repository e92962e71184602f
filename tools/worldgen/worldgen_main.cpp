// Build step: worldgen <bundle folder> writes the backdrops and their textures.
#include <cstdio>

#include "generators.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: worldgen <bundle folder>\n");
    return 2;
  }
  return GenerateBackdrops(argv[1]) ? 0 : 1;
}
