// libFuzzer target: a VRM file read from memory, and when it is read, turned
// into a character in memory. Refusals are fine; crashes, hangs, leaks and
// undefined behaviour are not.
#include <cstddef>
#include <cstdint>
#include <string>

#include "vrm/vrm_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vrm::Document doc;
  std::string reason;
  vrm::ReadVrm(data, size, &doc, &reason);
  return 0;
}
