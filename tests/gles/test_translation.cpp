// Our ES 1.1 translation against the driver's own ES 1.1, the oracle. Each
// case sets state as the engine does, with the variations ES 1.1 allows,
// and draws; it runs on an es1 and an es2 surface in turn. The frames must
// match within the oracle tolerance, every piece of state the engine can
// query and every error must come out the same, and so must a draw after
// the case that sets nothing itself: the state left behind.
#include <gtest/gtest.h>
#include <imgui.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ui_render.h"
#include "gles/gles.h"
#include "kit/pictures.h"
#include "surface/EAGLView.h"

namespace {

constexpr int kSize = 64;

// A dome over [-0.9, 0.9]^2 with normals 0.8 long, colours and texture
// coordinates reaching past 1 (so wrapping shows), triangles indexed by
// shorts and by bytes.
struct Dome {
  static constexpr int kN = 11;
  static constexpr int kVertices = kN * kN, kIndices = (kN - 1) * (kN - 1) * 6;
  float pos[kVertices * 3], normal[kVertices * 3], color[kVertices * 4], uv[kVertices * 2];
  uint8_t color8[kVertices * 4];
  uint16_t index[kIndices];
  uint8_t index8[kIndices];
  Dome() {
    for (int y = 0; y < kN; ++y)
      for (int x = 0; x < kN; ++x) {
        const int i = y * kN + x;
        const float u = -0.9f + 1.8f * x / (kN - 1), v = -0.9f + 1.8f * y / (kN - 1);
        const float z = 0.6f * (1.0f - 0.5f * (u * u + v * v));
        pos[3 * i] = u, pos[3 * i + 1] = v, pos[3 * i + 2] = z;
        const float nx = 0.6f * u, ny = 0.6f * v, len = std::sqrt(nx * nx + ny * ny + 1.0f) / 0.8f;
        normal[3 * i] = nx / len, normal[3 * i + 1] = ny / len, normal[3 * i + 2] = 1.0f / len;
        const float c[4] = {0.5f + 0.5f * u, 0.5f - 0.5f * v, 0.3f + 0.6f * z, 0.4f + 0.6f * (x % 3) / 2.0f};
        for (int k = 0; k < 4; ++k) {
          color[4 * i + k] = c[k];
          color8[4 * i + k] = static_cast<uint8_t>(std::lround(c[k] * 255));
        }
        uv[2 * i] = 1.5f * x / (kN - 1), uv[2 * i + 1] = 1.2f * y / (kN - 1);
      }
    int k = 0;
    for (int y = 0; y + 1 < kN; ++y)
      for (int x = 0; x + 1 < kN; ++x) {
        const int a = y * kN + x, b = a + 1, c = a + kN, d = c + 1;
        for (int v : {a, b, d, a, d, c}) index[k] = static_cast<uint16_t>(v), index8[k++] = static_cast<uint8_t>(v);
      }
  }
};
const Dome dome;

void Arrays(bool normals, bool colors, bool uvs) {
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, dome.pos);
  if (normals) glEnableClientState(GL_NORMAL_ARRAY);
  glNormalPointer(GL_FLOAT, 0, dome.normal);
  if (colors) glEnableClientState(GL_COLOR_ARRAY);
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, dome.color8);
  if (uvs) glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, 0, dome.uv);
}

void DrawDome() { glDrawElements(GL_TRIANGLES, Dome::kIndices, GL_UNSIGNED_SHORT, dome.index); }

// A texture of `format` (a checker with an alpha ramp), bound to the active
// unit, linear filtered unless `mipmaps`.
GLuint Checker(GLenum format, bool mipmaps = false, int size = 16) {
  const int channels = format == GL_RGBA ? 4 : format == GL_RGB ? 3 : format == GL_LUMINANCE_ALPHA ? 2 : 1;
  std::vector<uint8_t> px(static_cast<size_t>(size) * size * channels);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const bool odd = ((x / 2) + (y / 2)) % 2;
      const uint8_t c[4] = {static_cast<uint8_t>(odd ? 230 : 40), static_cast<uint8_t>(odd ? 120 : 200),
                            static_cast<uint8_t>(16 * (x % 16)), static_cast<uint8_t>(255 * y / (size - 1))};
      uint8_t* p = &px[(static_cast<size_t>(y) * size + x) * channels];
      if (format == GL_ALPHA)
        p[0] = c[3];
      else if (format == GL_LUMINANCE || format == GL_LUMINANCE_ALPHA)
        p[0] = c[0], p[channels - 1] = channels == 2 ? c[3] : c[0];
      else
        for (int k = 0; k < channels; ++k) p[k] = c[k];
    }
  GLuint t = 0;
  glGenTextures(1, &t);
  glBindTexture(GL_TEXTURE_2D, t);
  if (mipmaps) glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmaps ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, format, size, size, 0, format, GL_UNSIGNED_BYTE, px.data());
  return t;
}

void DirectionalLight(GLenum light, float x, float y, float z, float gray) {
  const float dir[4] = {x, y, z, 0}, diffuse[4] = {gray, gray, gray, 1}, specular[4] = {0.6f, 0.5f, 0.4f, 1};
  glEnable(light);
  glLightfv(light, GL_POSITION, dir);
  glLightfv(light, GL_DIFFUSE, diffuse);
  glLightfv(light, GL_SPECULAR, specular);
}

void Material(float r, float g, float b, float shininess) {
  const float ambient[4] = {r * 0.5f, g * 0.5f, b * 0.5f, 1}, diffuse[4] = {r, g, b, 0.7f},
              specular[4] = {0.5f, 0.5f, 0.5f, 1}, emission[4] = {0.05f, 0, 0.1f, 1};
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
  glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
}

void Scale(float x, float y, float z) {
  const float m[16] = {x, 0, 0, 0, 0, y, 0, 0, 0, 0, z, 0, 0, 0, 0, 1};
  glMultMatrixf(m);
}

// What cases write down beyond the frame: the errors their calls give,
// results of their own queries.
std::string g_log;
void Log(const std::string& what) { g_log += what + "\n"; }
void LogError(const std::string& call) { Log(call + " -> " + std::to_string(glGetError())); }

struct Case {
  const char* name;
  std::function<void()> run;
  bool draws = true;
};

void EnvironmentLightUnit(const float* coords) {
  glActiveTexture(GL_TEXTURE1);
  Checker(GL_RGB);
  glEnable(GL_TEXTURE_2D);
  glClientActiveTexture(GL_TEXTURE1);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, 8, coords);
  glClientActiveTexture(GL_TEXTURE0);
}

std::vector<Case> Cases() {
  return {
      {"UnlitColoursAndCurrentColour",
       [] {
         Arrays(false, true, false);
         DrawDome();
         glDisableClientState(GL_COLOR_ARRAY);
         glColor4ub(200, 100, 50, 255);
         glTranslatef(0.5f, 0.5f, 0.2f);
         glDrawElements(GL_TRIANGLES, 60, GL_UNSIGNED_SHORT, dome.index);
         glColor4f(1.5f, 0.5f, -0.25f, 0.5f);  // out of range: kept as given
         glTranslatef(-1.0f, -1.0f, 0);
         glDrawElements(GL_TRIANGLES, 60, GL_UNSIGNED_SHORT, dome.index);
         glColor4f(0.75f, 0.5f, -0.25f, 0.5f);
       }},
      {"TheEnginesLightAndMaterials",
       [] {
         // The test light, then the material paths: lit, "const", textured.
         const float model[4] = {0.65f, 0.65f, 0.65f, 1}, zero[4] = {0, 0, 0, 0}, one[4] = {1, 1, 1, 1};
         glEnable(GL_LIGHTING);
         glLightModelfv(GL_LIGHT_MODEL_AMBIENT, model);
         DirectionalLight(GL_LIGHT0, 2.9f, 1.5f, 0.9f, 0.8f);
         glLightfv(GL_LIGHT0, GL_AMBIENT, zero);
         glEnable(GL_DEPTH_TEST);
         glDepthFunc(GL_LESS);
         Material(0.8f, 0.9f, 0.7f, 20);
         Arrays(true, false, true);
         DrawDome();
         glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, one);
         for (GLenum p : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_SHININESS}) glMaterialfv(GL_FRONT_AND_BACK, p, zero);
         glTranslatef(0.6f, -0.6f, 0.3f);
         glDrawElements(GL_TRIANGLES, 90, GL_UNSIGNED_SHORT, dome.index);
         Material(1, 1, 1, 0);
         glActiveTexture(GL_TEXTURE0);
         Checker(GL_RGBA);
         glEnable(GL_TEXTURE_2D);
         glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
         glTranslatef(-1.2f, 0.2f, 0);
         glDrawElements(GL_TRIANGLES, 120, GL_UNSIGNED_SHORT, dome.index);
       }},
      {"TransformedNormalsRescaledAndNormalised",
       [] {
         glEnable(GL_LIGHTING);
         glRotatef(30, 1, 0.5f, 0);  // the lights are given under this modelview
         DirectionalLight(GL_LIGHT0, 0, 0, 1, 1);
         DirectionalLight(GL_LIGHT1, -1, 0.5f, 0.5f, 0.4f);
         Material(0.9f, 0.6f, 0.3f, 8);
         Arrays(true, false, false);
         glLoadIdentity();
         glTranslatef(-0.45f, 0.45f, 0);
         Scale(0.5f, 0.5f, 0.5f);
         DrawDome();
         glEnable(GL_RESCALE_NORMAL);
         glTranslatef(1.8f, 0, 0);
         DrawDome();
         glLoadIdentity();
         glTranslatef(0, -0.45f, 0);
         glRotatef(-40, 0, 0, 1);
         Scale(0.8f, 0.4f, 1.5f);
         glEnable(GL_NORMALIZE);
         DrawDome();
       }},
      {"PositionalSpotAndAttenuatedLights",
       [] {
         glEnable(GL_LIGHTING);
         const float pos1[4] = {0.2f, 0.3f, 1.0f, 1}, spot[3] = {0, -0.2f, -1}, white[4] = {1, 1, 1, 1};
         glEnable(GL_LIGHT1);
         glLightfv(GL_LIGHT1, GL_POSITION, pos1);
         glLightfv(GL_LIGHT1, GL_DIFFUSE, white);
         glLightfv(GL_LIGHT1, GL_SPECULAR, white);
         glLightfv(GL_LIGHT1, GL_SPOT_DIRECTION, spot);
         const float cutoff = 35, exponent = 6, linear = 0.4f, quadratic = 0.3f;
         glLightfv(GL_LIGHT1, GL_SPOT_CUTOFF, &cutoff);
         glLightfv(GL_LIGHT1, GL_SPOT_EXPONENT, &exponent);
         glLightfv(GL_LIGHT1, GL_LINEAR_ATTENUATION, &linear);
         const float pos2[4] = {-1.2f, -0.4f, 0.8f, 2}, warm[4] = {0.8f, 0.5f, 0.2f, 1};
         glEnable(GL_LIGHT2);
         glLightfv(GL_LIGHT2, GL_POSITION, pos2);
         glLightfv(GL_LIGHT2, GL_DIFFUSE, warm);
         glLightfv(GL_LIGHT2, GL_QUADRATIC_ATTENUATION, &quadratic);
         // A spot on a directional light.
         DirectionalLight(GL_LIGHT3, 0.3f, 0.9f, 0.4f, 0.3f);
         glLightfv(GL_LIGHT3, GL_SPOT_CUTOFF, &cutoff);
         Material(0.9f, 0.9f, 0.9f, 30);
         Arrays(true, false, false);
         DrawDome();
       }},
      {"TwoSidedLightingAndColourMaterial",
       [] {
         glEnable(GL_LIGHTING);
         const float one = 1;
         glLightModelfv(GL_LIGHT_MODEL_TWO_SIDE, &one);
         DirectionalLight(GL_LIGHT0, 0.3f, 0.2f, 1, 0.9f);
         glColor4f(0.2f, 0.8f, 0.4f, 1);
         glEnable(GL_COLOR_MATERIAL);  // takes the current colour at once
         Material(0.5f, 0.5f, 0.5f, 10);
         Arrays(true, true, false);
         glTranslatef(-0.45f, 0, 0);
         Scale(0.5f, 1, 1);
         DrawDome();
         glLoadIdentity();
         glTranslatef(0.45f, 0, 0);
         glRotatef(180, 0, 1, 0);  // her back: the other side lit
         Scale(0.5f, 1, 1);
         DrawDome();
         glDisableClientState(GL_COLOR_ARRAY);
         glColor4f(0.9f, 0.3f, 0.3f, 1);  // tracked into the material while enabled
       }},
      {"TextureEnvironmentsByFormat",
       [] {
         Arrays(false, true, true);
         glEnable(GL_TEXTURE_2D);
         glEnable(GL_BLEND);
         glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
         const GLenum formats[] = {GL_RGBA, GL_RGB, GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_ALPHA};
         const GLenum modes[] = {GL_MODULATE, GL_REPLACE, GL_DECAL, GL_BLEND, GL_ADD};
         for (int f = 0; f < 5; ++f) {
           Checker(formats[f]);
           for (int m = 0; m < 5; ++m) {
             // DECAL is defined for RGB and RGBA only.
             if (modes[m] == GL_DECAL && f > 1) continue;
             glViewport(m * 12 + 2, f * 12 + 2, 12, 12);
             glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, modes[m]);
             DrawDome();
           }
         }
       }},
      {"EnvironmentLightOnUnitOne",
       [] {
         static float coords[Dome::kVertices * 2];
         for (int i = 0; i < Dome::kVertices; ++i)
           coords[2 * i] = 0.5f + 0.5f * dome.normal[3 * i], coords[2 * i + 1] = 0.5f + 0.5f * dome.normal[3 * i + 1];
         Arrays(false, false, true);
         glActiveTexture(GL_TEXTURE0);
         Checker(GL_RGBA);
         glEnable(GL_TEXTURE_2D);
         EnvironmentLightUnit(coords);
         DrawDome();
         // Removed as the light does it: unit 1 off, left the active unit.
         glDisable(GL_TEXTURE_2D);
         glClientActiveTexture(GL_TEXTURE1);
         glDisableClientState(GL_TEXTURE_COORD_ARRAY);
         glClientActiveTexture(GL_TEXTURE0);
       }},
      {"CombinersOnBothUnits",
       [] {
         static float coords[Dome::kVertices * 2];
         for (int i = 0; i < Dome::kVertices * 2; ++i) coords[i] = dome.uv[i] * 0.7f;
         Arrays(false, true, true);
         glEnable(GL_TEXTURE_2D);
         Checker(GL_RGBA);
         glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
         const GLenum rgb[] = {GL_REPLACE,     GL_MODULATE, GL_ADD,      GL_ADD_SIGNED,
                               GL_INTERPOLATE, GL_SUBTRACT, GL_DOT3_RGB, GL_DOT3_RGBA};
         const GLenum alpha[] = {GL_REPLACE, GL_MODULATE, GL_ADD, GL_ADD_SIGNED, GL_INTERPOLATE, GL_SUBTRACT};
         const GLenum operands[] = {GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA};
         for (int i = 0; i < 8; ++i) {
           glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, rgb[i]);
           glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, alpha[i % 6]);
           glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_RGB, i % 2 ? GL_PRIMARY_COLOR : GL_PREVIOUS);
           glTexEnvi(GL_TEXTURE_ENV, GL_SRC2_RGB, i % 4 == 3 ? GL_CONSTANT : GL_TEXTURE);
           glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_ALPHA, i % 3 ? GL_TEXTURE : GL_PRIMARY_COLOR);
           glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, operands[i % 4]);
           glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, operands[(i + 1) % 4]);
           glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_ALPHA, i % 2 ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA);
           glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, i == 3 ? 2.0f : i == 5 ? 4.0f : 1.0f);
           glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, i == 4 ? 2.0f : 1.0f);
           glViewport((i % 4) * 16, (i / 4) * 16, 16, 16);
           DrawDome();
         }
         // The second unit interpolates between the first's result and its
         // own texture by the primary colour.
         glActiveTexture(GL_TEXTURE1);
         Checker(GL_LUMINANCE);
         glEnable(GL_TEXTURE_2D);
         glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
         glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_INTERPOLATE);
         glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_RGB, GL_PREVIOUS);
         glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_RGB, GL_TEXTURE);
         glTexEnvi(GL_TEXTURE_ENV, GL_SRC2_RGB, GL_PRIMARY_COLOR);
         glClientActiveTexture(GL_TEXTURE1);
         glEnableClientState(GL_TEXTURE_COORD_ARRAY);
         glTexCoordPointer(2, GL_FLOAT, 0, coords);
         glClientActiveTexture(GL_TEXTURE0);
         glViewport(0, 34, 64, 30);
         DrawDome();
       }},
      {"BrightLightThroughBothUnits",
       [] {
         // A lit colour over one passes from unit to unit unclamped.
         glEnable(GL_LIGHTING);
         DirectionalLight(GL_LIGHT0, 0, 0.3f, 1, 1.8f);
         Material(1, 1, 1, 0);
         Arrays(true, false, true);
         Checker(GL_RGB);
         glEnable(GL_TEXTURE_2D);
         glActiveTexture(GL_TEXTURE1);
         Checker(GL_RGBA);
         glEnable(GL_TEXTURE_2D);
         glClientActiveTexture(GL_TEXTURE1);
         glEnableClientState(GL_TEXTURE_COORD_ARRAY);
         glTexCoordPointer(2, GL_FLOAT, 0, dome.uv);
         glClientActiveTexture(GL_TEXTURE0);
         DrawDome();
       }},
      {"IncompleteTexturesDrawUntextured",
       [] {
         Arrays(false, true, true);
         glEnable(GL_TEXTURE_2D);  // texture 0 has no picture
         glTranslatef(-0.5f, 0, 0);
         Scale(0.5f, 1, 1);
         DrawDome();
         Checker(GL_RGBA);
         glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST);  // no mipmaps
         glActiveTexture(GL_TEXTURE1);
         glEnable(GL_TEXTURE_2D);
         glLoadIdentity();
         glTranslatef(0.5f, 0, 0);
         Scale(0.5f, 1, 1);
         DrawDome();
       }},
      {"GeneratedMipmaps",
       [] {
         Arrays(false, false, true);
         glEnable(GL_TEXTURE_2D);
         Checker(GL_RGBA, true, 64);
         Scale(0.3f, 0.3f, 1);
         glTranslatef(-1.5f, 0, 0);
         DrawDome();
         glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
         glTranslatef(1.5f, 1.5f, 0);
         DrawDome();
         // Asking for mipmaps after the upload builds none until the next one.
         glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_FALSE);
         Checker(GL_RGB, false, 32);
         glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_LINEAR);
         glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
         glTranslatef(1.5f, -1.5f, 0);
         DrawDome();
         // So does a part of level 0 written over.
         const std::vector<uint8_t> band(32 * 8 * 3, 250);
         glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 8, 32, 8, GL_RGB, GL_UNSIGNED_BYTE, band.data());
         glTranslatef(-1.5f, -1.5f, 0);
         DrawDome();
       }},
      {"AlphaTestFunctions",
       [] {
         // The checker's alpha ramps down the texture: each function keeps
         // another band, one dome a quarter of the view.
         Arrays(false, true, true);
         glEnable(GL_TEXTURE_2D);
         Checker(GL_RGBA);
         glEnable(GL_ALPHA_TEST);
         auto quarter = [](float x, float y) {
           const float m[16] = {0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.5f, 0, x, y, 0, 1};
           glLoadMatrixf(m);
         };
         glAlphaFunc(GL_GEQUAL, 0.5f);
         quarter(-0.5f, 0.5f);
         DrawDome();
         glAlphaFunc(GL_LESS, 0.3f);
         quarter(0.5f, 0.5f);
         DrawDome();
         glAlphaFunc(GL_NEVER, 0.0f);
         quarter(-0.5f, -0.5f);
         DrawDome();
         glAlphaFunc(GL_NOTEQUAL, 2.0f);  // compared with the reference clamped to 1
         glAlphaFunc(0x1234, 0.5f);       // refused: the function stays
         quarter(0.5f, -0.5f);
         DrawDome();
       }},
      {"ShadowBlendDepthCullAndScissor",
       [] {
         Arrays(false, false, true);
         glEnable(GL_TEXTURE_2D);
         Checker(GL_RGB);
         glEnable(GL_DEPTH_TEST);
         glDepthFunc(GL_LEQUAL);
         DrawDome();
         // The shadow: darken by the colour array's alpha, texturing still on.
         glDisableClientState(GL_TEXTURE_COORD_ARRAY);
         glEnableClientState(GL_COLOR_ARRAY);
         glEnable(GL_BLEND);
         glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA);
         glDepthFunc(GL_ALWAYS);
         glTranslatef(0.2f, -0.3f, 0.5f);
         glDrawElements(GL_TRIANGLES, Dome::kIndices, GL_UNSIGNED_BYTE, dome.index8);
         glDisable(GL_BLEND);
         glDisable(GL_TEXTURE_2D);
         glEnable(GL_CULL_FACE);
         glFrontFace(GL_CW);
         glCullFace(GL_BACK);
         glEnable(GL_SCISSOR_TEST);
         glScissor(8, 20, 30, 30);
         glViewport(4, 4, 56, 40);
         glDepthFunc(GL_GREATER);
         glClearDepthf(0.0f);
         glClear(GL_DEPTH_BUFFER_BIT);
         DrawDome();
       }},
      {"MatrixStacksAndTheTextureMatrix",
       [] {
         glMatrixMode(GL_PROJECTION);
         glOrthof(-1.5f, 1.2f, -1.1f, 1.4f, -3, 3);
         glPushMatrix();
         glRotatef(20, 0, 0, -1);
         glPopMatrix();
         const float m[16] = {1, 0.1f, 0, 0, -0.2f, 0.9f, 0, 0, 0, 0, 1, 0, 0.1f, 0, 0, 1};
         glMatrixMode(GL_MODELVIEW);
         glLoadMatrixf(m);
         glPushMatrix();
         glRotatef(50, -1, 0, 0);
         glRotatef(25, 0, -1, 0);
         glRotatef(15, 0.3f, 0.3f, 0.9f);
         Arrays(false, true, true);
         glEnable(GL_TEXTURE_2D);
         Checker(GL_RGBA);
         glMatrixMode(GL_TEXTURE);
         glTranslatef(0.25f, 0, 0);
         glRotatef(30, 0, 0, 1);
         Scale(2, 1.5f, 1);
         DrawDome();
         glMatrixMode(GL_MODELVIEW);
         glPopMatrix();
         glMultMatrixf(m);
         glMatrixMode(GL_TEXTURE);  // as the frame update leaves it
       }},
      {"ArrayTypesStridesAndPrimitives",
       [] {
         static int8_t bytePos[Dome::kVertices * 3], byteNormal[Dome::kVertices * 3];
         static int16_t shortUv[Dome::kVertices * 2];
         static GLfixed fixedColor[Dome::kVertices * 4];
         struct Interleaved {
           GLfixed pos[3];
           int16_t normal[3];
           float pad;
         };
         static Interleaved inter[Dome::kVertices];
         for (int i = 0; i < Dome::kVertices; ++i) {
           for (int k = 0; k < 3; ++k) {
             bytePos[3 * i + k] = static_cast<int8_t>(std::lround(dome.pos[3 * i + k] * 100));
             byteNormal[3 * i + k] = static_cast<int8_t>(std::lround(dome.normal[3 * i + k] * 127));
             inter[i].pos[k] = static_cast<GLfixed>(dome.pos[3 * i + k] * 65536);
             inter[i].normal[k] = static_cast<int16_t>(dome.normal[3 * i + k] * 32767);
           }
           for (int k = 0; k < 2; ++k) shortUv[2 * i + k] = static_cast<int16_t>(std::lround(dome.uv[2 * i + k] * 4));
           for (int k = 0; k < 4; ++k) fixedColor[4 * i + k] = static_cast<GLfixed>(dome.color[4 * i + k] * 65536);
         }
         glEnable(GL_LIGHTING);
         DirectionalLight(GL_LIGHT0, 0.2f, 0.5f, 1, 1);
         glEnable(GL_COLOR_MATERIAL);
         glEnableClientState(GL_VERTEX_ARRAY);
         glEnableClientState(GL_NORMAL_ARRAY);
         glEnableClientState(GL_COLOR_ARRAY);
         glPushMatrix();
         Scale(0.005f, 0.005f, 0.005f);
         glTranslatef(-50, 50, 0);
         glVertexPointer(3, GL_BYTE, 0, bytePos);
         glNormalPointer(GL_BYTE, 0, byteNormal);
         glColorPointer(4, GL_FIXED, 0, fixedColor);
         glDrawElements(GL_TRIANGLES, Dome::kIndices, GL_UNSIGNED_BYTE, dome.index8);
         glPopMatrix();
         glTranslatef(0.5f, 0.5f, 0);
         Scale(0.5f, 0.5f, 0.5f);
         glVertexPointer(3, GL_FIXED, sizeof(Interleaved), inter[0].pos);
         glNormalPointer(GL_SHORT, sizeof(Interleaved), inter[0].normal);
         glColorPointer(4, GL_FLOAT, 0, dome.color);
         glEnable(GL_TEXTURE_2D);
         Checker(GL_RGB);
         glMatrixMode(GL_TEXTURE);
         Scale(0.25f, 0.25f, 1);
         glMatrixMode(GL_MODELVIEW);
         glEnableClientState(GL_TEXTURE_COORD_ARRAY);
         glTexCoordPointer(2, GL_SHORT, 0, shortUv);
         DrawDome();
         glDisable(GL_TEXTURE_2D);
         glDisable(GL_LIGHTING);
         glTranslatef(-2, -1.6f, 0);
         glVertexPointer(3, GL_FLOAT, 0, dome.pos);
         glDrawArrays(GL_TRIANGLE_STRIP, 3, 30);
         glTranslatef(0, 1.5f, 0);
         glDrawArrays(GL_TRIANGLE_FAN, 0, 11);
         glDrawArrays(GL_LINE_LOOP, 40, 12);
         glDrawElements(GL_LINES, 40, GL_UNSIGNED_SHORT, dome.index + 100);
         glTranslatef(1.61f, -0.21f, 0);  // points clear of pixel edges
         glDrawArrays(GL_POINTS, 0, Dome::kVertices);
         glDrawElements(GL_TRIANGLE_STRIP, 20, GL_UNSIGNED_SHORT, dome.index + 300);
       }},
      {"FlatShading",
       [] {
         glShadeModel(GL_FLAT);
         Arrays(false, true, false);
         glTranslatef(-0.5f, 0.5f, 0);
         Scale(0.5f, 0.5f, 0.5f);
         DrawDome();
         glTranslatef(1.9f, 0, 0);
         glDrawArrays(GL_TRIANGLE_STRIP, 0, 22);
         glDrawArrays(GL_TRIANGLE_FAN, 50, 9);
         glDrawArrays(GL_LINE_STRIP, 22, 11);
         glEnable(GL_LIGHTING);
         const float pos[4] = {0.5f, 0.5f, 1, 1};
         glEnable(GL_LIGHT0);
         glLightfv(GL_LIGHT0, GL_POSITION, pos);
         Material(0.9f, 0.9f, 0.6f, 4);
         glEnableClientState(GL_NORMAL_ARRAY);
         glTranslatef(-1.9f, -1.9f, 0);
         DrawDome();
         glDisableClientState(GL_COLOR_ARRAY);
         glDisableClientState(GL_NORMAL_ARRAY);
         glDisable(GL_LIGHTING);
         glTranslatef(1.9f, 0, 0);
         DrawDome();  // one colour everywhere: flat changes nothing
       }},
      {"Fog",
       [] {
         glMatrixMode(GL_PROJECTION);
         glOrthof(-1, 1, -1, 1, 0.1f, 5);
         glMatrixMode(GL_MODELVIEW);
         glTranslatef(0, 0, -1.2f);
         glRotatef(50, 1, 0, 0);
         glEnable(GL_FOG);
         Arrays(false, true, false);
         DrawDome();
       }},
      {"InterfaceDrawing",
       [] {
         // The interface's own renderer (app/ui_render.h) on two scissored
         // commands of interleaved vertices, as ImGui hands them over.
         static ImDrawList list(nullptr);
         list.VtxBuffer.clear();
         list.IdxBuffer.clear();
         list.CmdBuffer.clear();
         const float xy[8][2] = {{4, 4}, {40, 4}, {4, 30}, {40, 30}, {20, 20}, {60, 24}, {24, 60}, {58, 58}};
         for (int i = 0; i < 8; ++i) {
           ImDrawVert v;
           v.pos = ImVec2(xy[i][0], xy[i][1]);
           v.uv = ImVec2((i % 2) * 1.0f, (i / 2 % 2) * 1.0f);
           v.col = IM_COL32(60 * i, 200, 255 - 30 * i, 120 + 16 * i);
           list.VtxBuffer.push_back(v);
         }
         for (ImDrawIdx i : {0, 1, 2, 1, 3, 2, 4, 5, 6, 5, 7, 6}) list.IdxBuffer.push_back(i);
         const GLuint checker = Checker(GL_RGBA);
         const ImVec4 clips[2] = {{0, 0, 50, 54}, {10, 20, 64, 64}};
         for (unsigned c = 0; c < 2; ++c) {
           ImDrawCmd cmd;
           cmd.ClipRect = clips[c];
           cmd.TextureId = reinterpret_cast<ImTextureID>(static_cast<intptr_t>(checker));
           cmd.IdxOffset = 6 * c;
           cmd.ElemCount = 6;
           list.CmdBuffer.push_back(cmd);
         }
         ImDrawList* lists[] = {&list};
         ImDrawData data;
         data.Valid = true;
         data.CmdLists = lists;
         data.CmdListsCount = 1;
         data.DisplayPos = ImVec2(0, 0);
         data.DisplaySize = ImVec2(kSize, kSize);
         data.FramebufferScale = ImVec2(1, 1);
         UIKitRender(&data);
       }},
      {"PixelReadsAndPixelStore",
       [] {
         Arrays(false, true, false);
         DrawDome();
         uint8_t px[3 * 5 * 8] = {};
         glPixelStorei(GL_PACK_ALIGNMENT, 8);
         glReadPixels(30, 30, 3, 2, GL_RGBA, GL_UNSIGNED_BYTE, px);
         std::string bytes;
         for (uint8_t b : px) bytes += std::to_string(b / 16) + " ";  // the layout, not exact rounding
         Log("read " + bytes);
         glReadPixels(0, 0, 1, 1, GL_RGB, GL_UNSIGNED_SHORT_4_4_4_4, px);
         LogError("read RGB as 4444");
         glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, px);
         LogError("read floats");
         glReadPixels(0, 0, -1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
         LogError("read negative width");
         glPixelStorei(GL_UNPACK_ALIGNMENT, 3);
         LogError("unpack alignment 3");
       }},
      {"ErrorsAreTheOnesES11Gives",
       [] {
         const float v4[4] = {1, 1, 1, 1}, big = 200, negative = -1, wide = 100;
         float out[16];
         GLint iout[4];
         uint8_t px[64];
         auto check = [](const char* what, const std::function<void()>& call) {
           call();
           LogError(what);
         };
         check("enable no cap", [] { glEnable(GL_FOG_DENSITY); });
         check("is-enabled no cap", [] { glIsEnabled(GL_FOG_DENSITY); });
         check("client state no array", [] { glEnableClientState(GL_TEXTURE_2D); });
         check("matrix mode", [] { glMatrixMode(GL_LIGHTING); });
         check("flat ortho", [] { glOrthof(1, 1, 0, 1, 0, 1); });
         check("light nine", [&] { glLightfv(GL_LIGHT0 + 8, GL_DIFFUSE, v4); });
         check("light pname", [&] { glLightfv(GL_LIGHT0, GL_SHININESS, v4); });
         check("spot cutoff", [&] { glLightfv(GL_LIGHT0, GL_SPOT_CUTOFF, &wide); });
         check("spot exponent", [&] { glLightfv(GL_LIGHT0, GL_SPOT_EXPONENT, &big); });
         check("attenuation", [&] { glLightfv(GL_LIGHT0, GL_LINEAR_ATTENUATION, &negative); });
         check("light model pname", [&] { glLightModelfv(GL_AMBIENT, v4); });
         check("shininess", [] { glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 200); });
         check("material face", [&] { glMaterialfv(GL_FRONT, GL_AMBIENT, v4); });
         check("get material face", [&] { glGetMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, out); });
         check("get light pname", [&] { glGetLightfv(GL_LIGHT0, GL_EMISSION, out); });
         check("env mode", [] { glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_LINEAR); });
         check("env target", [] { glTexEnvf(GL_TEXTURE_2D, GL_TEXTURE_ENV_MODE, GL_MODULATE); });
         check("env scale", [] { glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 3); });
         check("get env pname", [&] { glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_2D, out); });
         check("min filter", [] { glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_REPEAT); });
         check("mag filter", [] { glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR_MIPMAP_LINEAR); });
         check("wrap", [] { glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_LINEAR); });
         check("tex parameter target", [] { glTexParameteri(GL_TEXTURE_2D + 1, GL_TEXTURE_WRAP_S, GL_REPEAT); });
         check("get tex parameter", [&] { glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_ENV_MODE, iout); });
         check("bind target", [] { glBindTexture(GL_TEXTURE_2D + 1, 0); });
         check("image formats differ",
               [&] { glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, px); });
         check("image level",
               [&] { glTexImage2D(GL_TEXTURE_2D, -1, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, px); });
         check("image border",
               [&] { glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 1, GL_RGBA, GL_UNSIGNED_BYTE, px); });
         check("image type", [&] { glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_FLOAT, px); });
         check("image 565 rgba",
               [&] { glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_SHORT_5_6_5, px); });
         check("image width",
               [&] { glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, -2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, px); });
         check("sub image level",
               [&] { glTexSubImage2D(GL_TEXTURE_2D, 5, 0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px); });
         check("sub image outside", [&] {
           glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, px);
           glTexSubImage2D(GL_TEXTURE_2D, 0, 1, 0, 2, 2, GL_RGBA, GL_UNSIGNED_BYTE, px);
         });
         check("sub image format",
               [&] { glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, px); });
         check("client unit", [] { glClientActiveTexture(GL_TEXTURE0 + 8); });
         check("vertex size", [&] { glVertexPointer(5, GL_FLOAT, 0, px); });
         check("vertex type", [&] { glVertexPointer(3, GL_UNSIGNED_BYTE, 0, px); });
         check("colour size", [&] { glColorPointer(3, GL_UNSIGNED_BYTE, 0, px); });
         check("normal type", [&] { glNormalPointer(GL_UNSIGNED_BYTE, 0, px); });
         check("coordinate size", [&] { glTexCoordPointer(1, GL_FLOAT, 0, px); });
         check("draw mode", [] { glDrawArrays(0x0007, 0, 3); });
         check("draw count", [] { glDrawArrays(GL_TRIANGLES, 0, -3); });
         check("index type", [&] { glDrawElements(GL_TRIANGLES, 3, GL_FLOAT, px); });
         check("draw without vertices", [&] { glDrawElements(GL_TRIANGLES, 3, GL_UNSIGNED_BYTE, px); });
         check("blend factor", [] { glBlendFunc(GL_ONE, GL_SRC_ALPHA_SATURATE); });
         check("depth func", [] { glDepthFunc(GL_ZERO); });
         check("cull face", [] { glCullFace(GL_CW); });
         check("front face", [] { glFrontFace(GL_BACK); });
         check("shade model", [] { glShadeModel(GL_LINEAR); });
         check("pixel store pname", [] { glPixelStorei(GL_TEXTURE_2D, 4); });
         check("clear mask", [] { glClear(0x1); });
         check("viewport", [] { glViewport(0, 0, -1, 1); });
         check("scissor", [] { glScissor(0, 0, 1, -1); });
         check("gen textures", [] { glGenTextures(-1, nullptr); });
         check("delete textures", [] { glDeleteTextures(-1, nullptr); });
         check("get integer", [&] { glGetIntegerv(GL_TEXTURE_ENV_MODE, iout); });
         check("get float", [&] { glGetFloatv(GL_TEXTURE_ENV_MODE, out); });
         check("get string", [] { glGetString(GL_TEXTURE_2D); });
         check("renderbuffer format", [] { glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_RGBA, 4, 4); });
         check("framebuffer target", [] { glBindFramebufferOES(GL_TEXTURE_2D, 0); });
         // One flag: the first error stays until read, later ones are lost.
         glMatrixMode(GL_LIGHTING);
         glOrthof(1, 1, 0, 1, 0, 1);
         glViewport(0, 0, -1, 1);
         LogError("three errors, first read");
         LogError("then none");
         for (GLenum mode : {GL_MODELVIEW, GL_PROJECTION, GL_TEXTURE}) {
           glMatrixMode(mode);
           for (int i = 0; i < 40; ++i) glPushMatrix();
           LogError("push past the stack");
           for (int i = 0; i < 40; ++i) glPopMatrix();
           LogError("pop past the stack");
         }
       },
       false},
  };
}

// Every piece of state the engine (or a test of it) can query, as text.
std::string Snapshot() {
  std::string s;
  auto floats = [&s](const std::string& name, const float* v, int n) {
    s += name;
    char buf[32];
    for (int i = 0; i < n; ++i) {
      std::snprintf(buf, sizeof buf, " %.4g", std::fabs(v[i]) < 1e-6f ? 0.0f : v[i]);
      s += buf;
    }
    s += "\n";
  };
  // Each query by its number, with every place it might write: a value
  // written past the query's own count shows too.
  auto ints = [&s](std::initializer_list<GLenum> pnames) {
    for (GLenum pname : pnames) {
      GLint v[16];
      for (GLint& x : v) x = -7;
      glGetIntegerv(pname, v);
      s += std::to_string(pname);
      for (GLint x : v) s += " " + std::to_string(x);
      s += "\n";
    }
  };
  ints({GL_MATRIX_MODE, GL_MODELVIEW_STACK_DEPTH, GL_PROJECTION_STACK_DEPTH, GL_TEXTURE_STACK_DEPTH,
        GL_MAX_MODELVIEW_STACK_DEPTH, GL_MAX_PROJECTION_STACK_DEPTH, GL_MAX_TEXTURE_STACK_DEPTH, GL_MAX_LIGHTS,
        GL_ACTIVE_TEXTURE, GL_CLIENT_ACTIVE_TEXTURE, GL_TEXTURE_BINDING_2D});
  ints({GL_SHADE_MODEL, GL_VIEWPORT, GL_SCISSOR_BOX, GL_BLEND_SRC, GL_BLEND_DST, GL_DEPTH_FUNC, GL_CULL_FACE_MODE,
        GL_FRONT_FACE, GL_PACK_ALIGNMENT, GL_UNPACK_ALIGNMENT, GL_CURRENT_COLOR, GL_LIGHT_MODEL_AMBIENT});
  ints({GL_VERTEX_ARRAY_SIZE, GL_VERTEX_ARRAY_TYPE, GL_VERTEX_ARRAY_STRIDE, GL_NORMAL_ARRAY_TYPE,
        GL_NORMAL_ARRAY_STRIDE, GL_COLOR_ARRAY_SIZE, GL_COLOR_ARRAY_TYPE, GL_COLOR_ARRAY_STRIDE,
        GL_TEXTURE_COORD_ARRAY_SIZE, GL_TEXTURE_COORD_ARRAY_TYPE, GL_TEXTURE_COORD_ARRAY_STRIDE,
        GL_ARRAY_BUFFER_BINDING, GL_FRAMEBUFFER_BINDING_OES, GL_RENDERBUFFER_BINDING_OES});
  for (GLenum pname : {GL_MODELVIEW_MATRIX, GL_PROJECTION_MATRIX, GL_TEXTURE_MATRIX, GL_CURRENT_COLOR,
                       GL_CURRENT_NORMAL, GL_CURRENT_TEXTURE_COORDS, GL_LIGHT_MODEL_AMBIENT, GL_LIGHT_MODEL_TWO_SIDE,
                       GL_COLOR_CLEAR_VALUE, GL_DEPTH_CLEAR_VALUE, GL_ALPHA_TEST_FUNC, GL_ALPHA_TEST_REF}) {
    float v[16] = {};
    glGetFloatv(pname, v);
    floats(std::to_string(pname), v, 16);
  }
  s += "enabled";
  for (GLenum cap :
       {GL_ALPHA_TEST, GL_BLEND, GL_COLOR_LOGIC_OP, GL_CLIP_PLANE0, GL_COLOR_MATERIAL, GL_CULL_FACE, GL_DEPTH_TEST,
        GL_DITHER, GL_FOG, GL_LIGHT0, GL_LIGHT1, GL_LIGHT2, GL_LIGHT3, GL_LIGHT7, GL_LIGHTING, GL_LINE_SMOOTH})
    s += " " + std::to_string(glIsEnabled(cap));
  for (GLenum cap :
       {GL_MULTISAMPLE, GL_NORMALIZE, GL_POINT_SMOOTH, GL_POLYGON_OFFSET_FILL, GL_RESCALE_NORMAL,
        GL_SAMPLE_ALPHA_TO_COVERAGE, GL_SAMPLE_ALPHA_TO_ONE, GL_SAMPLE_COVERAGE, GL_SCISSOR_TEST, GL_STENCIL_TEST,
        GL_TEXTURE_2D, GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY, GL_TEXTURE_COORD_ARRAY})
    s += " " + std::to_string(glIsEnabled(cap));
  s += "\n";
  for (GLenum light : {GL_LIGHT0, GL_LIGHT1, GL_LIGHT2, GL_LIGHT3})
    for (GLenum pname : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_POSITION, GL_SPOT_DIRECTION, GL_SPOT_EXPONENT,
                         GL_SPOT_CUTOFF, GL_CONSTANT_ATTENUATION, GL_LINEAR_ATTENUATION, GL_QUADRATIC_ATTENUATION}) {
      float v[4] = {};
      glGetLightfv(light, pname, v);
      floats("light " + std::to_string(light - GL_LIGHT0) + " " + std::to_string(pname), v, 4);
    }
  for (GLenum face : {GL_FRONT, GL_BACK})
    for (GLenum pname : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION, GL_SHININESS}) {
      float v[4] = {};
      glGetMaterialfv(face, pname, v);
      floats("material " + std::to_string(pname), v, pname == GL_SHININESS ? 1 : 4);
    }
  float env[4] = {};
  glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, env);
  floats("env mode", env, 1);
  glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, env);
  floats("env colour", env, 4);
  s += "texture parameters";
  for (GLenum pname :
       {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_GENERATE_MIPMAP}) {
    GLint v = -7;
    glGetTexParameteriv(GL_TEXTURE_2D, pname, &v);
    s += " " + std::to_string(v);
  }
  s += "\nerror after the queries " + std::to_string(glGetError()) + "\n";
  return s;
}

// A draw that sets nothing of its own but where to read from.
void DrawWithWhatIsLeft() {
  GLint client = GL_TEXTURE0;
  glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE, &client);
  for (GLenum unit : {GL_TEXTURE1, GL_TEXTURE0}) {
    glClientActiveTexture(unit);
    glTexCoordPointer(2, GL_FLOAT, 0, dome.uv);
  }
  glClientActiveTexture(static_cast<GLenum>(client));
  glVertexPointer(3, GL_FLOAT, 0, dome.pos);
  glNormalPointer(GL_FLOAT, 0, dome.normal);
  glColorPointer(4, GL_FLOAT, 0, dome.color);
  glEnableClientState(GL_VERTEX_ARRAY);
  glDrawElements(GL_TRIANGLES, Dome::kIndices / 2, GL_UNSIGNED_SHORT, dome.index + Dome::kIndices / 4);
}

struct Result {
  std::vector<uint8_t> frame, after;
  std::string state;
};

Result RunCase(const Case& c, GlesKind kind) {
  Result r;
  std::unique_ptr<EAGLView> view(EAGLView::CreateHeadless(kSize, kSize, kind));
  if (!view) {
    ADD_FAILURE() << "no " << GlesKindName(kind) << " surface";
    return r;
  }
  glClearColor(0.4f, 0.4f, 0.45f, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  g_log.clear();
  c.run();
  r.state = g_log + "errors";
  for (GLenum e; (e = glGetError()) != GL_NO_ERROR && r.state.size() < 200;) r.state += " " + std::to_string(e);
  r.state += "\n" + Snapshot();
  EXPECT_TRUE(EAGLViewReadPixels(view.get(), r.frame));
  DrawWithWhatIsLeft();
  r.state += "after the next draw " + std::to_string(glGetError()) + "\n";
  EXPECT_TRUE(EAGLViewReadPixels(view.get(), r.after));
  return r;
}

bool Uniform(const std::vector<uint8_t>& f) {
  for (size_t i = 4; i < f.size(); ++i)
    if (f[i] != f[i % 4]) return false;
  return true;
}

class Translation : public ::testing::TestWithParam<Case> {};

TEST_P(Translation, MatchesTheDriversOwnES11) {
  const Case& c = GetParam();
  const Result es1 = RunCase(c, kGlesES1), es2 = RunCase(c, kGlesES2);
  ASSERT_FALSE(es1.frame.empty());
  ASSERT_FALSE(es2.frame.empty());
  for (const auto& shot : {std::make_pair("es1", &es1), std::make_pair("es2", &es2)}) {
    const std::string base = testkit::OutputPath(std::string("gles_") + c.name + "_" + shot.first);
    EAGLWritePNG((base + ".png").c_str(), shot.second->frame.data(), kSize, kSize);
    EAGLWritePNG((base + "_after.png").c_str(), shot.second->after.data(), kSize, kSize);
  }
  EXPECT_EQ(es2.state, es1.state);
  EXPECT_NE(Uniform(es1.frame), c.draws) << "the case draws nothing to compare";
  auto picture = [](const std::vector<uint8_t>& rgba) { return Picture{kSize, kSize, 32, rgba}; };
  testkit::ExpectMatchesOracle(picture(es1.frame), picture(es2.frame), "the case's frame");
  testkit::ExpectMatchesOracle(picture(es1.after), picture(es2.after), "the next draw");
}

// Where Mesa's ES 1.1 is laxer than ES 1.1 the translation keeps to ES 1.1:
// vector parameters through the scalar calls, units past those offered, a
// negative stride, are refused.
TEST(Translation, RefusesWhatES11Refuses) {
  std::unique_ptr<EAGLView> view(EAGLView::CreateHeadless(8, 8, kGlesES2));
  ASSERT_NE(view, nullptr);
  GLint units = 0;
  glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
  float ambient[4] = {-1, -1, -1, -1}, colour[4] = {-1, -1, -1, -1};
  GLint stride = -1;
  glMaterialf(GL_FRONT_AND_BACK, GL_AMBIENT, 1);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_ENUM));
  glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, 1);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_ENUM));
  glActiveTexture(GL_TEXTURE0 + units);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_ENUM));
  glVertexPointer(3, GL_FLOAT, -4, nullptr);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_VALUE));
  glGetMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
  glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
  glGetIntegerv(GL_VERTEX_ARRAY_STRIDE, &stride);
  EXPECT_EQ(ambient[0], 0.2f);  // unchanged
  EXPECT_EQ(colour[0], 0.0f);
  EXPECT_EQ(stride, 0);
}

INSTANTIATE_TEST_SUITE_P(States, Translation, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

}  // namespace
