#include "texture/gamelib.h"

#include "files/files.h"
#include "platform/bundle.h"
#include "picture/picture_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

GLuint texture[kMaxTextures];
int n_textures = 0;

namespace {

// A picture file bigger than this is not one of ours; refusing it early keeps
// a stray file from filling memory before the decoder could say no.
constexpr size_t kMaxPictureFileBytes = size_t(256) << 20;

bool IsPowerOfTwo(int32_t v) { return (v & (v - 1)) == 0; }

// What a texture was made from: its key and, per bundle picture, the size
// and modification time of the file.
struct Made {
  std::string key;
  std::vector<long long> stamps;
};
std::map<GLuint, Made> g_made;        // textures that can be parked
std::map<GLuint, Made> g_parked;      // deleted during a reuse window, kept
bool g_reusing = false;

// Size and modification time of each picture; false when one is missing.
bool Stamps(const std::vector<std::string>& files, std::vector<long long>& out) {
  out.clear();
  for (const std::string& f : files) {
    std::string path;
    struct stat st {};
    if (!BundlePathForResource(f.c_str(), nullptr, path) || stat(path.c_str(), &st) != 0) return false;
    out.push_back(static_cast<long long>(st.st_size));
    out.push_back(static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec);
  }
  return true;
}

}  // namespace

void DeleteTexture(GLuint tex) {
  if (tex == 0 || g_parked.count(tex)) return;
  auto made = g_made.find(tex);
  if (g_reusing && made != g_made.end()) {
    g_parked[tex] = made->second;
    g_made.erase(made);
    return;
  }
  if (made != g_made.end()) g_made.erase(made);
  glDeleteTextures(1, &tex);
}

void TextureReuseBegin() { g_reusing = true; }

void TextureReuseEnd() {
  g_reusing = false;
  for (auto& parked : g_parked) glDeleteTextures(1, &parked.first);
  g_parked.clear();
}

GLuint TextureReuseTake(const std::string& key, const std::vector<std::string>& files) {
  if (!g_reusing) return 0;
  std::vector<long long> stamps;
  for (auto it = g_parked.begin(); it != g_parked.end(); ++it) {
    if (it->second.key != key) continue;
    if (!Stamps(files, stamps) || stamps != it->second.stamps) return 0;
    const GLuint tex = it->first;
    g_made[tex] = it->second;
    g_parked.erase(it);
    glBindTexture(GL_TEXTURE_2D, tex);
    return tex;
  }
  return 0;
}

void TextureReuseRecord(GLuint tex, const std::string& key, const std::vector<std::string>& files) {
  Made made{key, {}};
  if (tex == 0) return;
  if (Stamps(files, made.stamps))
    g_made[tex] = made;
  else
    g_made.erase(tex);
}

// ---------------------------------------------------------------------------
// Pictures

unsigned char* ReadPictureData(const char* name, tag_TexPicDesc* desc) {
  std::string path;
  char* file = nullptr;
  size_t size = 0;
  if (!name || !BundlePathForResource(name, nullptr, path) ||
      FileReadAll(path.c_str(), kMaxPictureFileBytes, &file, &size) != kFileOk) {
    std::fprintf(stderr, "Couldn't load '%s' from bundle", name ? name : "(null)");
    return nullptr;
  }
  DecodedPicture pic;
  const PictureStatus status = DecodePicture(reinterpret_cast<const uint8_t*>(file), size, &pic);
  std::free(file);
  if (status == kPictureBroken) {
    std::fprintf(stderr, "Couldn't load '%s' from bundle", name);
    return nullptr;
  }
  if (status == kPictureNoMemory) {
    std::fprintf(stderr, "Couldn't get CGImage data from '%s' image", name);
    return nullptr;
  }
  if (desc) {
    desc->xs = pic.width;
    desc->ys = pic.height;
    desc->bpp = pic.bpp;
  }
  return pic.pixels;
}

// ---------------------------------------------------------------------------
// Uploads

GLuint LoadTextureData(unsigned char* pixels, tag_TexPicDesc* desc, texmip mode) {
  if (!pixels || !desc) return 0;
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);

  const unsigned char* upload = pixels;
  unsigned char noise[8 * 8 * 4];
  if (!IsPowerOfTwo(desc->xs) || !IsPowerOfTwo(desc->ys)) {
    std::fprintf(stderr, "Texture sizes (%d,%d) aren't powers of two\n", desc->xs, desc->ys);
    // The caller's buffer may hold fewer than the 256 noise bytes (a picture
    // under 64 pixels), so the noise is made here and only what fits is
    // copied back.
    const size_t have = desc->xs > 0 && desc->ys > 0
                            ? static_cast<size_t>(desc->xs) * static_cast<size_t>(desc->ys) * 4
                            : 0;
    for (unsigned char& b : noise) b = static_cast<unsigned char>(std::rand() & 0xFF);
    std::memcpy(pixels, noise, have < sizeof noise ? have : sizeof noise);
    desc->xs = 8;
    desc->ys = 8;
    upload = noise;
  }

  switch (mode) {
    case TEXMIP_NONE:
      glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_FALSE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      break;
    case TEXMIP_NEAREST:
      glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
      break;
    case TEXMIP_LINEAR:
      glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
      break;
    default:
      break;
  }
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, desc->xs, desc->ys, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               upload);
  return name;
}

GLuint LoadTextureRGBA(const char* name, texmip mode) {
  const std::string key = std::string("picture ") + (name ? name : "") + " mip " + std::to_string(mode);
  if (name) {
    if (const GLuint kept = TextureReuseTake(key, {name})) return kept;
  }
  tag_TexPicDesc desc = {0, 0, 0};
  unsigned char* pixels = ReadPictureData(name, &desc);
  if (!pixels) {
    std::fprintf(stderr, "Texture file %s not loaded", name ? name : "(null)");
    return 0;
  }
  // A picture whose sides are not powers of two uploads noise instead, a
  // draw of rand() that a reused texture would skip: such is never kept.
  const bool kept = IsPowerOfTwo(desc.xs) && IsPowerOfTwo(desc.ys);
  const GLuint id = LoadTextureData(pixels, &desc, mode);
  std::free(pixels);
  if (kept) TextureReuseRecord(id, key, {name});
  return id;
}

// ---------------------------------------------------------------------------
// Registry

GLuint TextureFromReference(int ref) {
  if (!IsTextureReference(ref)) return 0;
  const int entry = ref + 513;
  return entry < n_textures ? texture[entry] : 0;
}

int RegisterTexture(GLuint tex) {
  if (n_textures < 0 || n_textures >= kMaxTextures) {
    std::fprintf(stderr, "Texture registry full, %u not registered\n", tex);
    return -1;
  }
  texture[n_textures] = tex;
  return TextureReference(n_textures++);
}

void ReleaseTextures() {
  const int n = n_textures < kMaxTextures ? n_textures : kMaxTextures;
  for (int i = 0; i < n; ++i) {
    DeleteTexture(texture[i]);
    texture[i] = 0;
  }
  n_textures = 0;
}

// ---------------------------------------------------------------------------
// Compositing

namespace {

bool Check(bool ok, const char* expression) {
  if (!ok) std::fprintf(stderr, "OverlayMaskedTexture32: precondition failed: %s\n", expression);
  return ok;
}

#define OVERLAY_CHECK(cond) Check((cond), #cond)

}  // namespace

void OverlayMaskedTexture32(unsigned char* tex, tag_TexPicDesc* p, const char* maskName,
                            const char* pictureName) {
  // Zeroed so that a picture that failed to decode fails its checks too.
  tag_TexPicDesc a = {0, 0, 0}, b = {0, 0, 0};
  unsigned char* tex_a = ReadPictureData(maskName, &a);
  unsigned char* tex_b = ReadPictureData(pictureName, &b);
  const unsigned bypp_dest = p ? static_cast<unsigned>(p->bpp) >> 3 : 0;
  const unsigned bypp_a = static_cast<unsigned>(a.bpp) >> 3;
  const unsigned bypp_b = static_cast<unsigned>(b.bpp) >> 3;

  // Every condition before the first write, so a failure leaves tex as it was.
  // Over 4 bytes a pixel (16-bit channels) is refused: the arithmetic is for
  // 8-bit channels.
  const bool ok = OVERLAY_CHECK(p) && OVERLAY_CHECK(bypp_dest >= 3) && OVERLAY_CHECK(bypp_a >= 3) &&
                  OVERLAY_CHECK(bypp_b >= 3) && OVERLAY_CHECK(bypp_dest <= 4) &&
                  OVERLAY_CHECK(bypp_a <= 4) && OVERLAY_CHECK(bypp_b <= 4) && OVERLAY_CHECK(tex) &&
                  OVERLAY_CHECK(tex_a) && OVERLAY_CHECK(tex_b) && OVERLAY_CHECK(a.xs == b.xs) &&
                  OVERLAY_CHECK(a.ys == b.ys) && OVERLAY_CHECK(p->xs == a.xs) &&
                  OVERLAY_CHECK(p->ys == a.ys);
  if (ok) {
    // The decoded buffers hold 4 bytes a pixel whatever the file stored, so
    // all three are walked in steps of 4; the stored depth only decides
    // whether alpha takes part.
    const bool blendAlpha = (bypp_dest & bypp_b) == 4;
    const size_t count = static_cast<size_t>(p->xs) * static_cast<size_t>(p->ys);
    for (size_t i = 0, at = 0; i < count; ++i, at += 4) {
      const uint32_t M = tex_a[at] * 257u;
      const uint32_t N = 65535u - M;
      for (size_t k = 0; k < 3; ++k)
        tex[at + k] = static_cast<unsigned char>((N * tex[at + k] + M * tex_b[at + k]) >> 16);
      if (blendAlpha)
        tex[at + 3] = static_cast<unsigned char>((N * tex[at + 3] + M * tex_b[at + 3]) >> 16);
    }
  }
  std::free(tex_a);
  std::free(tex_b);
}
