#include "content/content_util.h"

#include "picture/picture_file.h"

#include <fstream>
#include <iterator>

namespace content {

const char* const kModels[4] = {"girl_beach", "girl_casual", "girl_school", "girl_business"};
const char* const kPictures[] = {
    "girl_white.jpg",          "girl_yellow.jpg",         "girl_lightbrown.jpg",    "girl_brown.jpg",
    "girl_hair_mask.png",      "girl_blonde_hair.jpg",    "girl_brown_hair.jpg",    "girl_black_hair.jpg",
    "girl_red_hair.jpg",       "girl_beach_mask.png",     "girl_beach_clothes.jpg", "girl_casual_mask.png",
    "girl_casual_clothes.jpg", "girl_school_mask.png",    "girl_school_clothes.jpg", "girl_business_mask.png",
    "girl_business_clothes.jpg"};
const int kPictureCount = sizeof(kPictures) / sizeof(kPictures[0]);

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

std::unique_ptr<CPODScene> LoadModel(const std::string& name) {
  auto scene = std::make_unique<CPODScene>();
  if (!scene->ReadFromFile(ResourcePath(name + ".POD").c_str())) return nullptr;
  return scene;
}

bool SameBytes(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  if (!fa || !fb) return false;
  const std::string da((std::istreambuf_iterator<char>(fa)), std::istreambuf_iterator<char>());
  const std::string db((std::istreambuf_iterator<char>(fb)), std::istreambuf_iterator<char>());
  return !da.empty() && da == db;
}

}  // namespace content
