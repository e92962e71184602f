// Inside the ES 1.1 translation: the state of one context and the pieces
// its three units share. es2_state.cpp holds the entry points that set and
// query state, es2_draw.cpp the arrays and draws, es2_program.cpp the shader
// variants and their uniforms.
//
// The division of state: what ES 2.0 has with the same meaning (blending,
// depth, culling, scissor, viewport, clear values, pixel store, bindings of
// textures and framebuffers) lives in the ES 2.0 context and is passed
// through after the ES 1.1 checks; what ES 2.0 lacks (matrices, lights,
// materials, texture environments, client arrays, current values, the
// fixed-function enables) lives here and becomes shader variants, uniforms
// and streamed vertex buffers at each draw.
#pragma once

#include <GLES/gl.h>
#include <GLES/glext.h>
#define GL_GLES_PROTOTYPES 0
#include <GLES2/gl2.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "gles/es2_context.h"

namespace gles2 {

// ES 2.0 entry points, looked up once per context.
struct Gl2 {
#define GL2_FUNCTION(result, name, params) result(GL_APIENTRYP name) params;
#include "gles/es2_functions.inc"
#undef GL2_FUNCTION
};

constexpr int kUnits = 2;  // texture units offered (ES 1.1's minimum)
constexpr int kLights = 8;
constexpr int kModelviewDepth = 32;
constexpr int kProjectionDepth = 32;
constexpr int kTextureDepth = 10;
constexpr int kClipPlanes = 6;
constexpr int kMaxLevels = 15;  // levels of a texture up to 16384 texels a side

// Attribute slots of every generated program.
enum Attribute { kPosition = 0, kNormal, kColor, kTexCoord0, kTexCoord1, kLitPosition, kAttributes };

struct Matrix {
  float m[16];
};

struct MatrixStack {
  std::vector<Matrix> entries;  // entries.back() is the top
  int max = 0;
  uint32_t stamp = 1;  // changes with the top
};

struct Light {
  float ambient[4] = {0, 0, 0, 1};
  float diffuse[4] = {0, 0, 0, 1};
  float specular[4] = {0, 0, 0, 1};
  float position[4] = {0, 0, 1, 0};     // eye coordinates, as given
  float spotDirection[3] = {0, 0, -1};  // eye coordinates
  float spotExponent = 0, spotCutoff = 180;
  float attenuation[3] = {1, 0, 0};  // constant, linear, quadratic
  // Derived for the shaders: the unit direction to a directional light and
  // its half vector, or the position divided by w; the unit spot direction.
  float toLight[3] = {0, 0, 1}, half[3] = {0, 0, 1};
  float unitSpot[3] = {0, 0, -1};
  bool enabled = false;
};

struct Material {
  float ambient[4] = {0.2f, 0.2f, 0.2f, 1};
  float diffuse[4] = {0.8f, 0.8f, 0.8f, 1};
  float specular[4] = {0, 0, 0, 1};
  float emission[4] = {0, 0, 0, 1};
  float shininess = 0;
};

struct ClientArray {
  bool enabled = false;
  GLint size = 4;
  GLenum type = GL_FLOAT;
  GLsizei stride = 0;
  const void* pointer = nullptr;
};

// Texture environment of one unit, the combiner's (GL_COMBINE) included.
struct TexEnv {
  GLenum mode = GL_MODULATE;
  float color[4] = {0, 0, 0, 0};
  GLenum combineRgb = GL_MODULATE, combineAlpha = GL_MODULATE;
  GLenum src[6] = {GL_TEXTURE, GL_PREVIOUS, GL_CONSTANT, GL_TEXTURE, GL_PREVIOUS, GL_CONSTANT};
  GLenum operand[6] = {GL_SRC_COLOR, GL_SRC_COLOR, GL_SRC_ALPHA, GL_SRC_ALPHA, GL_SRC_ALPHA, GL_SRC_ALPHA};
  float rgbScale = 1, alphaScale = 1;
  uint32_t stamp = 1;
};

struct TextureUnit {
  bool enabled = false;  // GL_TEXTURE_2D
  GLuint bound = 0;
  TexEnv env;
  MatrixStack matrix;
  ClientArray coords;
  float current[4] = {0, 0, 0, 1};
};

// What the translation knows of a texture object: its levels and the
// parameters as ES 1.1 gave them. The parameters handed to ES 2.0 may be
// tamer (a texture whose sides are not powers of two is sampled clamped
// and without mipmaps, as WebGL requires).
struct Texture {
  struct Level {
    GLsizei width = 0, height = 0;
    GLenum format = 0;
  } levels[kMaxLevels];
  GLint minFilter = GL_NEAREST_MIPMAP_LINEAR, magFilter = GL_LINEAR;
  GLint wrapS = GL_REPEAT, wrapT = GL_REPEAT;
  GLint generateMipmap = GL_FALSE;
  GLint givenMin = 0, givenWrapS = 0, givenWrapT = 0;  // what ES 2.0 has (0: its default)
};

// Texture objects are shared between contexts of a share group (the
// window's two contexts).
struct ShareGroup {
  std::unordered_map<GLuint, Texture> textures;
};

// One shader variant and where its uniforms are. The stamps say which
// state its uniforms were last given.
struct Program {
  uint64_t key = 0, combine = 0;  // see es2_program.cpp
  uint32_t alphaTest = 0;         // the alpha test's function, 0 for none
  GLuint id = 0;
  GLint alphaRef = -1;
  GLint mvp = -1, modelview = -1, normalMatrix = -1, rescale = -1;
  GLint textureMatrix[kUnits] = {-1, -1}, sampler[kUnits] = {-1, -1}, envColor[kUnits] = {-1, -1};
  GLint sceneAmbient = -1, matAmbient = -1, matDiffuse = -1, matSpecular = -1, matEmission = -1, shininess = -1;
  struct LightUniforms {
    GLint ambient = -1, diffuse = -1, specular = -1, position = -1, half = -1, spotDirection = -1, spot = -1,
          attenuation = -1;
  } lights[kLights];
  uint32_t seenModelview = 0, seenProjection = 0, seenTexture[kUnits] = {0, 0}, seenEnv[kUnits] = {0, 0},
           seenLights = 0, seenMaterial = 0;
};

}  // namespace gles2

struct Es2Context {
  gles2::Gl2 gl;
  std::shared_ptr<gles2::ShareGroup> share;
  GLenum error = GL_NO_ERROR;

  // Matrices
  GLenum matrixMode = GL_MODELVIEW;
  gles2::MatrixStack modelview, projection;

  // Texturing and arrays
  int activeUnit = 0, clientUnit = 0;
  gles2::TextureUnit units[gles2::kUnits];
  gles2::ClientArray vertex, normal, color;
  float currentColor[4] = {1, 1, 1, 1};
  float currentNormal[3] = {0, 0, 1};

  // Lighting
  bool lighting = false, colorMaterial = false, normalize = false, rescaleNormal = false;
  bool twoSide = false;
  float lightModelAmbient[4] = {0.2f, 0.2f, 0.2f, 1};
  gles2::Light lights[gles2::kLights];
  gles2::Material material;
  uint32_t lightStamp = 1, materialStamp = 1;

  // The other fixed-function enables. Fog and the alpha test change pixels
  // here; logic op and clip planes have no entry point for their operation
  // or plane, whose defaults pass everything; smoothing and multisampling
  // have nothing to act on in a single-sample colour buffer.
  bool fog = false, alphaTest = false, colorLogicOp = false, lineSmooth = false;
  GLenum alphaFunc = GL_ALWAYS;
  float alphaRef = 0;
  bool pointSmooth = false, multisample = true, sampleAlphaToOne = false;
  bool clipPlane[gles2::kClipPlanes] = {};
  GLenum shadeModel = GL_SMOOTH;
  // Kept here as well, since the engine asks for them at every draw: a
  // browser answers these from its GPU process, after everything queued.
  GLenum blendSrc = GL_ONE, blendDst = GL_ZERO, frontFace = GL_CCW;
  GLenum cullFace = GL_BACK;

  // Programs and their inputs
  std::vector<std::unique_ptr<gles2::Program>> programs;
  gles2::Program* program = nullptr;  // in use
  uint32_t stampCounter = 1;          // source of every stamp above
  struct Derived {
    uint32_t modelview = 0, projection = 0;
    float mvp[16], normal[9], rescale = 1;
  } derived;

  // Streaming of client arrays
  struct AttribState {
    bool array = false;
    float value[4] = {0, 0, 0, 1};
  } attribs[gles2::kAttributes];
  // Buffers for streamed vertices and for indices, each written front to
  // back, the next one taken when full (es2_draw.cpp).
  struct Ring {
    GLuint buffers[3] = {0, 0, 0};
    size_t sizes[3] = {0, 0, 0};
    int current = 0;
    size_t used = 0;
  } vertexRing, indexRing;
  GLuint boundArrayBuffer = 0;
  std::vector<uint8_t> staging, indexStaging;

  // Strings of glGetString, limits
  std::string version, extensions;
  GLint maxTextureSize = 0;
};

namespace gles2 {

extern Es2Context* current;

// ES 1.1 keeps one error flag: the first error since the last glGetError.
// The translation's errors and ES 2.0's share it: an ES 2.0 error still
// pending when the translation finds one came first.
void SetError(Es2Context& c, GLenum e);
// Moves a pending ES 2.0 error into the shared flag; true when there was one.
bool TakeGl2Error(Es2Context& c);

// Matrices (column-major, as GL keeps them).
void MatIdentity(float* m);
void MatMultiply(float* out, const float* a, const float* b);  // out = a * b
// Inverse of the upper 3x3 of m, transposed: what turns normals into eye
// space. The identity when m has no inverse.
void NormalMatrix(const float* m, float* out9);
inline uint32_t NextStamp(Es2Context& c) { return ++c.stampCounter; }
MatrixStack& CurrentStack(Es2Context& c);

Texture* BoundTexture(Es2Context& c, int unit);
// Complete as ES 1.1 samples it: level 0 defined and, with a mipmap filter,
// every level down to 1x1 with the sizes and format that follow from it.
bool TextureComplete(const Texture& t);

// Programs: chooses (building when needed) the variant for the current
// state and a draw of `mode`, makes it current and updates its uniforms. Null when it could not
// be built (the message was printed).
Program* PrepareProgram(Es2Context& c, GLenum mode);
bool ProgramUsesNormals(const Es2Context& c);
bool ProgramUsesColors(const Es2Context& c);
bool UnitActive(Es2Context& c, int unit);
bool FlatVariant(const Es2Context& c);
bool ProgramUsesLitPosition(const Program& p);
void DeletePrograms(Es2Context& c);

// Draws
void DeleteStreams(Es2Context& c);

}  // namespace gles2
