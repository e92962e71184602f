#include "texture/gamelib.h"

#include "files/bundle.h"
#include "files/files.h"
#include "gles/gl_texture.h"
#include "picture/picture_file.h"
#include "texture/mip_chain.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
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
  // Set for a texture LoadMaskedTexture made: its size and mipmapping, so
  // that another such texture can be written into its storage.
  int width = 0, height = 0, mode = -1;
};
std::map<GLuint, Made> g_made;    // textures that can be parked
std::map<GLuint, Made> g_parked;  // deleted during a reuse window, kept
bool g_reusing = false;

// Textures whose every texel, as uploaded here, has alpha 255.
std::set<GLuint> g_opaque;

bool AllOpaque(const unsigned char* rgba, size_t pixels) {
  unsigned char a = 255;
  for (size_t i = 0; i < pixels; ++i) a &= rgba[4 * i + 3];
  return a == 255;
}

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
  g_opaque.erase(tex);
  glDeleteTextures(1, &tex);
}

bool TextureOpaque(GLuint tex) { return tex != 0 && g_opaque.count(tex) != 0; }

void TextureReuseBegin() { g_reusing = true; }

void TextureReuseEnd() {
  g_reusing = false;
  for (auto& parked : g_parked) {
    g_opaque.erase(parked.first);
    glDeleteTextures(1, &parked.first);
  }
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
  Made made{key, {}, 0, 0, -1};
  if (tex == 0) return;
  if (Stamps(files, made.stamps))
    g_made[tex] = made;
  else
    g_made.erase(tex);
}

// ---------------------------------------------------------------------------
// Pictures

namespace {

// The messages below that end without a line end are kept as they always
// were; a line of our own (naming the file and what is wrong with it) that
// follows one of them starts on a line of its own.
bool g_line_open = false;

void Said(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  g_line_open = true;
}

// Said once: a picture several materials use is named once, not for each.
void Line(const std::string& text) {
  static std::set<std::string>* said = new std::set<std::string>();
  if (!said->insert(text).second) return;
  std::fprintf(stderr, "%sPicture %s\n", g_line_open ? "\n" : "", text.c_str());
  g_line_open = false;
}

}  // namespace

unsigned char* ReadPictureData(const char* name, tag_TexPicDesc* desc) {
  std::string path;
  char* file = nullptr;
  size_t size = 0;
  if (!name || !BundlePathForResource(name, nullptr, path)) {
    Line(BundleWhyNot(name, nullptr));
    Said(std::string("Couldn't load '") + (name ? name : "(null)") + "' from bundle");
    return nullptr;
  }
  struct stat st {};
  const FileStatus read = FileReadAll(path.c_str(), kMaxPictureFileBytes, &file, &size, &st);
  if (read != kFileOk) {
    Line(path + ": " + FileStatusText(read, st, errno));
    Said(std::string("Couldn't load '") + name + "' from bundle");
    return nullptr;
  }
  DecodedPicture pic;
  const PictureStatus status = DecodePicture(reinterpret_cast<const uint8_t*>(file), size, &pic);
  std::free(file);
  if (status != kPictureOk) Line(path + ": " + PictureProblem(status, pic));
  if (status == kPictureBroken || status == kPictureTooLarge) {
    Said(std::string("Couldn't load '") + name + "' from bundle");
    return nullptr;
  }
  if (status == kPictureNoMemory) {
    Said(std::string("Couldn't get CGImage data from '") + name + "' image");
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

namespace {

// How a mode samples; an unknown one keeps GL's defaults. GL never makes
// the levels (MipChain does, for the modes Mipmapped names).
GlTextureLook MipmapLook(texmip mode) {
  GlTextureLook look;
  switch (mode) {
    case TEXMIP_NONE:
      look.min_filter = GL_LINEAR;
      break;
    case TEXMIP_NEAREST:
      look.min_filter = GL_LINEAR_MIPMAP_NEAREST;
      break;
    case TEXMIP_LINEAR:
      look.min_filter = GL_LINEAR_MIPMAP_LINEAR;
      break;
    default:
      look.min_filter = GL_NEAREST_MIPMAP_LINEAR;
      break;
  }
  return look;
}

// The same on the bound texture (storage made before).
void SetMipmapping(texmip mode) {
  const GlTextureLook look = MipmapLook(mode);
  glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, look.mipmaps ? GL_TRUE : GL_FALSE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, look.min_filter);
}

bool Mipmapped(texmip mode) { return mode == TEXMIP_NEAREST || mode == TEXMIP_LINEAR; }

}  // namespace

GLuint LoadTextureData(unsigned char* pixels, tag_TexPicDesc* desc, texmip mode) {
  if (!pixels || !desc) return 0;
  const unsigned char* upload = pixels;
  unsigned char noise[8 * 8 * 4];
  if (!IsPowerOfTwo(desc->xs) || !IsPowerOfTwo(desc->ys)) {
    std::fprintf(stderr, "Texture sizes (%d,%d) aren't powers of two\n", desc->xs, desc->ys);
    g_line_open = false;
    // The caller's buffer may hold fewer than the 256 noise bytes (a picture
    // under 64 pixels), so the noise is made here and only what fits is
    // copied back.
    const size_t have =
        desc->xs > 0 && desc->ys > 0 ? static_cast<size_t>(desc->xs) * static_cast<size_t>(desc->ys) * 4 : 0;
    for (unsigned char& b : noise) b = static_cast<unsigned char>(std::rand() & 0xFF);
    std::memcpy(pixels, noise, have < sizeof noise ? have : sizeof noise);
    desc->xs = 8;
    desc->ys = 8;
    upload = noise;
  }

  const GLuint name = GlMakeTexture(GL_RGBA, desc->xs, desc->ys, upload, MipmapLook(mode));
  if (Mipmapped(mode)) MipChain(desc->xs, desc->ys, true).AddRows(upload, desc->ys);
  if (AllOpaque(upload, static_cast<size_t>(desc->xs) * static_cast<size_t>(desc->ys)))
    g_opaque.insert(name);
  else
    g_opaque.erase(name);
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
    Said(std::string("Texture file ") + (name ? name : "(null)") + " not loaded");
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

GLuint LoadTextureFile(const char* path, texmip mode) {
  char* file = nullptr;
  size_t size = 0;
  DecodedPicture pic{};
  const bool read = path && FileReadAll(path, kMaxPictureFileBytes, &file, &size) == kFileOk &&
                    DecodePicture(reinterpret_cast<const uint8_t*>(file), size, &pic, false) == kPictureOk;
  std::free(file);
  if (!read) {
    std::fprintf(stderr, "Texture file %s not loaded\n", path ? path : "(null)");
    return 0;
  }
  tag_TexPicDesc desc = {pic.width, pic.height, pic.bpp};
  const GLuint id = LoadTextureData(pic.pixels, &desc, mode);
  std::free(pic.pixels);
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
  if (!ok) g_line_open = false;
  return ok;
}

std::string Size(const tag_TexPicDesc& d) { return std::to_string(d.xs) + " x " + std::to_string(d.ys); }

// What is wrong with a layer whose pictures both decoded, as a line naming
// the file, in the order of the checks above: the picture it is laid on and
// the mask and picture of 3 or 4 bytes a pixel, all of one size.
std::string LayerProblem(const tag_TexPicDesc* under, const char* maskName, const tag_TexPicDesc& mask,
                         const char* pictureName, const tag_TexPicDesc& picture) {
  std::string path;
  auto named = [&](const char* name) { return BundlePathForResource(name, nullptr, path) ? path : std::string(name); };
  auto badDepth = [](const tag_TexPicDesc& d) { return (d.bpp >> 3) < 3 || (d.bpp >> 3) > 4; };
  const char* const kDepths = " bits a pixel, but a layer needs 8-bit RGB or RGBA";
  if (under && badDepth(*under))
    return named(maskName) + ": laid on a picture of " + std::to_string(under->bpp) + kDepths;
  if (badDepth(mask)) return named(maskName) + ": " + std::to_string(mask.bpp) + kDepths;
  if (badDepth(picture)) return named(pictureName) + ": " + std::to_string(picture.bpp) + kDepths;
  if (mask.xs != picture.xs || mask.ys != picture.ys)
    return named(maskName) + ": " + Size(mask) + " pixels, but " + pictureName + " has " + Size(picture);
  if (under && (under->xs != mask.xs || under->ys != mask.ys))
    return named(maskName) + ": " + Size(mask) + " pixels, but the picture it is laid on has " + Size(*under);
  return "";
}

#define OVERLAY_CHECK(cond) Check((cond), #cond)

// A mask's red channel kept from one composition to the next as runs of
// equal values, a few kilobytes for our masks (the 1024x1024 ones are some
// thousand runs), so that a settings change decodes no mask used before:
// their PNGs inflate slowly, about 10 ms each.
struct KeptMask {
  std::string name;
  std::vector<long long> stamps;  // of the file the runs were decoded from
  tag_TexPicDesc desc{0, 0, 0};
  std::vector<uint8_t> runs;  // value, length (1..255) pairs
  unsigned long long used = 0;
};
constexpr size_t kKeptMasks = 8;
constexpr size_t kMaxMaskRunBytes = size_t(256) << 10;  // a mask of more detail is decoded each time
std::vector<KeptMask>& KeptMasks() {
  static std::vector<KeptMask>* kept = new std::vector<KeptMask>();
  return *kept;
}
unsigned long long g_mask_uses = 0;

void KeepMask(KeptMask&& mask) {
  std::vector<KeptMask>& kept = KeptMasks();
  KeptMask* slot = nullptr;
  for (KeptMask& k : kept)
    if (k.name == mask.name) slot = &k;
  if (!slot && kept.size() < kKeptMasks) slot = &*kept.emplace(kept.end());
  if (!slot) {
    slot = &kept[0];
    for (KeptMask& k : kept)
      if (k.used < slot->used) slot = &k;
  }
  *slot = std::move(mask);
}

// A bundle picture being read row by row, or a mask from its kept runs.
struct RowSource {
  char* file = nullptr;
  PictureRows* rows = nullptr;
  tag_TexPicDesc desc{0, 0, 0};
  std::vector<unsigned char> band;
  const KeptMask* kept = nullptr;  // the runs read from
  size_t run = 0;
  int left = 0;
  bool making = false;  // decoding, and noting the runs in `made`
  KeptMask made;
  size_t decoded = 0;  // pixels

  bool OpenMask(const char* name) {
    std::vector<long long> stamps;
    if (name && Stamps({name}, stamps)) {
      for (KeptMask& k : KeptMasks())
        if (k.name == name && k.stamps == stamps) {
          k.used = ++g_mask_uses;
          kept = &k;
          desc = k.desc;
          return true;
        }
      making = true;
      made.name = name;
      made.stamps = stamps;
    }
    if (!Open(name)) return false;
    made.desc = desc;
    return true;
  }
  // `count` pixels into band, 4 bytes a pixel (of a kept mask only red).
  bool Read(int rowCount) {
    const size_t count = static_cast<size_t>(rowCount) * static_cast<size_t>(desc.xs);
    if (kept) {
      for (size_t i = 0; i < count; ++i) {
        if (left == 0) {
          if (run + 2 > kept->runs.size()) return false;
          left = kept->runs[run + 1];
          run += 2;
        }
        band[i * 4] = kept->runs[run - 2];
        --left;
      }
      return true;
    }
    if (!PictureRowsRead(rows, band.data(), rowCount)) return false;
    decoded += count;
    for (size_t i = 0; making && i < count; ++i) {
      std::vector<uint8_t>& r = made.runs;
      const uint8_t v = band[i * 4];
      if (!r.empty() && r[r.size() - 2] == v && r.back() < 255) {
        ++r.back();
      } else {
        r.push_back(v);
        r.push_back(1);
      }
      if (r.size() > kMaxMaskRunBytes) making = false;
    }
    return true;
  }
  bool Open(const char* name) {
    std::string path;
    size_t size = 0;
    if (!name || !BundlePathForResource(name, nullptr, path) ||
        FileReadAll(path.c_str(), kMaxPictureFileBytes, &file, &size) != kFileOk)
      return false;
    rows = PictureRowsOpen(reinterpret_cast<const uint8_t*>(file), size, &desc.xs, &desc.ys, &desc.bpp);
    return rows != nullptr;
  }
  // False when the picture, read to its end, turned out broken after all.
  // A mask decoded whole and sound is kept.
  bool Close() {
    const bool whole = rows && PictureRowsClose(rows);
    const bool ok = !rows || whole;
    if (whole && making && decoded == static_cast<size_t>(desc.xs) * static_cast<size_t>(desc.ys)) {
      made.used = ++g_mask_uses;
      KeepMask(std::move(made));
    }
    making = false;
    rows = nullptr;
    std::free(file);
    file = nullptr;
    return ok;
  }
};

}  // namespace

void OverlayMaskedTexture32(unsigned char* tex, tag_TexPicDesc* p, const char* maskName, const char* pictureName) {
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
                  OVERLAY_CHECK(bypp_b >= 3) && OVERLAY_CHECK(bypp_dest <= 4) && OVERLAY_CHECK(bypp_a <= 4) &&
                  OVERLAY_CHECK(bypp_b <= 4) && OVERLAY_CHECK(tex) && OVERLAY_CHECK(tex_a) && OVERLAY_CHECK(tex_b) &&
                  OVERLAY_CHECK(a.xs == b.xs) && OVERLAY_CHECK(a.ys == b.ys) && OVERLAY_CHECK(p->xs == a.xs) &&
                  OVERLAY_CHECK(p->ys == a.ys);
  // A picture that did not decode was named already.
  if (!ok && tex && tex_a && tex_b) {
    const std::string problem = LayerProblem(p, maskName, a, pictureName, b);
    if (!problem.empty()) Line(problem);
  }
  if (ok) {
    // The decoded buffers hold 4 bytes a pixel whatever the file stored, so
    // all three are walked in steps of 4; the stored depth only decides
    // whether alpha takes part.
    BlendMaskedPixels(tex, tex_a, tex_b, static_cast<size_t>(p->xs) * static_cast<size_t>(p->ys),
                      (bypp_dest & bypp_b) == 4);
  }
  std::free(tex_a);
  std::free(tex_b);
}

bool ComposeMaskedRows(const char* base, const MaskedLayer* layers, int count, tag_TexPicDesc* desc,
                       const std::function<bool(int y, int rows, const unsigned char* rgba, bool last)>& band) {
  // Rows a band: a few hundred kilobytes for the five pictures of her texture.
  constexpr int kBandRows = 16;
  std::vector<RowSource> sources(1 + 2 * static_cast<size_t>(count > 0 ? count : 0));
  bool ok = sources[0].Open(base);
  const tag_TexPicDesc d = sources[0].desc;
  const unsigned bypp_dest = static_cast<unsigned>(d.bpp) >> 3;
  ok = ok && bypp_dest >= 3 && bypp_dest <= 4;  // as OverlayMaskedTexture32 asks of each picture
  for (size_t i = 1; ok && i < sources.size(); ++i) {
    const MaskedLayer& l = layers[(i - 1) / 2];
    RowSource& s = sources[i];
    ok = (i % 2 ? s.OpenMask(l.mask) : s.Open(l.picture)) && s.desc.xs == d.xs && s.desc.ys == d.ys &&
         s.desc.bpp >= 24 && s.desc.bpp < 40;
  }
  if (ok) *desc = d;
  const size_t width = static_cast<size_t>(d.xs);
  for (int y = 0; ok && y < d.ys; y += kBandRows) {
    const int rows = d.ys - y < kBandRows ? d.ys - y : kBandRows;
    for (RowSource& s : sources) {
      s.band.resize(width * kBandRows * 4);
      ok = ok && s.Read(rows);
    }
    for (size_t i = 1; ok && i < sources.size(); i += 2) {
      const bool blendAlpha = (bypp_dest & (static_cast<unsigned>(sources[i + 1].desc.bpp) >> 3)) == 4;
      BlendMaskedPixels(sources[0].band.data(), sources[i].band.data(), sources[i + 1].band.data(), width * rows,
                        blendAlpha);
    }
    const bool last = y + rows >= d.ys;
    // Masks are kept only from here, after every read: `kept` points into them.
    if (ok && last)
      for (RowSource& s : sources) ok = s.Close() && ok;
    ok = ok && band(y, rows, sources[0].band.data(), last);
  }
  for (RowSource& s : sources) s.Close();
  return ok;
}

namespace {

// A parked texture that LoadMaskedTexture made in this size and mipmapping,
// taken out of the parked ones to be written over; 0 when there is none.
GLuint TakeMaskedStorage(int width, int height, texmip mode) {
  for (auto it = g_parked.begin(); it != g_parked.end(); ++it) {
    if (it->second.width != width || it->second.height != height || it->second.mode != mode) continue;
    const GLuint tex = it->first;
    g_parked.erase(it);
    return tex;
  }
  return 0;
}

}  // namespace

GLuint LoadMaskedTexture(const char* base, const MaskedLayer* layers, int count, texmip mode, const std::string& key,
                         const std::vector<std::string>& files) {
  tag_TexPicDesc desc{0, 0, 0};
  GLuint tex = 0;
  bool opaque = true;
  std::unique_ptr<MipChain> chain;  // the other levels, band by band
  auto upload = [&](int y, int rows, const unsigned char* rgba, bool) {
    opaque = opaque && AllOpaque(rgba, static_cast<size_t>(desc.xs) * static_cast<size_t>(rows));
    if (y == 0) {
      if (!IsPowerOfTwo(desc.xs) || !IsPowerOfTwo(desc.ys)) return false;
      tex = TakeMaskedStorage(desc.xs, desc.ys, mode);
      const bool fresh = tex == 0;
      if (fresh) {
        tex = GlMakeTexture(GL_RGBA, desc.xs, desc.ys, nullptr, MipmapLook(mode));
      } else {
        glBindTexture(GL_TEXTURE_2D, tex);
        SetMipmapping(mode);
      }
      if (Mipmapped(mode)) chain.reset(new MipChain(desc.xs, desc.ys, fresh));
    }
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, y, desc.xs, rows, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    if (chain) chain->AddRows(rgba, rows);
    return true;
  };
  if (ComposeMaskedRows(base, layers, count, &desc, upload)) {
    Made made{key, {}, desc.xs, desc.ys, mode};
    if (Stamps(files, made.stamps)) g_made[tex] = made;
    if (opaque)
      g_opaque.insert(tex);
    else
      g_opaque.erase(tex);
    return tex;
  }
  if (tex) {
    g_opaque.erase(tex);
    glDeleteTextures(1, &tex);
  }
  // Made whole, which says what is wrong with the pictures.
  unsigned char* pixels = ReadPictureData(base, &desc);
  if (!pixels) return 0;
  for (int l = 0; l < count; ++l) OverlayMaskedTexture32(pixels, &desc, layers[l].mask, layers[l].picture);
  // Noise stands in for a picture whose sides are not powers of two; it is never kept.
  const bool keep = IsPowerOfTwo(desc.xs) && IsPowerOfTwo(desc.ys);
  tex = LoadTextureData(pixels, &desc, mode);
  std::free(pixels);
  if (keep) TextureReuseRecord(tex, key, files);
  return tex;
}
