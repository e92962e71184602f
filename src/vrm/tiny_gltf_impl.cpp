// tinygltf's implementation, compiled once. Its options (CMakeLists.txt,
// the same for every source of this library) leave out its own picture
// decoding and writing (our picture module decodes), all file access (a
// character is one GLB read from memory) and exceptions from its JSON parsing.
#define TINYGLTF_IMPLEMENTATION
// Its writer names std::ofstream even without file access; we never call it.
#include <fstream>

#include <tiny_gltf.h>
