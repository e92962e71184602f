#include "content/content_util.h"

#include <algorithm>

#include "picture/picture_file.h"

namespace content {

const std::vector<std::string> kPictures = [] {
  std::vector<std::string> files = {kHairColours[0].mask};
  for (int k = 0; k < kCatalogOptions; ++k)
    for (const char* f :
         {kSkinTones[k].picture, kHairColours[k].picture, kOutfitClothes[k].mask, kOutfitClothes[k].picture})
      files.push_back(f);
  return files;
}();

std::string ResourcePath(const std::string& name) { return std::string(GIRL_RESOURCES) + "/" + name; }

bool LoadPicture(const std::string& path, Picture& out) {
  ::Picture rgba;
  if (!ReadPicture(path, rgba)) return false;
  // Back to the channels the file stores (8 bits each in every file we make).
  out.w = rgba.width;
  out.h = rgba.height;
  out.channels = rgba.bpp >= 8 && rgba.bpp <= 32 && rgba.bpp % 8 == 0 ? rgba.bpp / 8 : 4;
  out.bitDepth = rgba.bpp / out.channels;
  out.px.clear();
  for (size_t i = 0; i < rgba.rgba.size(); i += 4)
    out.px.insert(out.px.end(), rgba.rgba.begin() + i, rgba.rgba.begin() + i + out.channels);
  return true;
}

unsigned char MaskAt(const Picture& p, float u, float v) {
  const int x = std::min(p.w - 1, std::max(0, static_cast<int>(u * p.w)));
  const int y = std::min(p.h - 1, std::max(0, static_cast<int>((1.0f - v) * p.h)));
  return p.px[(static_cast<size_t>(y) * p.w + x) * p.channels];
}

std::unique_ptr<CPODScene> LoadModel(const std::string& name) {
  auto scene = std::make_unique<CPODScene>();
  if (!scene->ReadFromFile(ResourcePath(name + ".POD").c_str())) return nullptr;
  return scene;
}

}  // namespace content
