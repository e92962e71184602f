#include "redraw/redraw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gles/gl_texture.h"
#include "math/Matrix.h"
#include "render/render_mesh.h"
#include "scene/ModelPOD.h"

bool RectEmpty(const PixelRect& r) { return r.x0 >= r.x1 || r.y0 >= r.y1; }

PixelRect RectUnion(const PixelRect& a, const PixelRect& b) {
  if (RectEmpty(a)) return b;
  if (RectEmpty(b)) return a;
  return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

PixelRect RectClip(const PixelRect& r, int width, int height) {
  PixelRect c = {std::max(r.x0, 0), std::max(r.y0, 0), std::min(r.x1, width), std::min(r.y1, height)};
  return RectEmpty(c) ? PixelRect{} : c;
}

namespace {

struct Clip4 {
  float x, y, z, w;
};

// Points through a clip matrix onto the viewport, their extent gathered.
struct Extent {
  const float* clip;
  const GLint* viewport;
  float lo[2] = {HUGE_VALF, HUGE_VALF}, hi[2] = {-HUGE_VALF, -HUGE_VALF};
  // A point GL would clip away at the near plane: where the triangles
  // through it are cut is not known from the points alone.
  bool nearCut = false;
  // Anywhere at all (a point that cannot be placed).
  bool everywhere = false;

  Clip4 ToClip(const float* p) const {
    const float* m = clip;
    return {m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12], m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13],
            m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14], m[3] * p[0] + m[7] * p[1] + m[11] * p[2] + m[15]};
  }

  void Add(const float* p) {
    const Clip4 c = ToClip(p);
    if (c.z + c.w < 0) {
      nearCut = true;
      return;
    }
    AddClip(c);
  }

  void AddClip(const Clip4& c) {
    // The comparisons also turn away NaN.
    if (!(c.w > 1e-6f)) {
      everywhere = true;
      return;
    }
    const float sx = viewport[0] + (c.x / c.w + 1.0f) * 0.5f * viewport[2];
    const float sy = viewport[1] + (c.y / c.w + 1.0f) * 0.5f * viewport[3];
    if (!(std::fabs(sx) < 1e7f && std::fabs(sy) < 1e7f)) {
      everywhere = true;
      return;
    }
    lo[0] = std::min(lo[0], sx);
    lo[1] = std::min(lo[1], sy);
    hi[0] = std::max(hi[0], sx);
    hi[1] = std::max(hi[1], sy);
  }

  // A triangle as GL draws it: the part in front of the near plane.
  void AddTriangle(const float* a, const float* b, const float* c) {
    const Clip4 v[3] = {ToClip(a), ToClip(b), ToClip(c)};
    for (int k = 0; k < 3; ++k) {
      const Clip4 &p = v[k], &q = v[(k + 1) % 3];
      const float dp = p.z + p.w, dq = q.z + q.w;
      if (dp >= 0) AddClip(p);
      if ((dp >= 0) != (dq >= 0)) {
        const float t = dp / (dp - dq);
        AddClip({p.x + t * (q.x - p.x), p.y + t * (q.y - p.y), p.z + t * (q.z - p.z), p.w + t * (q.w - p.w)});
      }
    }
  }

  bool Done() const { return everywhere || nearCut; }

  // The pixels whose centres the extent can reach, and one more each side.
  PixelRect Rect() const {
    const int w = viewport[0] + viewport[2], h = viewport[1] + viewport[3];
    if (everywhere || nearCut) return RectClip({viewport[0], viewport[1], w, h}, w, h);
    if (lo[0] > hi[0]) return {};
    PixelRect r = {static_cast<int>(std::floor(lo[0])) - 1, static_cast<int>(std::floor(lo[1])) - 1,
                   static_cast<int>(std::ceil(hi[0])) + 2, static_cast<int>(std::ceil(hi[1])) + 2};
    return RectClip(r, w, h);
  }
};

// Which vertices were seen in this pass (skinned meshes reach a vertex from
// many triangles and several bone batches).
std::vector<uint32_t> seen;
uint32_t pass = 0;

// The node's covered pixels, added to *out, as DrawNodeP draws it under the
// given projection and modelview (`view`) and viewport.
bool NodeDrawnRect(CPODScene* scene, SPODNode& node, const float proj[16], const float view[16], const GLint vp[4],
                   PixelRect* out) {
  const SPODMesh* mesh = &scene->meshes[node.meshIndex];
  const CPODData& v = mesh->vertices;
  if (!v.data || mesh->vertexCount == 0) return true;
  MATRIX world, viewM, projM, mv, clip;
  scene->GetWorldMatrix(world, node);
  std::memcpy(viewM.f, view, sizeof viewM.f);
  std::memcpy(projM.f, proj, sizeof projM.f);
  MatrixMultiply(mv, world, viewM);
  MatrixMultiply(clip, mv, projM);
  Extent e{clip.f, vp};

  if (!mesh->boneWeights.data) {
    if (v.type != EPODDataFloat || v.componentCount < 3) return false;
    // Where its morph targets put the vertices, as the drawing does.
    const VECTOR3* morphed = MorphMeshP(mesh);
    const uint8_t* data = morphed ? reinterpret_cast<const uint8_t*>(morphed) : v.data;
    const size_t stride = morphed ? 12 : v.stride ? v.stride : 3 * sizeof(float);
    auto at = [&](uint32_t i) { return reinterpret_cast<const float*>(data + i * stride); };
    for (uint32_t i = 0; i < mesh->vertexCount && !e.Done(); ++i) e.Add(at(i));
    // Cut by the near plane (a plant beside the camera): its triangles cut
    // as GL cuts them.
    if (e.nearCut && !e.everywhere && mesh->stripCount == 0 && mesh->faces.data) {
      e = Extent{clip.f, vp};
      const uint16_t* f = reinterpret_cast<const uint16_t*>(mesh->faces.data);
      for (uint32_t t = 0; t < mesh->faceCount && !e.everywhere; ++t, f += 3) {
        if (f[0] >= mesh->vertexCount || f[1] >= mesh->vertexCount || f[2] >= mesh->vertexCount) continue;
        e.AddTriangle(at(f[0]), at(f[1]), at(f[2]));
      }
    }
  } else {
    const CBoneBatches& bb = mesh->boneBatches;
    const bool listed = mesh->stripCount == 0 && mesh->faces.data;
    if (seen.size() < mesh->vertexCount) seen.resize(mesh->vertexCount, 0);
    if (++pass == 0) {
      std::fill(seen.begin(), seen.end(), 0);
      pass = 1;
    }
    const uint16_t* indices = reinterpret_cast<const uint16_t*>(mesh->faces.data);
    for (int b = 0; b < bb.batchCount && !e.Done(); ++b) {
      const int bones = std::min(bb.batchBoneCounts[b], kMatrixPaletteSize);
      for (int j = 0; j < bones; ++j) {
        MATRIX m;
        scene->GetBoneWorldMatrix(m, node, scene->nodes[bb.batches[b * bb.batchBoneMax + j]]);
        MatrixMultiply(matrix_palette[j], m, viewM);
      }
      const int first = bb.batchOffsets[b];
      const int end = b + 1 < bb.batchCount ? bb.batchOffsets[b + 1] : static_cast<int>(mesh->faceCount);
      const VECTOR3* normals = nullptr;
      const VECTOR3* p = SkinMeshP(mesh, first, end - first, &normals);
      if (!listed) {
        for (uint32_t i = 0; i < mesh->vertexCount && !e.Done(); ++i) e.Add(&p[i].x);
        break;  // every vertex is blended whole
      }
      for (long k = 3L * first; k < 3L * end && !e.Done(); ++k) {
        const uint16_t i = indices[k];
        if (i >= mesh->vertexCount || seen[i] == pass) continue;
        seen[i] = pass;
        e.Add(&p[i].x);
      }
    }
  }
  *out = RectUnion(*out, e.Rect());
  return true;
}

struct Camera {
  float proj[16], view[16];
  GLint vp[4];
};

Camera CurrentCamera() {
  Camera c;
  glGetFloatv(GL_PROJECTION_MATRIX, c.proj);
  glGetFloatv(GL_MODELVIEW_MATRIX, c.view);
  glGetIntegerv(GL_VIEWPORT, c.vp);
  return c;
}

// What places a node's drawing: its world matrix and its bones'.
void Placement(CPODScene* scene, SPODNode& node, std::vector<float>* out) {
  out->clear();
  MATRIX m;
  scene->GetWorldMatrix(m, node);
  out->insert(out->end(), m.f, m.f + 16);
  const SPODMesh& mesh = scene->meshes[node.meshIndex];
  if (!mesh.boneWeights.data) return;
  const CBoneBatches& bb = mesh.boneBatches;
  for (int b = 0; b < bb.batchCount; ++b)
    for (int j = 0; j < bb.batchBoneCounts[b]; ++j) {
      scene->GetBoneWorldMatrix(m, node, scene->nodes[bb.batches[b * bb.batchBoneMax + j]]);
      out->insert(out->end(), m.f, m.f + 16);
    }
}

bool Drawable(const CPODScene* scene) { return scene && scene->evalState && scene->nodes; }

}  // namespace

bool SceneDrawnRect(CPODScene* scene, float frame, PixelRect* out) {
  if (!Drawable(scene)) return true;
  scene->SetFrame(frame);
  const Camera c = CurrentCamera();
  for (uint32_t i = 0; i < scene->meshNodeCount; ++i)
    if (!NodeDrawnRect(scene, scene->nodes[i], c.proj, c.view, c.vp, out)) return false;
  return true;
}

// The memo holds while the camera is the same bit for bit: -0 against +0
// starts a fresh memo (only costs a full redraw), and a NaN that stays NaN
// keeps it, where == would call every frame a new camera.
static bool SameBits(const float (&a)[16], const float (&b)[16]) {
  // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
  return std::memcmp(a, b, sizeof a) == 0;
}

bool BackdropChangedRect(CPODScene* scene, float frame, BackdropMemo* memo, PixelRect* out) {
  if (!Drawable(scene)) {
    *memo = BackdropMemo();
    return true;
  }
  scene->SetFrame(frame);
  const Camera c = CurrentCamera();
  const bool fresh = memo->scene != scene || memo->nodes.size() != scene->meshNodeCount ||
                     !SameBits(memo->projection, c.proj) || !SameBits(memo->modelview, c.view) ||
                     std::memcmp(memo->viewport, c.vp, sizeof c.vp) != 0;
  if (fresh) {
    *memo = BackdropMemo();
    memo->nodes.resize(scene->meshNodeCount);
  }
  std::vector<float> now;
  for (uint32_t i = 0; i < scene->meshNodeCount; ++i) {
    BackdropMemo::Node& n = memo->nodes[i];
    Placement(scene, scene->nodes[i], &now);
    if (!fresh && now == n.placement) continue;
    PixelRect at;
    if (!NodeDrawnRect(scene, scene->nodes[i], c.proj, c.view, c.vp, &at)) {
      *memo = BackdropMemo();
      return false;
    }
    if (!fresh) *out = RectUnion(*out, RectUnion(n.rect, at));
    n.placement.swap(now);
    n.rect = at;
  }
  memo->scene = scene;
  std::memcpy(memo->projection, c.proj, sizeof c.proj);
  std::memcpy(memo->modelview, c.view, sizeof c.view);
  std::memcpy(memo->viewport, c.vp, sizeof c.vp);
  return !fresh;
}

void BackdropNodesIn(const BackdropMemo& memo, const PixelRect& r, std::vector<uint8_t>* drawn) {
  drawn->resize(memo.nodes.size());
  for (size_t i = 0; i < memo.nodes.size(); ++i) {
    const PixelRect& n = memo.nodes[i].rect;
    (*drawn)[i] = n.x0 < r.x1 && r.x0 < n.x1 && n.y0 < r.y1 && r.y0 < n.y1;
  }
}

// ---------------------------------------------------------------------------
// The scene layer

namespace {
struct Layer {
  GLuint framebuffer = 0, colour = 0, depth = 0;
  GLuint surface = 0;  // the surface's colour texture, which RedrawShowScene writes
  int width = 0, height = 0;
} layer;
}  // namespace

void RedrawRelease() {
  if (layer.framebuffer) glDeleteFramebuffersOES(1, &layer.framebuffer);
  if (layer.colour) glDeleteTextures(1, &layer.colour);
  layer = Layer();
}

bool RedrawSceneBegin(int width, int height, GLuint depth, GLuint surface, bool* fresh) {
  *fresh = false;
  layer.surface = surface;
  if (layer.framebuffer && (layer.width != width || layer.height != height || layer.depth != depth)) RedrawRelease();
  if (layer.framebuffer) {
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, layer.framebuffer);
    return true;
  }
  if (width <= 0 || height <= 0) return false;
  *fresh = true;
  while (glGetError() != GL_NO_ERROR) {
  }
  layer.colour = GlMakeExactTexture(width, height);
  if (!layer.colour) return false;
  glGenFramebuffersOES(1, &layer.framebuffer);
  glBindFramebufferOES(GL_FRAMEBUFFER_OES, layer.framebuffer);
  glFramebufferTexture2DOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_TEXTURE_2D, layer.colour, 0);
  if (depth) glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_DEPTH_ATTACHMENT_OES, GL_RENDERBUFFER_OES, depth);
  layer.width = width;
  layer.height = height;
  layer.depth = depth;
  if (glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES) != GL_FRAMEBUFFER_COMPLETE_OES || glGetError() != GL_NO_ERROR) {
    RedrawRelease();
    return false;
  }
  return true;
}

void RedrawShowScene(const PixelRect& r, int width, int height) {
  const PixelRect c = RectClip(r, width, height);
  if (RectEmpty(c) || !layer.colour || !layer.surface) return;
  // Copied from the layer's framebuffer into the surface's colour texture:
  // the driver moves the bytes (a software rasteriser copies memory) rather
  // than drawing every pixel of a textured quad. The bindings are left as
  // they were.
  GLint bound = 0, texture = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &bound);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
  glBindFramebufferOES(GL_FRAMEBUFFER_OES, layer.framebuffer);
  glBindTexture(GL_TEXTURE_2D, layer.surface);
  glCopyTexSubImage2D(GL_TEXTURE_2D, 0, c.x0, c.y0, c.x0, c.y0, c.x1 - c.x0, c.y1 - c.y0);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
  glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(bound));
}
