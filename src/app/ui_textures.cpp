// The interface's artwork: bundle pictures made into GL textures once and
// kept until the kit shuts down or the pixel scale changes.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "app/ui_draw.h"
#include "app/ui_internal.h"
#include "files/bundle.h"
#include "gles/gl_texture.h"
#include "gles/gles.h"
#include "texture/gamelib.h"

namespace uidraw {

void ForgetTextures() {
  for (auto& t : kit.textures)
    if (t.second) glDeleteTextures(1, &t.second);
  kit.textures.clear();
}

}  // namespace uidraw

using uidraw::kit;

unsigned int UIKitTexture(const std::string& name) {
  auto it = kit.textures.find(name);
  if (it != kit.textures.end()) return it->second;
  GLuint tex = 0;
  tag_TexPicDesc desc{};
  // Where a point has more than one pixel, the artwork's double-size
  // version ("name@2x.png") is used when the bundle has one.
  std::string pick = name;
  const size_t dot = name.rfind('.');
  if (kit.scale > 1.0f && dot != std::string::npos && dot > 0) {
    const std::string twice = name.substr(0, dot) + "@2x" + name.substr(dot);
    std::string path;
    if (BundlePathForResource(twice.c_str(), nullptr, path)) pick = twice;
  }
  unsigned char* px = name.empty() ? nullptr : ReadPictureData(pick.c_str(), &desc);
  if (px) {
    // The decoder premultiplies; ImGui blends straight alpha.
    for (int i = 0; i < desc.xs * desc.ys; ++i) {
      unsigned char* p = px + 4 * i;
      if (p[3] && p[3] < 255)
        for (int k = 0; k < 3; ++k) p[k] = static_cast<unsigned char>(std::min(255, p[k] * 255 / p[3]));
    }
    tex = GlMakeTexture(GL_RGBA, desc.xs, desc.ys, px, {GL_LINEAR, GL_LINEAR, GL_CLAMP_TO_EDGE, false});
    glBindTexture(GL_TEXTURE_2D, 0);
    std::free(px);
  }
  kit.textures[name] = tex;
  return tex;
}
