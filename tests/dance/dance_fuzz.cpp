// libFuzzer target: a VRM animation read from memory, and when it is read,
// laid on a stand-in for her scene as the app lays a dance on a load.
// Refusals are fine; crashes, hangs, leaks and undefined behaviour are not.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dance/dance.h"
#include "kit/vrm_builder.h"
#include "scene/ModelPOD.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vrm::Animation dance;
  std::string reason;
  if (!vrm::ReadVrma(data, size, &dance, &reason)) return 0;
  CPODScene scene;
  testkit::BuildHerStandIn(scene);
  DanceClips clips;
  DanceLay(&scene, DanceHumanoid(scene, nullptr), dance, &clips, &reason);
  return 0;
}
