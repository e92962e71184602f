// Shader variants of the translation. The fixed-function state that changes
// what is computed (lighting and which lights, their kind, colour material,
// normal scaling, fog, each texture unit's environment and its texture's
// format) packs into a 64-bit key, the combiner of units in GL_COMBINE
// mode into a second and the alpha test's function into a third; each key
// gets one program, generated in
// GLSL ES 1.00 on first use and kept. State that only changes values
// (matrices, light and material colours) goes into uniforms, updated when
// the state's stamp differs from the one the program last saw.
//
// Lighting follows ES 1.1 per vertex:
//   c = e_m + a_m * a_s + sum over lights of att * spot *
//       (a_m * a_l + max(n.L, 0) * d_m * d_l + [n.L > 0] (max(n.h, 0))^s * s_m * s_l)
// with the alpha of the diffuse material; attenuation applies to positional
// lights only, a spot (cutoff other than 180) to any. As in Mesa's ES 1.1 (the oracle of the tests) the
// colour is not clamped before texturing: a light brighter than one makes a
// texture brighter; the colour buffer clamps at the end.
#include <cmath>
#include <cstdio>
#include <string>

#include "gles/es2_internal.h"

namespace gles2 {

namespace {

// Key layout.
constexpr uint64_t kLit = 1u << 0, kTwoSide = 1u << 1, kColorMaterial = 1u << 2, kNormalize = 1u << 3,
                   kRescale = 1u << 4, kFog = 1u << 5, kFlatLit = 1u << 18, kPoints = 1u << 19;
constexpr int kUnitShift = 6, kUnitBits = 6;  // active, mode (3), has colour, has alpha
constexpr int kProjectiveShift = 20;          // a bit a unit: coordinates with a q other than 1
constexpr int kTexMatrixShift = 22;           // a bit a unit: a texture matrix other than the identity
constexpr int kLightShift = 24, kPositionalShift = 32, kSpotShift = 40, kAttenuationShift = 48;
constexpr int kSpecularShift = 56;  // a light with specular colour

enum EnvMode { kModulate = 0, kReplace, kDecal, kBlend, kAdd, kCombine };

int ModeCode(GLenum mode) {
  switch (mode) {
    case GL_REPLACE:
      return kReplace;
    case GL_DECAL:
      return kDecal;
    case GL_BLEND:
      return kBlend;
    case GL_ADD:
      return kAdd;
    case GL_COMBINE:
      return kCombine;
    default:
      return kModulate;
  }
}

// The combiner of a unit, 31 bits of the second key word (32 a unit): the
// functions, sources and operands as indices into these lists, and the
// scales as powers of two.
const GLenum kFunctions[] = {GL_REPLACE,     GL_ADD,      GL_MODULATE, GL_ADD_SIGNED,
                             GL_INTERPOLATE, GL_SUBTRACT, GL_DOT3_RGB, GL_DOT3_RGBA};
const GLenum kSources[] = {GL_TEXTURE, GL_CONSTANT, GL_PRIMARY_COLOR, GL_PREVIOUS};
const GLenum kOperands[] = {GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA};

template <size_t N>
uint64_t IndexIn(const GLenum (&list)[N], GLenum v) {
  for (size_t i = 0; i < N; ++i)
    if (list[i] == v) return i;
  return 0;
}

uint64_t CombineBits(const TexEnv& e) {
  uint64_t b = IndexIn(kFunctions, e.combineRgb) | IndexIn(kFunctions, e.combineAlpha) << 3;
  for (int i = 0; i < 6; ++i) b |= IndexIn(kSources, e.src[i]) << (6 + 2 * i);
  for (int i = 0; i < 3; ++i) b |= IndexIn(kOperands, e.operand[i]) << (18 + 2 * i);
  for (int i = 0; i < 3; ++i) b |= uint64_t(e.operand[3 + i] == GL_ONE_MINUS_SRC_ALPHA) << (24 + i);
  b |= uint64_t(e.rgbScale == 4.0f ? 2 : e.rgbScale == 2.0f ? 1 : 0) << 27;
  b |= uint64_t(e.alphaScale == 4.0f ? 2 : e.alphaScale == 2.0f ? 1 : 0) << 29;
  return b;
}

bool Bit(uint64_t key, int shift) { return (key >> shift) & 1u; }

bool AnyPositional(const Es2Context& c) {
  for (const Light& l : c.lights)
    if (l.enabled && l.position[3] != 0.0f) return true;
  return false;
}

// Whether unit u's coordinates reach the texture with a q other than 1: a
// fourth component given, or a texture matrix with a projective row. Where
// q is 1 the division by it changes nothing and is left out.
bool Projective(const Es2Context& c, int u) {
  const TextureUnit& unit = c.units[u];
  const float* m = unit.matrix.entries.back().m;
  if (m[3] != 0.0f || m[7] != 0.0f || m[11] != 0.0f || m[15] != 1.0f) return true;
  return unit.coords.enabled ? unit.coords.size == 4 : unit.current[3] != 1.0f;
}

bool IsIdentity(const float* m) {
  for (int i = 0; i < 16; ++i)
    if (m[i] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  return true;
}

uint64_t ComputeKey(Es2Context& c, GLenum mode, uint64_t* combine) {
  uint64_t k = mode == GL_POINTS ? kPoints : 0;
  *combine = 0;
  if (c.lighting) {
    k |= kLit;
    if (c.twoSide) k |= kTwoSide;
    if (c.colorMaterial) k |= kColorMaterial;
    if (c.normalize)
      k |= kNormalize;
    else if (c.rescaleNormal)
      k |= kRescale;
    for (int i = 0; i < kLights; ++i) {
      const Light& l = c.lights[i];
      if (!l.enabled) continue;
      k |= uint64_t(1) << (kLightShift + i);
      // No specular colour: the term is zero whatever the angle.
      if (l.specular[0] != 0.0f || l.specular[1] != 0.0f || l.specular[2] != 0.0f)
        k |= uint64_t(1) << (kSpecularShift + i);
      if (l.spotCutoff != 180.0f) k |= uint64_t(1) << (kSpotShift + i);
      if (l.position[3] == 0.0f) continue;
      k |= uint64_t(1) << (kPositionalShift + i);
      if (l.attenuation[0] != 1.0f || l.attenuation[1] != 0.0f || l.attenuation[2] != 0.0f)
        k |= uint64_t(1) << (kAttenuationShift + i);
    }
    if (FlatVariant(c) && AnyPositional(c)) k |= kFlatLit;
  }
  if (c.fog) k |= kFog;
  for (int u = 0; u < kUnits; ++u) {
    if (!UnitActive(c, u)) continue;
    const GLenum format = BoundTexture(c, u)->levels[0].format;
    uint64_t bits = 1 | (ModeCode(c.units[u].env.mode) << 1);
    if (format != GL_ALPHA) bits |= 1u << 4;
    if (format == GL_ALPHA || format == GL_LUMINANCE_ALPHA || format == GL_RGBA) bits |= 1u << 5;
    k |= bits << (kUnitShift + kUnitBits * u);
    if (Projective(c, u)) k |= uint64_t(1) << (kProjectiveShift + u);
    if (!IsIdentity(c.units[u].matrix.entries.back().m)) k |= uint64_t(1) << (kTexMatrixShift + u);
    if (c.units[u].env.mode == GL_COMBINE) *combine |= CombineBits(c.units[u].env) << (32 * u);
  }
  return k;
}

struct UnitKey {
  bool active;
  int mode;
  bool hasColor, hasAlpha;
};

UnitKey UnitOf(uint64_t key, int u) {
  const uint64_t b = key >> (kUnitShift + kUnitBits * u);
  return {(b & 1) != 0, static_cast<int>((b >> 1) & 7), ((b >> 4) & 1) != 0, ((b >> 5) & 1) != 0};
}

std::string N(int i) { return std::to_string(i); }

// Coordinates with q go to the fragment whole, the others as (s, t).
std::string TexCoordType(uint64_t key, int u) { return Bit(key, kProjectiveShift + u) ? "vec4" : "vec2"; }

std::string VertexShader(uint64_t key) {
  const bool lit = key & kLit, twoSide = key & kTwoSide, cm = key & kColorMaterial, fog = key & kFog;
  bool positional = false;
  for (int i = 0; i < kLights; ++i) positional = positional || Bit(key, kPositionalShift + i);
  const bool eye = fog || positional;
  std::string s = "#version 100\nattribute vec4 a_position;\nuniform mat4 u_mvp;\n";
  if (eye) s += "uniform mat4 u_modelview;\n";
  if (!lit || cm) s += "attribute vec4 a_color;\n";
  s += "varying vec4 v_color;\n";
  if (lit) {
    s += "attribute vec3 a_normal;\nuniform mat3 u_normalMatrix;\n";
    if (key & kRescale) s += "uniform float u_rescale;\n";
    if (key & kFlatLit) s += "attribute vec4 a_litPosition;\n";
    s += "uniform vec4 u_sceneAmbient, u_matAmbient, u_matDiffuse, u_matSpecular, u_matEmission;\n"
         "uniform float u_shininess;\n";
    if (twoSide) s += "varying vec4 v_backColor;\n";
    s += "float Power(float x, float e) { return e == 0.0 ? 1.0 : pow(max(x, 0.0), e); }\n";
    for (int i = 0; i < kLights; ++i) {
      if (!Bit(key, kLightShift + i)) continue;
      const std::string l = "u_light" + N(i);
      s += "uniform vec4 " + l + "Ambient, " + l + "Diffuse, " + l + "Specular;\nuniform vec3 " + l + "Position;\n";
      if (!Bit(key, kPositionalShift + i)) s += "uniform vec3 " + l + "Half;\n";
      if (Bit(key, kSpotShift + i)) s += "uniform vec3 " + l + "SpotDirection;\nuniform vec2 " + l + "Spot;\n";
      if (Bit(key, kAttenuationShift + i)) s += "uniform vec3 " + l + "Attenuation;\n";
    }
  }
  for (int u = 0; u < kUnits; ++u) {
    if (!UnitOf(key, u).active) continue;
    s += "attribute vec4 a_texCoord" + N(u) + ";\nvarying " + TexCoordType(key, u) + " v_texCoord" + N(u) + ";\n";
    if (Bit(key, kTexMatrixShift + u)) s += "uniform mat4 u_textureMatrix" + N(u) + ";\n";
  }
  if (fog) s += "varying float v_fog;\n";

  s += "void main() {\n  gl_Position = u_mvp * a_position;\n";
  if (key & kPoints) s += "  gl_PointSize = 1.0;\n";
  if (eye) s += "  vec4 eye = u_modelview * a_position;\n";
  if (lit) {
    s += "  vec3 n = u_normalMatrix * a_normal;\n";
    if (key & kRescale) s += "  n = n * u_rescale;\n";
    if (key & kNormalize) s += "  n = normalize(n);\n";
    if (positional) s += (key & kFlatLit) ? "  vec4 litEye = u_modelview * a_litPosition;\n" : "  vec4 litEye = eye;\n";
    s += cm ? "  vec4 ma = a_color, md = a_color;\n" : "  vec4 ma = u_matAmbient, md = u_matDiffuse;\n";
    s += "  vec3 front = u_matEmission.rgb + u_sceneAmbient.rgb * ma.rgb;\n";
    if (twoSide) s += "  vec3 back = front;\n";
    for (int i = 0; i < kLights; ++i) {
      if (!Bit(key, kLightShift + i)) continue;
      const std::string l = "u_light" + N(i);
      s += "  {\n";
      if (Bit(key, kPositionalShift + i)) {
        s += "    vec3 vp = " + l +
             "Position - litEye.xyz;\n    float d = length(vp);\n"
             "    vp = d > 0.0 ? vp / d : vp;\n    vec3 h = normalize(vp + vec3(0.0, 0.0, 1.0));\n"
             "    float att = 1.0;\n";
        if (Bit(key, kAttenuationShift + i))
          s += "    att = 1.0 / (" + l + "Attenuation.x + " + l + "Attenuation.y * d + " + l +
               "Attenuation.z * d * d);\n";
      } else {
        s += "    vec3 vp = " + l + "Position;\n    vec3 h = " + l + "Half;\n    float att = 1.0;\n";
      }
      if (Bit(key, kSpotShift + i))
        s += "    float sd = dot(-vp, " + l + "SpotDirection);\n    att *= sd >= " + l + "Spot.y ? Power(sd, " + l +
             "Spot.x) : 0.0;\n";
      s += "    vec3 a = " + l + "Ambient.rgb * ma.rgb, dl = " + l +
           "Diffuse.rgb * md.rgb;\n"
           "    float ndl = dot(n, vp);\n";
      if (Bit(key, kSpecularShift + i)) {
        s += "    vec3 sl = " + l +
             "Specular.rgb * u_matSpecular.rgb;\n    float ndh = dot(n, h);\n"
             "    front += att * (a + max(ndl, 0.0) * dl + (ndl > 0.0 ? Power(ndh, u_shininess) : 0.0) * sl);\n";
        if (twoSide)
          s += "    back += att * (a + max(-ndl, 0.0) * dl + (-ndl > 0.0 ? Power(-ndh, u_shininess) : 0.0) * sl);\n";
      } else {
        s += "    front += att * (a + max(ndl, 0.0) * dl);\n";
        if (twoSide) s += "    back += att * (a + max(-ndl, 0.0) * dl);\n";
      }
      s += "  }\n";
    }
    s += "  v_color = vec4(front, md.a);\n";
    if (twoSide) s += "  v_backColor = vec4(back, md.a);\n";
  } else {
    s += "  v_color = a_color;\n";
  }
  for (int u = 0; u < kUnits; ++u) {
    if (!UnitOf(key, u).active) continue;
    const std::string coords =
        Bit(key, kTexMatrixShift + u) ? "(u_textureMatrix" + N(u) + " * a_texCoord" + N(u) + ")" : "a_texCoord" + N(u);
    s += "  v_texCoord" + N(u) + " = " + coords + (Bit(key, kProjectiveShift + u) ? "" : ".xy") + ";\n";
  }
  if (fog) s += "  v_fog = clamp(exp(-abs(eye.z)), 0.0, 1.0);\n";
  s += "}\n";
  return s;
}

// One combiner: ES 1.1's functions of up to three arguments, each a source
// taken as its colour, alpha or their complements, scaled and clamped.
std::string Combiner(uint64_t bits, int u) {
  auto source = [&](int i) -> std::string {
    switch ((bits >> (6 + 2 * i)) & 3) {
      case 0:
        return "t";
      case 1:
        return "u_envColor" + N(u);
      case 2:
        return "primary";
      default:
        return "c";
    }
  };
  auto rgb = [&](int i) {
    const std::string x = source(i);
    switch ((bits >> (18 + 2 * i)) & 3) {
      case 0:
        return x + ".rgb";
      case 1:
        return "(1.0 - " + x + ".rgb)";
      case 2:
        return "vec3(" + x + ".a)";
      default:
        return "vec3(1.0 - " + x + ".a)";
    }
  };
  auto alpha = [&](int i) {
    const std::string x = source(3 + i) + ".a";
    return ((bits >> (24 + i)) & 1) ? "(1.0 - " + x + ")" : x;
  };
  auto function = [](uint64_t f, const std::string& a0, const std::string& a1, const std::string& a2,
                     const std::string& one) -> std::string {
    switch (f) {
      case 0:
        return a0;
      case 1:
        return a0 + " + " + a1;
      case 2:
        return a0 + " * " + a1;
      case 3:
        return a0 + " + " + a1 + " - 0.5";
      case 4:
        return a0 + " * " + a2 + " + " + a1 + " * (" + one + " - " + a2 + ")";
      case 5:
        return a0 + " - " + a1;
      default:
        return "vec3(4.0 * dot(" + a0 + " - 0.5, " + a1 + " - 0.5))";
    }
  };
  const uint64_t fRgb = bits & 7, fAlpha = (bits >> 3) & 7;
  const std::string rgbScale = N(1 << ((bits >> 27) & 3)) + ".0", alphaScale = N(1 << ((bits >> 29) & 3)) + ".0";
  std::string s = "    vec3 r = clamp((" + function(fRgb, rgb(0), rgb(1), rgb(2), "vec3(1.0)") + ") * " + rgbScale +
                  ", 0.0, 1.0);\n";
  if (fRgb == 7)  // DOT3_RGBA: the dot in all four
    s += "    float a = r.r;\n";
  else
    s += "    float a = clamp((" + function(fAlpha, alpha(0), alpha(1), alpha(2), "1.0") + ") * " + alphaScale +
         ", 0.0, 1.0);\n";
  return s + "    c = vec4(r, a);\n";
}

// The alpha test's comparisons, by function less GL_NEVER (ES 1.1 compares
// the fragment's alpha after texturing and fog).
const char* const kAlphaPasses[] = {"false",
                                    "c.a < u_alphaRef",
                                    "c.a == u_alphaRef",
                                    "c.a <= u_alphaRef",
                                    "c.a > u_alphaRef",
                                    "c.a != u_alphaRef",
                                    "c.a >= u_alphaRef",
                                    "true"};

std::string FragmentShader(uint64_t key, uint64_t combine, uint32_t alphaTest) {
  std::string s =
      "#version 100\n#ifdef GL_FRAGMENT_PRECISION_HIGH\nprecision highp float;\n#else\n"
      "precision mediump float;\n#endif\nvarying vec4 v_color;\n";
  if (key & kTwoSide) s += "varying vec4 v_backColor;\n";
  if (key & kFog) s += "varying float v_fog;\n";
  for (int u = 0; u < kUnits; ++u) {
    const UnitKey k = UnitOf(key, u);
    if (!k.active) continue;
    s += "varying " + TexCoordType(key, u) + " v_texCoord" + N(u) + ";\nuniform sampler2D u_sampler" + N(u) + ";\n";
    if (k.mode == kBlend || k.mode == kCombine) s += "uniform vec4 u_envColor" + N(u) + ";\n";
  }
  if (alphaTest) s += "uniform float u_alphaRef;\n";
  s += "void main() {\n";
  s += (key & kTwoSide) ? "  vec4 c = gl_FrontFacing ? v_color : v_backColor;\n" : "  vec4 c = v_color;\n";
  if (combine) s += "  vec4 primary = c;\n";
  for (int u = 0; u < kUnits; ++u) {
    const UnitKey k = UnitOf(key, u);
    if (!k.active) continue;
    // The sampler gives 1 for a missing alpha and 0 for missing colour;
    // ES 1.1's table by base format needs the two flags on top.
    s += "  {\n    vec4 t = texture2D" + std::string(Bit(key, kProjectiveShift + u) ? "Proj" : "") + "(u_sampler" +
         N(u) + ", v_texCoord" + N(u) + ");\n";
    switch (k.mode) {
      case kReplace:
        if (k.hasColor) s += "    c.rgb = t.rgb;\n";
        if (k.hasAlpha) s += "    c.a = t.a;\n";
        break;
      case kDecal:
        s += "    c.rgb = mix(c.rgb, t.rgb, t.a);\n";
        break;
      case kBlend:
        if (k.hasColor) s += "    c.rgb = mix(c.rgb, u_envColor" + N(u) + ".rgb, t.rgb);\n";
        s += "    c.a = c.a * t.a;\n";
        break;
      case kAdd:
        if (k.hasColor) s += "    c.rgb = min(c.rgb + t.rgb, 1.0);\n";
        s += "    c.a = c.a * t.a;\n";
        break;
      case kCombine:
        s += Combiner(combine >> (32 * u), u);
        break;
      default:
        if (k.hasColor) s += "    c.rgb = c.rgb * t.rgb;\n";
        s += "    c.a = c.a * t.a;\n";
        break;
    }
    s += "  }\n";
  }
  // Fog with its defaults (the engine has no call to change them): GL_EXP,
  // density 1, colour (0, 0, 0, 0).
  if (key & kFog) s += "  c.rgb = c.rgb * v_fog;\n";
  if (alphaTest) s += std::string("  if (!(") + kAlphaPasses[alphaTest - 1] + ")) discard;\n";
  s += "  gl_FragColor = c;\n}\n";
  return s;
}

GLuint Compile(Es2Context& c, GLenum type, const std::string& source, uint64_t key) {
  GLuint shader = c.gl.CreateShader(type);
  const char* text = source.c_str();
  c.gl.ShaderSource(shader, 1, &text, nullptr);
  c.gl.CompileShader(shader);
  GLint ok = 0;
  c.gl.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[1024] = "";
    c.gl.GetShaderInfoLog(shader, sizeof log, nullptr, log);
    std::fprintf(stderr, "gles: shader variant %llx does not compile: %s\n", static_cast<unsigned long long>(key), log);
    c.gl.DeleteShader(shader);
    return 0;
  }
  return shader;
}

std::unique_ptr<Program> Build(Es2Context& c, uint64_t key, uint64_t combine, uint32_t alphaTest) {
  auto p = std::make_unique<Program>();
  p->key = key;
  p->combine = combine;
  p->alphaTest = alphaTest;
  const GLuint vs = Compile(c, GL_VERTEX_SHADER, VertexShader(key), key);
  const GLuint fs = vs ? Compile(c, GL_FRAGMENT_SHADER, FragmentShader(key, combine, alphaTest), key) : 0;
  if (!vs || !fs) {
    if (vs) c.gl.DeleteShader(vs);
    return p;  // id 0: draws with this state are skipped
  }
  const GLuint id = c.gl.CreateProgram();
  c.gl.AttachShader(id, vs);
  c.gl.AttachShader(id, fs);
  static const char* const names[kAttributes] = {"a_position",  "a_normal",    "a_color",
                                                 "a_texCoord0", "a_texCoord1", "a_litPosition"};
  for (int a = 0; a < kAttributes; ++a) c.gl.BindAttribLocation(id, a, names[a]);
  c.gl.LinkProgram(id);
  c.gl.DeleteShader(vs);
  c.gl.DeleteShader(fs);
  GLint ok = 0;
  c.gl.GetProgramiv(id, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[1024] = "";
    c.gl.GetProgramInfoLog(id, sizeof log, nullptr, log);
    std::fprintf(stderr, "gles: shader variant %llx does not link: %s\n", static_cast<unsigned long long>(key), log);
    c.gl.DeleteProgram(id);
    return p;
  }
  p->id = id;
  auto at = [&](const std::string& name) { return c.gl.GetUniformLocation(id, name.c_str()); };
  p->mvp = at("u_mvp");
  p->modelview = at("u_modelview");
  p->normalMatrix = at("u_normalMatrix");
  p->rescale = at("u_rescale");
  p->sceneAmbient = at("u_sceneAmbient");
  p->matAmbient = at("u_matAmbient");
  p->matDiffuse = at("u_matDiffuse");
  p->matSpecular = at("u_matSpecular");
  p->matEmission = at("u_matEmission");
  p->shininess = at("u_shininess");
  p->alphaRef = at("u_alphaRef");
  for (int i = 0; i < kLights; ++i) {
    const std::string l = "u_light" + N(i);
    Program::LightUniforms& u = p->lights[i];
    u.ambient = at(l + "Ambient");
    u.diffuse = at(l + "Diffuse");
    u.specular = at(l + "Specular");
    u.position = at(l + "Position");
    u.half = at(l + "Half");
    u.spotDirection = at(l + "SpotDirection");
    u.spot = at(l + "Spot");
    u.attenuation = at(l + "Attenuation");
  }
  c.gl.UseProgram(id);
  for (int u = 0; u < kUnits; ++u) {
    p->textureMatrix[u] = at("u_textureMatrix" + N(u));
    p->sampler[u] = at("u_sampler" + N(u));
    p->envColor[u] = at("u_envColor" + N(u));
    if (p->sampler[u] >= 0) c.gl.Uniform1i(p->sampler[u], u);
  }
  c.program = p.get();
  return p;
}

void UpdateMatrices(Es2Context& c, Program& p) {
  const MatrixStack &mv = c.modelview, &proj = c.projection;
  if (p.seenModelview == mv.stamp && p.seenProjection == proj.stamp) return;
  Es2Context::Derived& d = c.derived;
  const float* m = mv.entries.back().m;
  if (d.modelview != mv.stamp) {
    NormalMatrix(m, d.normal);
    const float* r = d.normal + 6;  // the inverse's third row
    d.rescale = 1.0f / std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
  }
  if (d.modelview != mv.stamp || d.projection != proj.stamp) MatMultiply(d.mvp, proj.entries.back().m, m);
  d.modelview = mv.stamp;
  d.projection = proj.stamp;
  c.gl.UniformMatrix4fv(p.mvp, 1, GL_FALSE, d.mvp);
  if (p.modelview >= 0) c.gl.UniformMatrix4fv(p.modelview, 1, GL_FALSE, m);
  if (p.normalMatrix >= 0) c.gl.UniformMatrix3fv(p.normalMatrix, 1, GL_FALSE, d.normal);
  if (p.rescale >= 0) c.gl.Uniform1f(p.rescale, d.rescale);
  p.seenModelview = mv.stamp;
  p.seenProjection = proj.stamp;
}

void UpdateLighting(Es2Context& c, Program& p) {
  if (p.sceneAmbient < 0) return;
  if (p.seenLights != c.lightStamp) {
    c.gl.Uniform4fv(p.sceneAmbient, 1, c.lightModelAmbient);
    for (int i = 0; i < kLights; ++i) {
      const Program::LightUniforms& u = p.lights[i];
      if (u.ambient < 0 && u.diffuse < 0 && u.position < 0) continue;
      const Light& l = c.lights[i];
      if (u.ambient >= 0) c.gl.Uniform4fv(u.ambient, 1, l.ambient);
      if (u.diffuse >= 0) c.gl.Uniform4fv(u.diffuse, 1, l.diffuse);
      if (u.specular >= 0) c.gl.Uniform4fv(u.specular, 1, l.specular);
      if (u.position >= 0) c.gl.Uniform3f(u.position, l.toLight[0], l.toLight[1], l.toLight[2]);
      if (u.half >= 0) c.gl.Uniform3f(u.half, l.half[0], l.half[1], l.half[2]);
      if (u.spotDirection >= 0) c.gl.Uniform3f(u.spotDirection, l.unitSpot[0], l.unitSpot[1], l.unitSpot[2]);
      if (u.spot >= 0)
        c.gl.Uniform2f(u.spot, l.spotExponent,
                       static_cast<float>(std::cos(static_cast<double>(l.spotCutoff) * M_PI / 180.0)));
      if (u.attenuation >= 0) c.gl.Uniform3f(u.attenuation, l.attenuation[0], l.attenuation[1], l.attenuation[2]);
    }
    p.seenLights = c.lightStamp;
  }
  if (p.seenMaterial != c.materialStamp) {
    const Material& m = c.material;
    if (p.matAmbient >= 0) c.gl.Uniform4fv(p.matAmbient, 1, m.ambient);
    if (p.matDiffuse >= 0) c.gl.Uniform4fv(p.matDiffuse, 1, m.diffuse);
    c.gl.Uniform4fv(p.matSpecular, 1, m.specular);
    c.gl.Uniform4fv(p.matEmission, 1, m.emission);
    c.gl.Uniform1f(p.shininess, m.shininess);
    p.seenMaterial = c.materialStamp;
  }
}

void UpdateUnits(Es2Context& c, Program& p) {
  for (int u = 0; u < kUnits; ++u) {
    const TextureUnit& unit = c.units[u];
    if (p.textureMatrix[u] >= 0 && p.seenTexture[u] != unit.matrix.stamp) {
      c.gl.UniformMatrix4fv(p.textureMatrix[u], 1, GL_FALSE, unit.matrix.entries.back().m);
      p.seenTexture[u] = unit.matrix.stamp;
    }
    if (p.envColor[u] >= 0 && p.seenEnv[u] != unit.env.stamp) {
      c.gl.Uniform4fv(p.envColor[u], 1, unit.env.color);
      p.seenEnv[u] = unit.env.stamp;
    }
  }
}

}  // namespace

bool UnitActive(Es2Context& c, int unit) {
  if (!c.units[unit].enabled) return false;
  const Texture* t = BoundTexture(c, unit);
  return t && TextureComplete(*t);
}

bool FlatVariant(const Es2Context& c) { return c.shadeModel == GL_FLAT; }
bool ProgramUsesNormals(const Es2Context& c) { return c.lighting; }
bool ProgramUsesColors(const Es2Context& c) { return !c.lighting || c.colorMaterial; }
bool ProgramUsesLitPosition(const Program& p) { return (p.key & kFlatLit) != 0; }

Program* PrepareProgram(Es2Context& c, GLenum mode) {
  uint64_t combine = 0;
  const uint64_t key = ComputeKey(c, mode, &combine);
  const uint32_t alphaTest = c.alphaTest && c.alphaFunc != GL_ALWAYS ? c.alphaFunc - GL_NEVER + 1 : 0;
  auto is = [&](const Program* q) { return q && q->key == key && q->combine == combine && q->alphaTest == alphaTest; };
  Program* p = is(c.program) ? c.program : nullptr;
  if (!p) {
    for (auto& q : c.programs)
      if (is(q.get())) p = q.get();
    if (!p) {
      c.programs.push_back(Build(c, key, combine, alphaTest));
      p = c.programs.back().get();
    }
  }
  if (!p->id) return nullptr;
  if (c.program != p) {
    c.gl.UseProgram(p->id);
    c.program = p;
  }
  UpdateMatrices(c, *p);
  UpdateLighting(c, *p);
  UpdateUnits(c, *p);
  if (p->alphaRef >= 0) c.gl.Uniform1f(p->alphaRef, c.alphaRef < 0 ? 0 : (c.alphaRef > 1 ? 1 : c.alphaRef));
  return p;
}

void DeletePrograms(Es2Context& c) {
  for (auto& p : c.programs)
    if (p->id) c.gl.DeleteProgram(p->id);
  c.programs.clear();
  c.program = nullptr;
}

}  // namespace gles2
