// The translation's state entry points: enables, matrices, lights and
// materials, texture objects and environments, the passed-through ES 2.0
// state, queries and errors. Each checks its arguments as ES 1.1 does and,
// on an error, records it and changes nothing.
#include <cmath>
#include <cstring>

#include "gles/es2_internal.h"

namespace gles2 {

Es2Context* current = nullptr;

namespace {

Es2Context& C() { return *current; }

bool IsPowerOfTwo(GLsizei v) { return v > 0 && (v & (v - 1)) == 0; }

// Floor of log2 of the largest side a texture may have.
int MaxLevel(const Es2Context& c) {
  int level = 0;
  while (level + 1 < kMaxLevels && (1 << (level + 1)) <= c.maxTextureSize) ++level;
  return level;
}

void InitStack(MatrixStack& s, int max) {
  s.entries.assign(1, Matrix{});
  MatIdentity(s.entries[0].m);
  s.max = max;
}

void Normalize3(float* v) {
  const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (len > 1.0e-35f) {
    const float inv = 1.0f / len;
    v[0] *= inv;
    v[1] *= inv;
    v[2] *= inv;
  }
}

// Unit selector of glActiveTexture and glClientActiveTexture.
bool UnitIndex(GLenum texture, int* unit) {
  if (texture < GL_TEXTURE0 || texture >= GL_TEXTURE0 + kUnits) return false;
  *unit = static_cast<int>(texture - GL_TEXTURE0);
  return true;
}

int LightIndex(GLenum light) {
  return light >= GL_LIGHT0 && light < GL_LIGHT0 + kLights ? static_cast<int>(light - GL_LIGHT0) : -1;
}

// The enables ES 2.0 does not have; null for any other cap.
bool* LayerCap(Es2Context& c, GLenum cap) {
  switch (cap) {
    case GL_TEXTURE_2D:
      return &c.units[c.activeUnit].enabled;
    case GL_LIGHTING:
      return &c.lighting;
    case GL_COLOR_MATERIAL:
      return &c.colorMaterial;
    case GL_NORMALIZE:
      return &c.normalize;
    case GL_RESCALE_NORMAL:
      return &c.rescaleNormal;
    case GL_FOG:
      return &c.fog;
    case GL_ALPHA_TEST:
      return &c.alphaTest;
    case GL_COLOR_LOGIC_OP:
      return &c.colorLogicOp;
    case GL_LINE_SMOOTH:
      return &c.lineSmooth;
    case GL_POINT_SMOOTH:
      return &c.pointSmooth;
    case GL_MULTISAMPLE:
      return &c.multisample;
    case GL_SAMPLE_ALPHA_TO_ONE:
      return &c.sampleAlphaToOne;
    default:
      break;
  }
  if (const int i = LightIndex(cap); i >= 0) return &c.lights[i].enabled;
  if (cap >= GL_CLIP_PLANE0 && cap < GL_CLIP_PLANE0 + kClipPlanes) return &c.clipPlane[cap - GL_CLIP_PLANE0];
  return nullptr;
}

// The enables ES 2.0 keeps with the same meaning.
bool PassedCap(GLenum cap) {
  switch (cap) {
    case GL_BLEND:
    case GL_CULL_FACE:
    case GL_DEPTH_TEST:
    case GL_DITHER:
    case GL_POLYGON_OFFSET_FILL:
    case GL_SAMPLE_ALPHA_TO_COVERAGE:
    case GL_SAMPLE_COVERAGE:
    case GL_SCISSOR_TEST:
    case GL_STENCIL_TEST:
      return true;
    default:
      return false;
  }
}

ClientArray* ArrayOf(Es2Context& c, GLenum array) {
  switch (array) {
    case GL_VERTEX_ARRAY:
      return &c.vertex;
    case GL_NORMAL_ARRAY:
      return &c.normal;
    case GL_COLOR_ARRAY:
      return &c.color;
    case GL_TEXTURE_COORD_ARRAY:
      return &c.units[c.clientUnit].coords;
    default:
      return nullptr;
  }
}

void TrackColor(Es2Context& c) {
  std::memcpy(c.material.ambient, c.currentColor, sizeof c.currentColor);
  std::memcpy(c.material.diffuse, c.currentColor, sizeof c.currentColor);
  c.materialStamp = NextStamp(c);
}

void SetCap(GLenum cap, bool on) {
  Es2Context& c = C();
  if (bool* flag = LayerCap(c, cap)) {
    if (*flag == on) return;
    *flag = on;
    if (cap == GL_COLOR_MATERIAL && on) TrackColor(c);
  } else if (PassedCap(cap)) {
    on ? c.gl.Enable(cap) : c.gl.Disable(cap);
  } else {
    SetError(c, GL_INVALID_ENUM);
  }
}

void SetArray(GLenum array, bool on) {
  if (ClientArray* a = ArrayOf(C(), array))
    a->enabled = on;
  else
    SetError(C(), GL_INVALID_ENUM);
}

bool ValidArrayType(GLenum type, bool bytes) {
  return type == GL_SHORT || type == GL_FIXED || type == GL_FLOAT || (bytes && type == GL_BYTE);
}

void SetPointer(ClientArray* a, GLint size, GLenum type, GLsizei stride, const void* pointer) {
  a->size = size;
  a->type = type;
  a->stride = stride;
  a->pointer = pointer;
}

// --- matrices --------------------------------------------------------------

void Changed(MatrixStack& s) { s.stamp = NextStamp(C()); }

// top = top * m
void MultiplyTop(const float* m) {
  MatrixStack& s = CurrentStack(C());
  float out[16];
  MatMultiply(out, s.entries.back().m, m);
  std::memcpy(s.entries.back().m, out, sizeof out);
  Changed(s);
}

// --- texture objects ------------------------------------------------------

bool ValidMinFilter(GLint v) {
  return v == GL_NEAREST || v == GL_LINEAR || v == GL_NEAREST_MIPMAP_NEAREST || v == GL_LINEAR_MIPMAP_NEAREST ||
         v == GL_NEAREST_MIPMAP_LINEAR || v == GL_LINEAR_MIPMAP_LINEAR;
}

// Hands ES 2.0 the sampling of `t`, bound to the active unit: as given, or
// clamped and without mipmaps for sides that are not powers of two.
void ApplySampling(Es2Context& c, Texture& t) {
  const bool npot = t.levels[0].width > 0 && (!IsPowerOfTwo(t.levels[0].width) || !IsPowerOfTwo(t.levels[0].height));
  GLint min = t.minFilter, s = t.wrapS, tt = t.wrapT;
  if (npot) {
    const bool nearest = min == GL_NEAREST || min == GL_NEAREST_MIPMAP_NEAREST || min == GL_NEAREST_MIPMAP_LINEAR;
    min = nearest ? GL_NEAREST : GL_LINEAR;
    s = tt = GL_CLAMP_TO_EDGE;
  }
  if (min != t.givenMin) c.gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, t.givenMin = min);
  if (s != t.givenWrapS) c.gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, t.givenWrapS = s);
  if (tt != t.givenWrapT) c.gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, t.givenWrapT = tt);
}

Texture& TextureRecord(Es2Context& c, GLuint name) {
  auto it = c.share->textures.find(name);
  if (it != c.share->textures.end()) return it->second;
  Texture& t = c.share->textures[name];
  t.givenMin = GL_NEAREST_MIPMAP_LINEAR;
  t.givenWrapS = t.givenWrapT = GL_REPEAT;
  return t;
}

bool ValidTexFormat(GLenum f) {
  return f == GL_ALPHA || f == GL_RGB || f == GL_RGBA || f == GL_LUMINANCE || f == GL_LUMINANCE_ALPHA;
}
bool ValidTexType(GLenum t) {
  return t == GL_UNSIGNED_BYTE || t == GL_UNSIGNED_SHORT_5_6_5 || t == GL_UNSIGNED_SHORT_4_4_4_4 ||
         t == GL_UNSIGNED_SHORT_5_5_5_1;
}
// A data type pixels may not come in is the wrong operation, not an
// unknown name.
GLenum BadTypeError(GLenum t) {
  switch (t) {
    case GL_BYTE:
    case GL_SHORT:
    case GL_UNSIGNED_SHORT:
    case GL_INT:
    case GL_UNSIGNED_INT:
    case GL_FLOAT:
    case GL_FIXED:
      return GL_INVALID_OPERATION;
    default:
      return GL_INVALID_ENUM;
  }
}

// --- texture environments -------------------------------------------------

bool EnvEnum(GLenum pname, GLenum value, TexEnv& env) {
  auto in = [value](std::initializer_list<GLenum> ok) {
    for (GLenum v : ok)
      if (v == value) return true;
    return false;
  };
  switch (pname) {
    case GL_TEXTURE_ENV_MODE:
      if (!in({GL_MODULATE, GL_REPLACE, GL_DECAL, GL_BLEND, GL_ADD, GL_COMBINE})) return false;
      env.mode = value;
      return true;
    case GL_COMBINE_RGB:
      if (!in({GL_REPLACE, GL_MODULATE, GL_ADD, GL_ADD_SIGNED, GL_INTERPOLATE, GL_SUBTRACT, GL_DOT3_RGB, GL_DOT3_RGBA}))
        return false;
      env.combineRgb = value;
      return true;
    case GL_COMBINE_ALPHA:
      if (!in({GL_REPLACE, GL_MODULATE, GL_ADD, GL_ADD_SIGNED, GL_INTERPOLATE, GL_SUBTRACT})) return false;
      env.combineAlpha = value;
      return true;
    case GL_SRC0_RGB:
    case GL_SRC1_RGB:
    case GL_SRC2_RGB:
    case GL_SRC0_ALPHA:
    case GL_SRC1_ALPHA:
    case GL_SRC2_ALPHA: {
      if (!in({GL_TEXTURE, GL_CONSTANT, GL_PRIMARY_COLOR, GL_PREVIOUS})) return false;
      const int i =
          pname >= GL_SRC0_ALPHA ? 3 + static_cast<int>(pname - GL_SRC0_ALPHA) : static_cast<int>(pname - GL_SRC0_RGB);
      env.src[i] = value;
      return true;
    }
    case GL_OPERAND0_RGB:
    case GL_OPERAND1_RGB:
    case GL_OPERAND2_RGB:
      if (!in({GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA})) return false;
      env.operand[pname - GL_OPERAND0_RGB] = value;
      return true;
    case GL_OPERAND0_ALPHA:
    case GL_OPERAND1_ALPHA:
    case GL_OPERAND2_ALPHA:
      if (!in({GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA})) return false;
      env.operand[3 + pname - GL_OPERAND0_ALPHA] = value;
      return true;
    default:
      return false;
  }
}

void SetTexEnv(GLenum target, GLenum pname, float value) {
  Es2Context& c = C();
  TexEnv& env = c.units[c.activeUnit].env;
  if (target != GL_TEXTURE_ENV) return SetError(c, GL_INVALID_ENUM);
  if (pname == GL_RGB_SCALE || pname == GL_ALPHA_SCALE) {
    if (value != 1.0f && value != 2.0f && value != 4.0f) return SetError(c, GL_INVALID_VALUE);
    (pname == GL_RGB_SCALE ? env.rgbScale : env.alphaScale) = value;
  } else if (!EnvEnum(pname, static_cast<GLenum>(value), env)) {
    return SetError(c, GL_INVALID_ENUM);
  }
  env.stamp = NextStamp(c);
}

// --- queries --------------------------------------------------------------

enum ValueKind { kNumber, kColorValue, kBoolean };

// The values of a query the translation answers itself; false for a name
// it does not own.
bool LayerValues(Es2Context& c, GLenum pname, float* v, int* n, ValueKind* kind) {
  *kind = kNumber;
  *n = 1;
  auto copy = [&](const float* src, int count) {
    std::memcpy(v, src, sizeof(float) * count);
    *n = count;
  };
  const TextureUnit& active = c.units[c.activeUnit];
  const TextureUnit& client = c.units[c.clientUnit];
  const ClientArray* array = nullptr;
  switch (pname) {
    case GL_MATRIX_MODE:
      v[0] = static_cast<float>(c.matrixMode);
      return true;
    case GL_MODELVIEW_MATRIX:
      copy(c.modelview.entries.back().m, 16);
      return true;
    case GL_PROJECTION_MATRIX:
      copy(c.projection.entries.back().m, 16);
      return true;
    case GL_TEXTURE_MATRIX:
      copy(active.matrix.entries.back().m, 16);
      return true;
    case GL_MODELVIEW_STACK_DEPTH:
      v[0] = static_cast<float>(c.modelview.entries.size());
      return true;
    case GL_PROJECTION_STACK_DEPTH:
      v[0] = static_cast<float>(c.projection.entries.size());
      return true;
    case GL_TEXTURE_STACK_DEPTH:
      v[0] = static_cast<float>(active.matrix.entries.size());
      return true;
    case GL_MAX_MODELVIEW_STACK_DEPTH:
      v[0] = kModelviewDepth;
      return true;
    case GL_MAX_PROJECTION_STACK_DEPTH:
      v[0] = kProjectionDepth;
      return true;
    case GL_MAX_TEXTURE_STACK_DEPTH:
      v[0] = kTextureDepth;
      return true;
    case GL_MAX_TEXTURE_UNITS:
      v[0] = kUnits;
      return true;
    case GL_MAX_LIGHTS:
      v[0] = kLights;
      return true;
    case GL_MAX_CLIP_PLANES:
      v[0] = kClipPlanes;
      return true;
    case GL_ACTIVE_TEXTURE:
      v[0] = static_cast<float>(GL_TEXTURE0 + c.activeUnit);
      return true;
    case GL_CLIENT_ACTIVE_TEXTURE:
      v[0] = static_cast<float>(GL_TEXTURE0 + c.clientUnit);
      return true;
    case GL_TEXTURE_BINDING_2D:
      v[0] = static_cast<float>(active.bound);
      return true;
    case GL_CURRENT_COLOR:
      copy(c.currentColor, 4);
      *kind = kColorValue;
      return true;
    case GL_CURRENT_NORMAL:
      copy(c.currentNormal, 3);
      return true;
    case GL_CURRENT_TEXTURE_COORDS:
      copy(active.current, 4);
      return true;
    case GL_LIGHT_MODEL_AMBIENT:
      copy(c.lightModelAmbient, 4);
      *kind = kColorValue;
      return true;
    case GL_LIGHT_MODEL_TWO_SIDE:
      v[0] = c.twoSide;
      *kind = kBoolean;
      return true;
    case GL_SHADE_MODEL:
      v[0] = static_cast<float>(c.shadeModel);
      return true;
    case GL_BLEND_SRC:
      v[0] = static_cast<float>(c.blendSrc);
      return true;
    case GL_BLEND_DST:
      v[0] = static_cast<float>(c.blendDst);
      return true;
    case GL_FRONT_FACE:
      v[0] = static_cast<float>(c.frontFace);
      return true;
    case GL_CULL_FACE_MODE:
      v[0] = static_cast<float>(c.cullFace);
      return true;
    case GL_ALPHA_TEST_FUNC:
      v[0] = static_cast<float>(c.alphaFunc);
      return true;
    case GL_ALPHA_TEST_REF:
      v[0] = c.alphaRef;
      *kind = kColorValue;
      return true;
    case GL_LOGIC_OP_MODE:
      v[0] = GL_COPY;
      return true;
    case GL_FOG_MODE:
      v[0] = GL_EXP;
      return true;
    case GL_FOG_DENSITY:
    case GL_FOG_END:
      v[0] = 1;
      return true;
    case GL_FOG_START:
      v[0] = 0;
      return true;
    case GL_FOG_COLOR:
      v[0] = v[1] = v[2] = v[3] = 0;
      *n = 4;
      *kind = kColorValue;
      return true;
    case GL_ARRAY_BUFFER_BINDING:
    case GL_ELEMENT_ARRAY_BUFFER_BINDING:
    case GL_VERTEX_ARRAY_BUFFER_BINDING:
    case GL_NORMAL_ARRAY_BUFFER_BINDING:
    case GL_COLOR_ARRAY_BUFFER_BINDING:
    case GL_TEXTURE_COORD_ARRAY_BUFFER_BINDING:
      v[0] = 0;  // the engine's arrays are always client memory
      return true;
    case GL_VERTEX_ARRAY_SIZE:
    case GL_VERTEX_ARRAY_TYPE:
    case GL_VERTEX_ARRAY_STRIDE:
      array = &c.vertex;
      break;
    case GL_NORMAL_ARRAY_TYPE:
    case GL_NORMAL_ARRAY_STRIDE:
      array = &c.normal;
      break;
    case GL_COLOR_ARRAY_SIZE:
    case GL_COLOR_ARRAY_TYPE:
    case GL_COLOR_ARRAY_STRIDE:
      array = &c.color;
      break;
    case GL_TEXTURE_COORD_ARRAY_SIZE:
    case GL_TEXTURE_COORD_ARRAY_TYPE:
    case GL_TEXTURE_COORD_ARRAY_STRIDE:
      array = &client.coords;
      break;
    default:
      return false;
  }
  switch (pname) {
    case GL_VERTEX_ARRAY_SIZE:
    case GL_COLOR_ARRAY_SIZE:
    case GL_TEXTURE_COORD_ARRAY_SIZE:
      v[0] = static_cast<float>(array->size);
      break;
    case GL_VERTEX_ARRAY_TYPE:
    case GL_NORMAL_ARRAY_TYPE:
    case GL_COLOR_ARRAY_TYPE:
    case GL_TEXTURE_COORD_ARRAY_TYPE:
      v[0] = static_cast<float>(array->type);
      break;
    default:
      v[0] = static_cast<float>(array->stride);
      break;
  }
  return true;
}

// Names ES 2.0 answers with the same meaning.
bool PassedQuery(GLenum pname) {
  switch (pname) {
    case GL_VIEWPORT:
    case GL_SCISSOR_BOX:
    case GL_MAX_VIEWPORT_DIMS:
    case GL_MAX_TEXTURE_SIZE:
    case GL_RED_BITS:
    case GL_GREEN_BITS:
    case GL_BLUE_BITS:
    case GL_ALPHA_BITS:
    case GL_DEPTH_BITS:
    case GL_STENCIL_BITS:
    case GL_SUBPIXEL_BITS:
    case GL_SAMPLE_BUFFERS:
    case GL_SAMPLES:
    case GL_PACK_ALIGNMENT:
    case GL_UNPACK_ALIGNMENT:
    case GL_FRAMEBUFFER_BINDING_OES:
    case GL_RENDERBUFFER_BINDING_OES:
    case GL_MAX_RENDERBUFFER_SIZE_OES:
    case GL_COLOR_CLEAR_VALUE:
    case GL_DEPTH_CLEAR_VALUE:
    case GL_DEPTH_FUNC:
    case GL_DEPTH_RANGE:
    case GL_DEPTH_WRITEMASK:
    case GL_COLOR_WRITEMASK:
    case GL_STENCIL_CLEAR_VALUE:
    case GL_STENCIL_FUNC:
    case GL_STENCIL_VALUE_MASK:
    case GL_STENCIL_REF:
    case GL_STENCIL_FAIL:
    case GL_STENCIL_PASS_DEPTH_FAIL:
    case GL_STENCIL_PASS_DEPTH_PASS:
    case GL_STENCIL_WRITEMASK:
    case GL_LINE_WIDTH:
    case GL_ALIASED_LINE_WIDTH_RANGE:
    case GL_ALIASED_POINT_SIZE_RANGE:
    case GL_POLYGON_OFFSET_FACTOR:
    case GL_POLYGON_OFFSET_UNITS:
    case GL_SAMPLE_COVERAGE_VALUE:
    case GL_SAMPLE_COVERAGE_INVERT:
    case GL_GENERATE_MIPMAP_HINT:
    case GL_NUM_COMPRESSED_TEXTURE_FORMATS:
    case GL_COMPRESSED_TEXTURE_FORMATS:
    case GL_IMPLEMENTATION_COLOR_READ_FORMAT_OES:
    case GL_IMPLEMENTATION_COLOR_READ_TYPE_OES:
      return true;
    default:
      return false;
  }
}

// A colour component as an integer: [-1, 1] onto the whole range.
GLint ColorToInt(float f) {
  const double v = static_cast<double>(f) * 2147483647.0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<GLint>(v);
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared helpers

void SetError(Es2Context& c, GLenum e) {
  if (c.error != GL_NO_ERROR) return;
  const GLenum earlier = c.gl.GetError();
  c.error = earlier != GL_NO_ERROR ? earlier : e;
}

bool TakeGl2Error(Es2Context& c) {
  const GLenum e = c.gl.GetError();
  if (e == GL_NO_ERROR) return false;
  if (c.error == GL_NO_ERROR) c.error = e;
  return true;
}

void MatIdentity(float* m) {
  std::memset(m, 0, sizeof(float) * 16);
  m[0] = m[5] = m[10] = m[15] = 1.0f;
}

void MatMultiply(float* out, const float* a, const float* b) {
  // Row by row, each element summed left to right.
  for (int i = 0; i < 4; ++i) {
    const float ai0 = a[i], ai1 = a[4 + i], ai2 = a[8 + i], ai3 = a[12 + i];
    for (int j = 0; j < 4; ++j)
      out[4 * j + i] = ai0 * b[4 * j] + ai1 * b[4 * j + 1] + ai2 * b[4 * j + 2] + ai3 * b[4 * j + 3];
  }
}

void NormalMatrix(const float* m, float* out) {
  // Inverse of the 3x3 by cofactors; its transpose is the cofactor matrix
  // over the determinant.
  const float a = m[0], b = m[4], cc = m[8], d = m[1], e = m[5], f = m[9], g = m[2], h = m[6], i = m[10];
  const float c00 = e * i - f * h, c01 = -(d * i - f * g), c02 = d * h - e * g;
  const float det = a * c00 + b * c01 + cc * c02;
  if (det == 0.0f || !std::isfinite(det)) {
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::memcpy(out, identity, sizeof identity);
    return;
  }
  const float inv = 1.0f / det;
  const float c10 = -(b * i - cc * h), c11 = a * i - cc * g, c12 = -(a * h - b * g);
  const float c20 = b * f - cc * e, c21 = -(a * f - cc * d), c22 = a * e - b * d;
  // Column-major mat3: out[col * 3 + row] = cofactor(row, col) / det.
  out[0] = c00 * inv;
  out[3] = c01 * inv;
  out[6] = c02 * inv;
  out[1] = c10 * inv;
  out[4] = c11 * inv;
  out[7] = c12 * inv;
  out[2] = c20 * inv;
  out[5] = c21 * inv;
  out[8] = c22 * inv;
}

MatrixStack& CurrentStack(Es2Context& c) {
  switch (c.matrixMode) {
    case GL_PROJECTION:
      return c.projection;
    case GL_TEXTURE:
      return c.units[c.activeUnit].matrix;
    default:
      return c.modelview;
  }
}

Texture* BoundTexture(Es2Context& c, int unit) {
  auto it = c.share->textures.find(c.units[unit].bound);
  return it == c.share->textures.end() ? nullptr : &it->second;
}

bool TextureComplete(const Texture& t) {
  const Texture::Level& base = t.levels[0];
  if (base.width <= 0 || base.height <= 0) return false;
  const bool mipmapped = t.minFilter != GL_NEAREST && t.minFilter != GL_LINEAR;
  if (!mipmapped) return true;
  GLsizei w = base.width, h = base.height;
  for (int level = 1; level < kMaxLevels && (w > 1 || h > 1); ++level) {
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
    const Texture::Level& l = t.levels[level];
    if (l.width != w || l.height != h || l.format != base.format) return false;
  }
  return true;
}

}  // namespace gles2

// ---------------------------------------------------------------------------
// Contexts

using namespace gles2;

Es2Context* Es2Create(GlesLoader load, Es2Context* share) {
  auto* c = new Es2Context();
  bool ok = true;
#define GL2_FUNCTION(result, name, params) \
  ok = ok && (c->gl.name = reinterpret_cast<decltype(c->gl.name)>(load("gl" #name)));
#include "gles/es2_functions.inc"
#undef GL2_FUNCTION
  if (!ok) {
    delete c;
    return nullptr;
  }
  c->share = share ? share->share : std::make_shared<ShareGroup>();
  InitStack(c->modelview, kModelviewDepth);
  InitStack(c->projection, kProjectionDepth);
  for (TextureUnit& u : c->units) InitStack(u.matrix, kTextureDepth);
  const float white[4] = {1, 1, 1, 1};
  std::memcpy(c->lights[0].diffuse, white, sizeof white);
  std::memcpy(c->lights[0].specular, white, sizeof white);
  c->attribs[kColor].value[0] = c->attribs[kColor].value[1] = c->attribs[kColor].value[2] = 1.0f;
  c->attribs[kNormal].value[2] = 1.0f;
  c->attribs[kNormal].value[3] = 1.0f;
  // ES 2.0's current values start at (0, 0, 0, 1): colour and normal are set now.
  c->gl.VertexAttrib4f(kColor, 1, 1, 1, 1);
  c->gl.VertexAttrib4f(kNormal, 0, 0, 1, 1);
  const char* v = reinterpret_cast<const char*>(c->gl.GetString(GL_VERSION));
  c->version = std::string("OpenGL ES-CM 1.1 (translated onto ") + (v ? v : "OpenGL ES 2.0") + ")";
  c->extensions = "GL_OES_framebuffer_object ";
  c->gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &c->maxTextureSize);
  return c;
}

void Es2Destroy(Es2Context* c, bool isCurrent) {
  if (!c) return;
  if (isCurrent) {
    DeletePrograms(*c);
    DeleteStreams(*c);
  }
  if (current == c) current = nullptr;
  delete c;
}

void Es2MakeCurrent(Es2Context* c) { current = c; }

// ---------------------------------------------------------------------------
// Entry points

namespace gles2 {

void GL_APIENTRY Enable(GLenum cap) { SetCap(cap, true); }
void GL_APIENTRY Disable(GLenum cap) { SetCap(cap, false); }

GLboolean GL_APIENTRY IsEnabled(GLenum cap) {
  Es2Context& c = C();
  if (bool* flag = LayerCap(c, cap)) return *flag;
  if (PassedCap(cap)) return c.gl.IsEnabled(cap);
  if (ClientArray* a = ArrayOf(c, cap)) return a->enabled;
  SetError(c, GL_INVALID_ENUM);
  return GL_FALSE;
}

void GL_APIENTRY EnableClientState(GLenum array) { SetArray(array, true); }
void GL_APIENTRY DisableClientState(GLenum array) { SetArray(array, false); }

void GL_APIENTRY VertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
  Es2Context& c = C();
  if (size < 2 || size > 4 || stride < 0) return SetError(c, GL_INVALID_VALUE);
  if (!ValidArrayType(type, true)) return SetError(c, GL_INVALID_ENUM);
  SetPointer(&c.vertex, size, type, stride, pointer);
}

void GL_APIENTRY NormalPointer(GLenum type, GLsizei stride, const void* pointer) {
  Es2Context& c = C();
  if (stride < 0) return SetError(c, GL_INVALID_VALUE);
  if (!ValidArrayType(type, true)) return SetError(c, GL_INVALID_ENUM);
  SetPointer(&c.normal, 3, type, stride, pointer);
}

void GL_APIENTRY ColorPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
  Es2Context& c = C();
  if (size != 4 || stride < 0) return SetError(c, GL_INVALID_VALUE);
  if (type != GL_UNSIGNED_BYTE && type != GL_FIXED && type != GL_FLOAT) return SetError(c, GL_INVALID_ENUM);
  SetPointer(&c.color, size, type, stride, pointer);
}

void GL_APIENTRY TexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
  Es2Context& c = C();
  if (size < 2 || size > 4 || stride < 0) return SetError(c, GL_INVALID_VALUE);
  if (!ValidArrayType(type, true)) return SetError(c, GL_INVALID_ENUM);
  SetPointer(&c.units[c.clientUnit].coords, size, type, stride, pointer);
}

void GL_APIENTRY Color4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
  Es2Context& c = C();
  c.currentColor[0] = r;
  c.currentColor[1] = g;
  c.currentColor[2] = b;
  c.currentColor[3] = a;
  if (c.colorMaterial) TrackColor(c);
}

void GL_APIENTRY Color4ub(GLubyte r, GLubyte g, GLubyte b, GLubyte a) {
  Color4f(r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f);
}

// --- matrices --------------------------------------------------------------

void GL_APIENTRY MatrixMode(GLenum mode) {
  Es2Context& c = C();
  if (mode != GL_MODELVIEW && mode != GL_PROJECTION && mode != GL_TEXTURE) return SetError(c, GL_INVALID_ENUM);
  c.matrixMode = mode;
}

void GL_APIENTRY LoadIdentity() {
  MatrixStack& s = CurrentStack(C());
  MatIdentity(s.entries.back().m);
  Changed(s);
}

void GL_APIENTRY LoadMatrixf(const GLfloat* m) {
  MatrixStack& s = CurrentStack(C());
  std::memcpy(s.entries.back().m, m, sizeof(float) * 16);
  Changed(s);
}

void GL_APIENTRY MultMatrixf(const GLfloat* m) { MultiplyTop(m); }

void GL_APIENTRY PushMatrix() {
  Es2Context& c = C();
  MatrixStack& s = CurrentStack(c);
  if (static_cast<int>(s.entries.size()) >= s.max) return SetError(c, GL_STACK_OVERFLOW);
  s.entries.push_back(s.entries.back());
}

void GL_APIENTRY PopMatrix() {
  Es2Context& c = C();
  MatrixStack& s = CurrentStack(c);
  if (s.entries.size() <= 1) return SetError(c, GL_STACK_UNDERFLOW);
  s.entries.pop_back();
  Changed(s);
}

void GL_APIENTRY Translatef(GLfloat x, GLfloat y, GLfloat z) {
  MatrixStack& s = CurrentStack(C());
  float* m = s.entries.back().m;
  m[12] = m[0] * x + m[4] * y + m[8] * z + m[12];
  m[13] = m[1] * x + m[5] * y + m[9] * z + m[13];
  m[14] = m[2] * x + m[6] * y + m[10] * z + m[14];
  m[15] = m[3] * x + m[7] * y + m[11] * z + m[15];
  Changed(s);
}

void GL_APIENTRY Rotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
  const float s = static_cast<float>(std::sin(angle * M_PI / 180.0));
  const float co = static_cast<float>(std::cos(angle * M_PI / 180.0));
  float m[16];
  MatIdentity(m);
  auto M = [&m](int row, int col) -> float& { return m[col * 4 + row]; };
  // Rotations about one axis are built exactly; others from the unit axis.
  if (x == 0.0f && y == 0.0f && z != 0.0f) {
    M(0, 0) = co;
    M(1, 1) = co;
    M(0, 1) = z < 0.0f ? s : -s;
    M(1, 0) = z < 0.0f ? -s : s;
  } else if (x == 0.0f && z == 0.0f && y != 0.0f) {
    M(0, 0) = co;
    M(2, 2) = co;
    M(0, 2) = y < 0.0f ? -s : s;
    M(2, 0) = y < 0.0f ? s : -s;
  } else if (y == 0.0f && z == 0.0f && x != 0.0f) {
    M(1, 1) = co;
    M(2, 2) = co;
    M(1, 2) = x < 0.0f ? s : -s;
    M(2, 1) = x < 0.0f ? -s : s;
  } else {
    const float mag = std::sqrt(x * x + y * y + z * z);
    if (mag <= 1.0e-4f) {
      Changed(CurrentStack(C()));
      return;  // no axis: no rotation
    }
    x /= mag;
    y /= mag;
    z /= mag;
    const float one_c = 1.0f - co;
    M(0, 0) = one_c * x * x + co;
    M(0, 1) = one_c * x * y - z * s;
    M(0, 2) = one_c * z * x + y * s;
    M(1, 0) = one_c * x * y + z * s;
    M(1, 1) = one_c * y * y + co;
    M(1, 2) = one_c * y * z - x * s;
    M(2, 0) = one_c * z * x - y * s;
    M(2, 1) = one_c * y * z + x * s;
    M(2, 2) = one_c * z * z + co;
  }
  MultiplyTop(m);
}

void GL_APIENTRY Orthof(GLfloat l, GLfloat r, GLfloat b, GLfloat t, GLfloat n, GLfloat f) {
  Es2Context& c = C();
  if (l == r || b == t || n == f) return SetError(c, GL_INVALID_VALUE);
  float m[16];
  MatIdentity(m);
  m[0] = 2.0f / (r - l);
  m[12] = -(r + l) / (r - l);
  m[5] = 2.0f / (t - b);
  m[13] = -(t + b) / (t - b);
  m[10] = -2.0f / (f - n);
  m[14] = -(f + n) / (f - n);
  MultiplyTop(m);
}

// --- lights and materials -------------------------------------------------

// Where a parameter of a light or the material is kept and how many floats
// it holds (what glGet returns; what the setters store where no derived
// value goes with it); null for a name that is not one.
namespace {

float* LightParam(Light& L, GLenum pname, size_t* n) {
  *n = 4;
  switch (pname) {
    case GL_AMBIENT:
      return L.ambient;
    case GL_DIFFUSE:
      return L.diffuse;
    case GL_SPECULAR:
      return L.specular;
    case GL_POSITION:
      return L.position;
  }
  *n = 1;
  switch (pname) {
    case GL_SPOT_DIRECTION:
      *n = 3;
      return L.spotDirection;
    case GL_SPOT_EXPONENT:
      return &L.spotExponent;
    case GL_SPOT_CUTOFF:
      return &L.spotCutoff;
    case GL_CONSTANT_ATTENUATION:
    case GL_LINEAR_ATTENUATION:
    case GL_QUADRATIC_ATTENUATION:
      return &L.attenuation[pname - GL_CONSTANT_ATTENUATION];
  }
  return nullptr;
}

float* MaterialParam(Material& m, GLenum pname, size_t* n) {
  *n = 4;
  switch (pname) {
    case GL_AMBIENT:
      return m.ambient;
    case GL_DIFFUSE:
      return m.diffuse;
    case GL_SPECULAR:
      return m.specular;
    case GL_EMISSION:
      return m.emission;
    case GL_SHININESS:
      *n = 1;
      return &m.shininess;
  }
  return nullptr;
}

}  // namespace

void GL_APIENTRY Lightfv(GLenum light, GLenum pname, const GLfloat* p) {
  Es2Context& c = C();
  const int i = LightIndex(light);
  if (i < 0) return SetError(c, GL_INVALID_ENUM);
  Light& L = c.lights[i];
  const float* mv = c.modelview.entries.back().m;
  switch (pname) {
    case GL_AMBIENT:
      std::memcpy(L.ambient, p, sizeof L.ambient);
      break;
    case GL_DIFFUSE:
      std::memcpy(L.diffuse, p, sizeof L.diffuse);
      break;
    case GL_SPECULAR:
      std::memcpy(L.specular, p, sizeof L.specular);
      break;
    case GL_POSITION:
      // Stored in eye coordinates, under the modelview of this moment.
      for (int k = 0; k < 4; ++k)
        L.position[k] = mv[k] * p[0] + mv[4 + k] * p[1] + mv[8 + k] * p[2] + mv[12 + k] * p[3];
      if (L.position[3] == 0.0f) {
        std::memcpy(L.toLight, L.position, sizeof L.toLight);
        Normalize3(L.toLight);
        L.half[0] = L.toLight[0];
        L.half[1] = L.toLight[1];
        L.half[2] = L.toLight[2] + 1.0f;
        Normalize3(L.half);
      } else {
        for (int k = 0; k < 3; ++k) L.toLight[k] = L.position[k] / L.position[3];
      }
      break;
    case GL_SPOT_DIRECTION:
      for (int k = 0; k < 3; ++k) L.spotDirection[k] = mv[k] * p[0] + mv[4 + k] * p[1] + mv[8 + k] * p[2];
      std::memcpy(L.unitSpot, L.spotDirection, sizeof L.unitSpot);
      Normalize3(L.unitSpot);
      break;
    case GL_SPOT_EXPONENT:
      if (!(p[0] >= 0.0f && p[0] <= 128.0f)) return SetError(c, GL_INVALID_VALUE);
      L.spotExponent = p[0];
      break;
    case GL_SPOT_CUTOFF:
      if (!((p[0] >= 0.0f && p[0] <= 90.0f) || p[0] == 180.0f)) return SetError(c, GL_INVALID_VALUE);
      L.spotCutoff = p[0];
      break;
    case GL_CONSTANT_ATTENUATION:
    case GL_LINEAR_ATTENUATION:
    case GL_QUADRATIC_ATTENUATION:
      if (!(p[0] >= 0.0f)) return SetError(c, GL_INVALID_VALUE);
      L.attenuation[pname - GL_CONSTANT_ATTENUATION] = p[0];
      break;
    default:
      return SetError(c, GL_INVALID_ENUM);
  }
  c.lightStamp = NextStamp(c);
}

void GL_APIENTRY GetLightfv(GLenum light, GLenum pname, GLfloat* out) {
  Es2Context& c = C();
  const int i = LightIndex(light);
  size_t n = 0;
  const float* v = i < 0 ? nullptr : LightParam(c.lights[i], pname, &n);
  if (!v) return SetError(c, GL_INVALID_ENUM);
  std::memcpy(out, v, n * sizeof *v);
}

void GL_APIENTRY LightModelfv(GLenum pname, const GLfloat* p) {
  Es2Context& c = C();
  if (pname == GL_LIGHT_MODEL_AMBIENT)
    std::memcpy(c.lightModelAmbient, p, sizeof c.lightModelAmbient);
  else if (pname == GL_LIGHT_MODEL_TWO_SIDE)
    c.twoSide = p[0] != 0.0f;
  else
    return SetError(c, GL_INVALID_ENUM);
  c.lightStamp = NextStamp(c);
}

void GL_APIENTRY Materialfv(GLenum face, GLenum pname, const GLfloat* p) {
  Es2Context& c = C();
  Material& m = c.material;
  if (face != GL_FRONT_AND_BACK) return SetError(c, GL_INVALID_ENUM);
  if (pname == GL_SHININESS && !(p[0] >= 0.0f && p[0] <= 128.0f)) return SetError(c, GL_INVALID_VALUE);
  size_t n = 0;
  if (pname == GL_AMBIENT_AND_DIFFUSE) {
    std::memcpy(m.ambient, p, sizeof m.ambient);
    std::memcpy(m.diffuse, p, sizeof m.diffuse);
  } else if (float* v = MaterialParam(m, pname, &n)) {
    std::memcpy(v, p, n * sizeof *v);
  } else {
    return SetError(c, GL_INVALID_ENUM);
  }
  c.materialStamp = NextStamp(c);
}

void GL_APIENTRY Materialf(GLenum face, GLenum pname, GLfloat param) {
  if (pname != GL_SHININESS) return SetError(C(), GL_INVALID_ENUM);
  Materialfv(face, pname, &param);
}

void GL_APIENTRY GetMaterialfv(GLenum face, GLenum pname, GLfloat* out) {
  Es2Context& c = C();
  size_t n = 0;
  const float* v = face == GL_FRONT || face == GL_BACK ? MaterialParam(c.material, pname, &n) : nullptr;
  if (!v) return SetError(c, GL_INVALID_ENUM);
  std::memcpy(out, v, n * sizeof *v);
}

void GL_APIENTRY ShadeModel(GLenum mode) {
  Es2Context& c = C();
  if (mode != GL_FLAT && mode != GL_SMOOTH) return SetError(c, GL_INVALID_ENUM);
  c.shadeModel = mode;
}

// --- textures ---------------------------------------------------------------

void GL_APIENTRY ActiveTexture(GLenum texture) {
  Es2Context& c = C();
  int unit = 0;
  if (!UnitIndex(texture, &unit)) return SetError(c, GL_INVALID_ENUM);
  c.activeUnit = unit;
  c.gl.ActiveTexture(texture);
}

void GL_APIENTRY ClientActiveTexture(GLenum texture) {
  Es2Context& c = C();
  int unit = 0;
  if (!UnitIndex(texture, &unit)) return SetError(c, GL_INVALID_ENUM);
  c.clientUnit = unit;
}

void GL_APIENTRY GenTextures(GLsizei n, GLuint* names) {
  Es2Context& c = C();
  if (n < 0) return SetError(c, GL_INVALID_VALUE);
  c.gl.GenTextures(n, names);
  for (GLsizei i = 0; i < n; ++i) TextureRecord(c, names[i]);
}

void GL_APIENTRY DeleteTextures(GLsizei n, const GLuint* names) {
  Es2Context& c = C();
  if (n < 0) return SetError(c, GL_INVALID_VALUE);
  for (GLsizei i = 0; i < n; ++i) {
    if (names[i] == 0) continue;
    c.share->textures.erase(names[i]);
    for (TextureUnit& u : c.units)
      if (u.bound == names[i]) u.bound = 0;
  }
  c.gl.DeleteTextures(n, names);
}

GLboolean GL_APIENTRY IsTexture(GLuint name) { return C().gl.IsTexture(name); }

void GL_APIENTRY BindTexture(GLenum target, GLuint name) {
  Es2Context& c = C();
  if (target != GL_TEXTURE_2D) return SetError(c, GL_INVALID_ENUM);
  c.gl.BindTexture(target, name);
  c.units[c.activeUnit].bound = name;
  TextureRecord(c, name);
}

void GL_APIENTRY TexParameteri(GLenum target, GLenum pname, GLint value) {
  Es2Context& c = C();
  if (target != GL_TEXTURE_2D) return SetError(c, GL_INVALID_ENUM);
  Texture& t = TextureRecord(c, c.units[c.activeUnit].bound);
  switch (pname) {
    case GL_TEXTURE_MIN_FILTER:
      if (!ValidMinFilter(value)) return SetError(c, GL_INVALID_ENUM);
      t.minFilter = value;
      break;
    case GL_TEXTURE_MAG_FILTER:
      if (value != GL_NEAREST && value != GL_LINEAR) return SetError(c, GL_INVALID_ENUM);
      t.magFilter = value;
      c.gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, value);
      break;
    case GL_TEXTURE_WRAP_S:
    case GL_TEXTURE_WRAP_T:
      if (value != GL_REPEAT && value != GL_CLAMP_TO_EDGE) return SetError(c, GL_INVALID_ENUM);
      (pname == GL_TEXTURE_WRAP_S ? t.wrapS : t.wrapT) = value;
      break;
    case GL_GENERATE_MIPMAP:
      if (value != GL_TRUE && value != GL_FALSE) return SetError(c, GL_INVALID_VALUE);
      t.generateMipmap = value;
      break;
    default:
      return SetError(c, GL_INVALID_ENUM);
  }
  ApplySampling(c, t);
}

void GL_APIENTRY GetTexParameteriv(GLenum target, GLenum pname, GLint* out) {
  Es2Context& c = C();
  if (target != GL_TEXTURE_2D) return SetError(c, GL_INVALID_ENUM);
  const Texture& t = TextureRecord(c, c.units[c.activeUnit].bound);
  switch (pname) {
    case GL_TEXTURE_MIN_FILTER:
      *out = t.minFilter;
      break;
    case GL_TEXTURE_MAG_FILTER:
      *out = t.magFilter;
      break;
    case GL_TEXTURE_WRAP_S:
      *out = t.wrapS;
      break;
    case GL_TEXTURE_WRAP_T:
      *out = t.wrapT;
      break;
    case GL_GENERATE_MIPMAP:
      *out = t.generateMipmap;
      break;
    default:
      SetError(c, GL_INVALID_ENUM);
  }
}

namespace {

// ES 1.1 rebuilds the chain whenever level 0 changes, by a whole upload or
// a part of one. ES 2.0 (and WebGL) mipmap only sides that are powers of
// two; the others are sampled without mipmaps anyway (ApplySampling).
void LevelZeroChanged(Es2Context& c, Texture& t) {
  const Texture::Level base = t.levels[0];
  if (t.generateMipmap && IsPowerOfTwo(base.width) && IsPowerOfTwo(base.height)) {
    c.gl.GenerateMipmap(GL_TEXTURE_2D);
    GLsizei w = base.width, h = base.height;
    for (int l = 1; l < kMaxLevels && (w > 1 || h > 1); ++l) {
      w = w > 1 ? w / 2 : 1;
      h = h > 1 ? h / 2 : 1;
      t.levels[l] = {w, h, base.format};
    }
  }
  ApplySampling(c, t);
}

}  // namespace

void GL_APIENTRY TexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,
                            GLint border, GLenum format, GLenum type, const void* pixels) {
  Es2Context& c = C();
  if (target != GL_TEXTURE_2D || !ValidTexFormat(format)) return SetError(c, GL_INVALID_ENUM);
  if (!ValidTexType(type)) return SetError(c, BadTypeError(type));
  if (level < 0 || level > MaxLevel(c) || width < 0 || height < 0 || border != 0 || width > (1 << MaxLevel(c)) ||
      height > (1 << MaxLevel(c)) || !ValidTexFormat(static_cast<GLenum>(internalformat)))
    return SetError(c, GL_INVALID_VALUE);
  if (static_cast<GLenum>(internalformat) != format || (type == GL_UNSIGNED_SHORT_5_6_5 && format != GL_RGB) ||
      ((type == GL_UNSIGNED_SHORT_4_4_4_4 || type == GL_UNSIGNED_SHORT_5_5_5_1) && format != GL_RGBA))
    return SetError(c, GL_INVALID_OPERATION);
  c.gl.TexImage2D(target, level, internalformat, width, height, border, format, type, pixels);
#ifndef __EMSCRIPTEN__
  // Only running out of memory is left to fail here. A browser is not asked:
  // its getError waits until the upload is done, a quarter of a second of the
  // page's start.
  if (TakeGl2Error(c)) return;
#endif
  Texture& t = TextureRecord(c, c.units[c.activeUnit].bound);
  t.levels[level] = {width, height, format};
  if (level == 0) LevelZeroChanged(c, t);
}

namespace {
// The bound texture when level `level` has an image that the rectangle at
// (xoffset, yoffset), width x height, lies in; else null, the error set.
Texture* SubImageTarget(Es2Context& c, GLint level, GLint xoffset, GLint yoffset, GLsizei width, GLsizei height) {
  if (level < 0 || level > MaxLevel(c)) {
    SetError(c, GL_INVALID_VALUE);
    return nullptr;
  }
  Texture& t = TextureRecord(c, c.units[c.activeUnit].bound);
  const Texture::Level& l = t.levels[level];
  if (l.width == 0 || l.height == 0) {
    SetError(c, GL_INVALID_OPERATION);  // no image to write into
    return nullptr;
  }
  if (xoffset < 0 || yoffset < 0 || width < 0 || height < 0 || xoffset > l.width - width ||
      yoffset > l.height - height) {
    SetError(c, GL_INVALID_VALUE);
    return nullptr;
  }
  return &t;
}

// After the driver wrote into level `level` of t.
void SubImageWritten(Es2Context& c, Texture& t, GLint level) {
#ifndef __EMSCRIPTEN__
  if (TakeGl2Error(c)) return;
#endif
  if (level == 0) LevelZeroChanged(c, t);
}
}  // namespace

void GL_APIENTRY CopyTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y,
                                   GLsizei width, GLsizei height) {
  Es2Context& c = C();
  if (target != GL_TEXTURE_2D) return SetError(c, GL_INVALID_ENUM);
  Texture* t = SubImageTarget(c, level, xoffset, yoffset, width, height);
  if (!t) return;
  c.gl.CopyTexSubImage2D(target, level, xoffset, yoffset, x, y, width, height);
  SubImageWritten(c, *t, level);
}

void GL_APIENTRY TexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width, GLsizei height,
                               GLenum format, GLenum type, const void* pixels) {
  Es2Context& c = C();
  if (target != GL_TEXTURE_2D || !ValidTexFormat(format)) return SetError(c, GL_INVALID_ENUM);
  if (!ValidTexType(type)) return SetError(c, BadTypeError(type));
  Texture* t = SubImageTarget(c, level, xoffset, yoffset, width, height);
  if (!t) return;
  if (format != t->levels[level].format) return SetError(c, GL_INVALID_OPERATION);
  c.gl.TexSubImage2D(target, level, xoffset, yoffset, width, height, format, type, pixels);
  SubImageWritten(c, *t, level);
}

void GL_APIENTRY TexEnvf(GLenum target, GLenum pname, GLfloat param) { SetTexEnv(target, pname, param); }
void GL_APIENTRY TexEnvi(GLenum target, GLenum pname, GLint param) {
  SetTexEnv(target, pname, static_cast<float>(param));
}

void GL_APIENTRY GetTexEnvfv(GLenum target, GLenum pname, GLfloat* out) {
  Es2Context& c = C();
  const TexEnv& env = c.units[c.activeUnit].env;
  if (target != GL_TEXTURE_ENV) return SetError(c, GL_INVALID_ENUM);
  switch (pname) {
    case GL_TEXTURE_ENV_MODE:
      *out = static_cast<float>(env.mode);
      break;
    case GL_TEXTURE_ENV_COLOR:
      std::memcpy(out, env.color, sizeof env.color);
      break;
    case GL_COMBINE_RGB:
      *out = static_cast<float>(env.combineRgb);
      break;
    case GL_COMBINE_ALPHA:
      *out = static_cast<float>(env.combineAlpha);
      break;
    case GL_SRC0_RGB:
    case GL_SRC1_RGB:
    case GL_SRC2_RGB:
      *out = static_cast<float>(env.src[pname - GL_SRC0_RGB]);
      break;
    case GL_SRC0_ALPHA:
    case GL_SRC1_ALPHA:
    case GL_SRC2_ALPHA:
      *out = static_cast<float>(env.src[3 + pname - GL_SRC0_ALPHA]);
      break;
    case GL_OPERAND0_RGB:
    case GL_OPERAND1_RGB:
    case GL_OPERAND2_RGB:
      *out = static_cast<float>(env.operand[pname - GL_OPERAND0_RGB]);
      break;
    case GL_OPERAND0_ALPHA:
    case GL_OPERAND1_ALPHA:
    case GL_OPERAND2_ALPHA:
      *out = static_cast<float>(env.operand[3 + pname - GL_OPERAND0_ALPHA]);
      break;
    case GL_RGB_SCALE:
      *out = env.rgbScale;
      break;
    case GL_ALPHA_SCALE:
      *out = env.alphaScale;
      break;
    default:
      SetError(c, GL_INVALID_ENUM);
  }
}

void GL_APIENTRY PixelStorei(GLenum pname, GLint param) {
  Es2Context& c = C();
  if (pname != GL_PACK_ALIGNMENT && pname != GL_UNPACK_ALIGNMENT) return SetError(c, GL_INVALID_ENUM);
  if (param != 1 && param != 2 && param != 4 && param != 8) return SetError(c, GL_INVALID_VALUE);
  c.gl.PixelStorei(pname, param);
}

void GL_APIENTRY ReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void* pixels) {
  Es2Context& c = C();
  if (!ValidTexFormat(format)) return SetError(c, GL_INVALID_ENUM);
  if (!ValidTexType(type)) return SetError(c, BadTypeError(type));
  if (format != GL_RGBA || type != GL_UNSIGNED_BYTE) {
    GLint implFormat = 0, implType = 0;
    c.gl.GetIntegerv(GL_IMPLEMENTATION_COLOR_READ_FORMAT, &implFormat);
    c.gl.GetIntegerv(GL_IMPLEMENTATION_COLOR_READ_TYPE, &implType);
    if (static_cast<GLenum>(implFormat) != format || static_cast<GLenum>(implType) != type)
      return SetError(c, GL_INVALID_OPERATION);
  }
  c.gl.ReadPixels(x, y, w, h, format, type, pixels);
}

void GL_APIENTRY AlphaFunc(GLenum func, GLfloat ref) {
  Es2Context& c = C();
  if (func < GL_NEVER || func > GL_ALWAYS) return SetError(c, GL_INVALID_ENUM);
  c.alphaFunc = func;
  c.alphaRef = ref;  // kept as given, as the driver's own query gives it back; clamped where it is used
}

// --- state ES 2.0 keeps -------------------------------------------------------

void GL_APIENTRY BlendFunc(GLenum s, GLenum d) {
  Es2Context& c = C();
  auto common = [](GLenum f) {
    return f == GL_ZERO || f == GL_ONE || f == GL_SRC_ALPHA || f == GL_ONE_MINUS_SRC_ALPHA || f == GL_DST_ALPHA ||
           f == GL_ONE_MINUS_DST_ALPHA;
  };
  const bool srcOk = common(s) || s == GL_DST_COLOR || s == GL_ONE_MINUS_DST_COLOR || s == GL_SRC_ALPHA_SATURATE ||
                     s == GL_SRC_COLOR || s == GL_ONE_MINUS_SRC_COLOR;
  const bool dstOk =
      common(d) || d == GL_SRC_COLOR || d == GL_ONE_MINUS_SRC_COLOR || d == GL_DST_COLOR || d == GL_ONE_MINUS_DST_COLOR;
  if (!srcOk || !dstOk) return SetError(c, GL_INVALID_ENUM);
  c.blendSrc = s;
  c.blendDst = d;
  c.gl.BlendFunc(s, d);
}

void GL_APIENTRY Clear(GLbitfield mask) {
  Es2Context& c = C();
  if (mask & ~static_cast<GLbitfield>(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT))
    return SetError(c, GL_INVALID_VALUE);
  c.gl.Clear(mask);
}

void GL_APIENTRY ClearColor(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { C().gl.ClearColor(r, g, b, a); }
void GL_APIENTRY ClearDepthf(GLfloat d) { C().gl.ClearDepthf(d); }
void GL_APIENTRY CullFace(GLenum mode) {
  Es2Context& c = C();
  if (mode != GL_FRONT && mode != GL_BACK && mode != GL_FRONT_AND_BACK) return SetError(c, GL_INVALID_ENUM);
  c.cullFace = mode;
  c.gl.CullFace(mode);
}
void GL_APIENTRY DepthFunc(GLenum func) { C().gl.DepthFunc(func); }
void GL_APIENTRY FrontFace(GLenum mode) {
  Es2Context& c = C();
  if (mode != GL_CW && mode != GL_CCW) return SetError(c, GL_INVALID_ENUM);
  c.frontFace = mode;
  c.gl.FrontFace(mode);
}
void GL_APIENTRY Finish() { C().gl.Finish(); }
void GL_APIENTRY Flush() { C().gl.Flush(); }
void GL_APIENTRY Scissor(GLint x, GLint y, GLsizei w, GLsizei h) { C().gl.Scissor(x, y, w, h); }
void GL_APIENTRY Viewport(GLint x, GLint y, GLsizei w, GLsizei h) { C().gl.Viewport(x, y, w, h); }

// --- framebuffer objects: ES 2.0 has them under their core names -------------

void GL_APIENTRY BindFramebufferOES(GLenum target, GLuint fb) { C().gl.BindFramebuffer(target, fb); }
void GL_APIENTRY BindRenderbufferOES(GLenum target, GLuint rb) { C().gl.BindRenderbuffer(target, rb); }
GLenum GL_APIENTRY CheckFramebufferStatusOES(GLenum target) { return C().gl.CheckFramebufferStatus(target); }
void GL_APIENTRY DeleteFramebuffersOES(GLsizei n, const GLuint* fbs) { C().gl.DeleteFramebuffers(n, fbs); }
void GL_APIENTRY DeleteRenderbuffersOES(GLsizei n, const GLuint* rbs) { C().gl.DeleteRenderbuffers(n, rbs); }
void GL_APIENTRY GenFramebuffersOES(GLsizei n, GLuint* fbs) { C().gl.GenFramebuffers(n, fbs); }
void GL_APIENTRY GenRenderbuffersOES(GLsizei n, GLuint* rbs) { C().gl.GenRenderbuffers(n, rbs); }

void GL_APIENTRY FramebufferRenderbufferOES(GLenum target, GLenum attachment, GLenum rbTarget, GLuint rb) {
  C().gl.FramebufferRenderbuffer(target, attachment, rbTarget, rb);
}

void GL_APIENTRY FramebufferTexture2DOES(GLenum target, GLenum attachment, GLenum texTarget, GLuint tex, GLint level) {
  C().gl.FramebufferTexture2D(target, attachment, texTarget, tex, level);
}

void GL_APIENTRY RenderbufferStorageOES(GLenum target, GLenum format, GLsizei w, GLsizei h) {
  Es2Context& c = C();
  GLint bound = 0;
  c.gl.GetIntegerv(GL_RENDERBUFFER_BINDING, &bound);
  if (target != GL_RENDERBUFFER_OES) return SetError(c, GL_INVALID_ENUM);
  if (!bound) return SetError(c, GL_INVALID_OPERATION);
  switch (format) {
    case GL_RGBA4_OES:
    case GL_RGB5_A1_OES:
    case GL_RGB565_OES:
    case GL_RGBA8_OES:
    case GL_RGB8_OES:
    case GL_DEPTH_COMPONENT16_OES:
    case GL_DEPTH_COMPONENT24_OES:
    case GL_STENCIL_INDEX8_OES:
    case GL_DEPTH24_STENCIL8_OES:
      break;
    default:
      return SetError(c, GL_INVALID_ENUM);
  }
  c.gl.RenderbufferStorage(target, format, w, h);
}

// --- queries and errors -------------------------------------------------------

GLenum GL_APIENTRY GetError() {
  Es2Context& c = C();
  if (c.error != GL_NO_ERROR) {
    const GLenum e = c.error;
    c.error = GL_NO_ERROR;
    c.gl.GetError();  // anything ES 2.0 found after it is not kept
    return e;
  }
  return c.gl.GetError();
}

const GLubyte* GL_APIENTRY GetString(GLenum name) {
  Es2Context& c = C();
  switch (name) {
    case GL_VERSION:
      return reinterpret_cast<const GLubyte*>(c.version.c_str());
    case GL_EXTENSIONS:
      return reinterpret_cast<const GLubyte*>(c.extensions.c_str());
    case GL_VENDOR:
    case GL_RENDERER:
      return c.gl.GetString(name);
    default:
      SetError(c, GL_INVALID_ENUM);
      return nullptr;
  }
}

void GL_APIENTRY GetFloatv(GLenum pname, GLfloat* out) {
  Es2Context& c = C();
  float v[16];
  int n = 0;
  ValueKind kind;
  if (LayerValues(c, pname, v, &n, &kind)) {
    std::memcpy(out, v, sizeof(float) * n);
  } else if (LayerCap(c, pname) || PassedCap(pname) || ArrayOf(c, pname)) {
    *out = IsEnabled(pname) ? 1.0f : 0.0f;
  } else if (PassedQuery(pname)) {
    c.gl.GetFloatv(pname, out);
  } else {
    SetError(c, GL_INVALID_ENUM);
  }
}

void GL_APIENTRY GetIntegerv(GLenum pname, GLint* out) {
  Es2Context& c = C();
  float v[16];
  int n = 0;
  ValueKind kind;
  if (LayerValues(c, pname, v, &n, &kind)) {
    for (int i = 0; i < n; ++i) out[i] = kind == kColorValue ? ColorToInt(v[i]) : static_cast<GLint>(std::lround(v[i]));
  } else if (LayerCap(c, pname) || PassedCap(pname) || ArrayOf(c, pname)) {
    *out = IsEnabled(pname);
  } else if (PassedQuery(pname)) {
    c.gl.GetIntegerv(pname, out);
  } else {
    SetError(c, GL_INVALID_ENUM);
  }
}

}  // namespace gles2
