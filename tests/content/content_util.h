// Helpers of the bundle tests: the file lists, decoding pictures without GL,
// and loading a model with the system's own reader.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "scene/ModelPOD.h"

namespace content {

inline constexpr const auto& kModels = kOutfitModels;
extern const std::vector<std::string> kPictures;  // every picture file of her texture

std::string ResourcePath(const std::string& name);

struct Picture {
  int w = 0, h = 0, channels = 0, bitDepth = 0;
  std::vector<unsigned char> px;  // rows top first, `channels` bytes a pixel
};
// Read through the picture module; false with a message on failure.
bool LoadPicture(const std::string& path, Picture& out);

// The first channel of the texel a stored texture coordinate samples (the
// loader flips v into the picture's top-row-first order), clamped to the picture.
unsigned char MaskAt(const Picture& p, float u, float v);

// A model read by CPODScene::ReadFromFile (which checks indices and sizes).
std::unique_ptr<CPODScene> LoadModel(const std::string& name);

}  // namespace content
