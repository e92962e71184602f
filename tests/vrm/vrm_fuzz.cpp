// libFuzzer target: a VRM file read from memory, and when it is read, turned
// into a character in memory with a stand-in for her clips (whose scene
// file the conversion reads back itself: one it makes always loads).
// Refusals are fine; crashes, hangs, leaks and undefined behaviour are not.
#include <cstddef>
#include <cstdint>
#include <string>
#include "kit/vrm_builder.h"
#include "vrm/vrm_convert.h"
#include "vrm/vrm_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CPODScene* clips = [] {
    auto* s = new CPODScene();
    testkit::BuildHerStandIn(*s);
    return s;
  }();
  vrm::Document doc;
  std::string reason;
  if (!vrm::ReadVrm(data, size, &doc, &reason)) return 0;
  vrm::Character character;
  vrm::ConvertVrm(doc, *clips, &character, &reason);
  return 0;
}
