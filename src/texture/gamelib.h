// Pictures and textures: decoding bundle pictures into RGBA pixel buffers,
// uploading buffers as GL textures, the registry of the loaded scenes'
// textures, and the masked compositing of the character texture.
//
// Callers: the scene loading composites hair and outfit onto the skin
// picture and uploads the result with LoadMaskedTexture (band by band; made
// whole with ReadPictureData, OverlayMaskedTexture32 and LoadTextureData
// when the pictures cannot be read so); material loading fills the registry
// through RegisterTexture and LoadTextureRGBA; the environment light loads its
// picture with LoadTextureRGBA; the scene release empties the registry with
// ReleaseTextures. Everything runs on the main thread with the GL context
// current. Failures print one message on standard error and return null or 0.
#pragma once

#include "gles/gles.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Describes a decoded picture. `bpp` is the bits per pixel of the picture as
// stored in its file (8-bit grey 8, grey+alpha 16, RGB 24, RGBA 32, palette
// its index depth, 16-bit channels twice as much); the decoded buffer always
// has 4 bytes per pixel whatever `bpp` says.
struct tag_TexPicDesc {
  int32_t xs;   // width in pixels
  int32_t ys;   // height in pixels
  int32_t bpp;  // bits per pixel as stored
};

// Mipmapping of an upload.
enum texmip {
  TEXMIP_NONE = 0,     // one level, GL_LINEAR minification
  TEXMIP_NEAREST = 1,  // a chain of levels (texture/mip_chain.h), GL_LINEAR_MIPMAP_NEAREST
  TEXMIP_LINEAR = 2,   // a chain of levels, GL_LINEAR_MIPMAP_LINEAR
};

// Decodes the bundle picture `name` (file name with extension, PNG or JPEG;
// the kind is told by the file's contents) into a malloc'd buffer of
// xs*ys*4 bytes: R, G, B, A, alpha premultiplied, top row first. The caller
// frees it. Fills *desc only on success.
// Failures (standard error, no line end):
//   "Couldn't load '%s' from bundle"            missing, not a picture, corrupt,
//                                               truncated or oversized
//   "Couldn't get CGImage data from '%s' image" no memory for the pixels
unsigned char* ReadPictureData(const char* name, tag_TexPicDesc* desc);

// Uploads `pixels` as a new GL texture, left bound to GL_TEXTURE_2D, and
// returns its name (0 when pixels is null). Sides that are not powers of two
// print "Texture sizes (%d,%d) aren't powers of two\n", change *desc to 8x8
// and upload 8x8 random bytes instead; those bytes also overwrite the start
// of `pixels`, as far as its xs*ys*4 bytes reach. Mode other than 0..2: the
// filtering is left alone.
GLuint LoadTextureData(unsigned char* pixels, tag_TexPicDesc* desc, texmip mode);

// Whether every texel of `tex` has alpha 255, as LoadTextureData or
// LoadMaskedTexture uploaded it: drawn with it, blending by source alpha
// leaves every pixel as drawing without blending would. False for textures
// made any other way and after DeleteTexture.
bool TextureOpaque(GLuint tex);

// ReadPictureData + LoadTextureData + free. On a decoding failure prints
// "Texture file %s not loaded" after the decoder's message, returns 0.
GLuint LoadTextureRGBA(const char* name, texmip mode);

// The same for a picture file outside the bundle (an imported character's),
// decoded with straight alpha: its colour stays whole where it is
// translucent, as its material's alpha test and blending expect. Not kept
// across reloads.
GLuint LoadTextureFile(const char* path, texmip mode);

// The texture registry: GL names of the loaded scenes' textures, entries
// 0 .. n_textures-1 in use. Entry k is referred to by k - 513, so a material
// reference r in -513 .. -2 names texture[r + 513]; -1 means no texture.
constexpr int kMaxTextures = 512;
extern GLuint texture[kMaxTextures];
extern int n_textures;

constexpr int TextureReference(int entry) { return entry - 513; }
constexpr bool IsTextureReference(int ref) { return ref >= -513 && ref <= -2; }
// GL name behind a reference; 0 for -1, scene indices and entries not in use.
GLuint TextureFromReference(int ref);

// Appends `tex` to the registry and returns its reference. A full registry
// keeps the texture out (the caller still owns it), prints
// "Texture registry full, %u not registered\n" and returns -1.
int RegisterTexture(GLuint tex);

// Deletes every registered texture and empties the registry; references
// handed out before must not be used any more.
void ReleaseTextures();

// Deletes a texture this module made or registered (parked instead while
// textures are being reused, see below).
void DeleteTexture(GLuint tex);

// Textures kept across a reload. Between TextureReuseBegin and
// TextureReuseEnd (the scene loading wraps a reload in them) a texture made
// from bundle pictures is parked when it is deleted, and a load of the same
// pictures takes it back instead of decoding and uploading them again: same
// key (the pictures and how they are combined and mipmapped) and the same
// files, unchanged in size and modification time. TextureReuseEnd deletes
// what was parked and not taken back. Outside that window nothing is kept.
void TextureReuseBegin();
void TextureReuseEnd();
// A parked texture made under `key` from the bundle pictures `files`, taken
// back and bound to GL_TEXTURE_2D; 0 when there is none.
GLuint TextureReuseTake(const std::string& key, const std::vector<std::string>& files);
// Notes that `tex` was made under `key` from the bundle pictures `files`, so
// that it can be parked when deleted.
void TextureReuseRecord(GLuint tex, const std::string& key, const std::vector<std::string>& files);

// Blends the bundle picture `pictureName` into `tex` (described by *p) in
// place, weighted per pixel by the red channel of the bundle picture
// `maskName`: tex = (tex*(65535-m*257) + pic*m*257) >> 16 on R, G, B, and on
// A too when both tex and picture have 32 bits per pixel. Every buffer is
// walked 4 bytes a pixel, as decoded. All conditions are checked before the
// first byte is written; a failed one prints
// "OverlayMaskedTexture32: precondition failed: <expression>\n" on standard
// error and leaves tex as it was.
void OverlayMaskedTexture32(unsigned char* tex, tag_TexPicDesc* p, const char* maskName, const char* pictureName);

// One layer of a masked picture: a bundle picture blended in by a mask.
struct MaskedLayer {
  const char* mask;
  const char* picture;
};

// The bundle picture `base` with each layer blended over it in turn, the
// pixels ReadPictureData(base) and OverlayMaskedTexture32 per layer make,
// but decoded and blended a band of rows at a time, so that no picture is
// ever held decoded whole: `band` gets each band (first row, rows, RGBA
// pixels of desc->xs a row), the last one only once every picture was read
// to its end; it returns false to stop. False, with nothing printed (and
// maybe bands handed out already), when a picture is missing, broken, not
// readable row by row, of another size than `base` or of a depth the
// blending refuses, or when `band` stopped.
bool ComposeMaskedRows(const char* base, const MaskedLayer* layers, int count, tag_TexPicDesc* desc,
                       const std::function<bool(int y, int rows, const unsigned char* rgba, bool last)>& band);

// Her texture: ComposeMaskedRows uploaded band by band, each band's rows of
// the other levels with it, into a new texture or, during a reload, into the storage
// of a parked texture this function made in the same size and mipmapping
// (her texture before the change), so that a reload writes over memory it
// has instead of taking fresh pages. Recorded for reuse under `key` and the
// bundle pictures `files`, as TextureReuseRecord does. When the pictures
// cannot be composed band by band, made whole as before (ReadPictureData,
// OverlayMaskedTexture32, LoadTextureData), which prints what is wrong.
// Returns the texture, bound; 0 when `base` does not decode.
GLuint LoadMaskedTexture(const char* base, const MaskedLayer* layers, int count, texmip mode, const std::string& key,
                         const std::vector<std::string>& files);
