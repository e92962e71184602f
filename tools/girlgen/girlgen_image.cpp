// Picture files and the preview rasteriser.
//
// PNG through libpng (masks: RGB, 8 bits a channel) and JPEG through
// libjpeg-turbo (colour pictures), both written through a temporary file and
// a rename. The rasteriser draws a skinned mesh the way the app lights it
// (ambient 0.65 x material ambient plus one directional light of 0.8) at the
// app's default camera; it serves the generator's contact sheets.
#include <png.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <limits>

#include "girlgen.h"

namespace girlgen {

bool WritePNG(const std::string& path, const Image& img) {
  const std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    std::remove(tmp.c_str());
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, img.w, img.h, 8, img.channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 6);
  png_write_info(png, info);
  for (int y = 0; y < img.h; ++y)
    png_write_row(png, const_cast<png_bytep>(&img.px[static_cast<size_t>(y) * img.w * img.channels]));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  const bool ok = std::fclose(f) == 0;
  return ok && std::rename(tmp.c_str(), path.c_str()) == 0;
}

bool WriteJPEG(const std::string& path, const Image& img, int quality) {
  const std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = img.w;
  cinfo.image_height = img.h;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  // Full-resolution colour: the eyes and trims are only a few texels wide.
  for (int c = 0; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&img.px[static_cast<size_t>(cinfo.next_scanline) * img.w * 3]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  const bool ok = std::fclose(f) == 0;
  return ok && std::rename(tmp.c_str(), path.c_str()) == 0;
}

void RasterCharacter(Image& target, const Mesh& mesh, const MATRIX palette[kBoneCount], const Image& tex,
                     float angleDeg, int ox, int oy, int w, int h) {
  // Skin on the CPU exactly as the app does: weighted sum of palette transforms.
  const size_t n = mesh.verts.size();
  std::vector<V3> P(n), N(n);
  for (size_t i = 0; i < n; ++i) {
    const Vertex& v = mesh.verts[i];
    V3 p, q;
    for (int k = 0; k < 4; ++k) {
      const float* M = palette[v.bone[k]].f;
      const float wt = v.weight[k];
      p = p + V3(v.pos.x * M[0] + v.pos.y * M[4] + v.pos.z * M[8] + M[12],
                 v.pos.x * M[1] + v.pos.y * M[5] + v.pos.z * M[9] + M[13],
                 v.pos.x * M[2] + v.pos.y * M[6] + v.pos.z * M[10] + M[14]) * wt;
      q = q + V3(v.nrm.x * M[0] + v.nrm.y * M[4] + v.nrm.z * M[8], v.nrm.x * M[1] + v.nrm.y * M[5] + v.nrm.z * M[9],
                 v.nrm.x * M[2] + v.nrm.y * M[6] + v.nrm.z * M[10]) * wt;
    }
    P[i] = p;
    N[i] = Norm(q);
  }
  // Camera: turn about y, move 200 down and 560 away, perspective with a vertical scale of 1/tan(35).
  const float ang = angleDeg * 3.14159265f / 180.0f;
  const float ca = std::cos(ang), sa = std::sin(ang);
  const float fy = 1.0f / std::tan(35.0f), fx = fy / (2.0f / 3.0f);
  std::vector<V3> S(n);  // screen x, y and view depth
  for (size_t i = 0; i < n; ++i) {
    const V3 p = P[i];
    const V3 r(p.x * ca + p.z * sa, p.y, -p.x * sa + p.z * ca);
    const V3 c(r.x, r.y - 200.0f, r.z - 560.0f);
    const float iz = 1.0f / -c.z;
    S[i] = V3(ox + (c.x * fx * iz * 0.5f + 0.5f) * w, oy + (0.5f - c.y * fy * iz * 0.5f) * h, -c.z);
  }
  std::vector<float> zbuf(static_cast<size_t>(w) * h, std::numeric_limits<float>::max());
  const V3 L = Norm(V3(2.9f, 1.5f, 0.9f));
  const float ambient = 0.65f * 0.8f;
  for (size_t t = 0; t < mesh.tris.size(); t += 3) {
    const int i0 = mesh.tris[t], i1 = mesh.tris[t + 1], i2 = mesh.tris[t + 2];
    const V3 a = S[i0], b = S[i1], c = S[i2];
    const float area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (std::fabs(area) < 1e-9f) continue;
    const int x0 = std::max(ox, static_cast<int>(std::floor(std::min(a.x, std::min(b.x, c.x)))));
    const int x1 = std::min(ox + w - 1, static_cast<int>(std::ceil(std::max(a.x, std::max(b.x, c.x)))));
    const int y0 = std::max(oy, static_cast<int>(std::floor(std::min(a.y, std::min(b.y, c.y)))));
    const int y1 = std::min(oy + h - 1, static_cast<int>(std::ceil(std::max(a.y, std::max(b.y, c.y)))));
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        const float px = x + 0.5f, py = y + 0.5f;
        float w0 = ((b.x - px) * (c.y - py) - (b.y - py) * (c.x - px)) / area;
        float w1 = ((c.x - px) * (a.y - py) - (c.y - py) * (a.x - px)) / area;
        float w2 = 1.0f - w0 - w1;
        if (w0 < 0 || w1 < 0 || w2 < 0) continue;
        // Perspective-correct weights.
        const float p0 = w0 / a.z, p1 = w1 / b.z, p2 = w2 / c.z, ps = p0 + p1 + p2;
        const float z = 1.0f / ps;
        float& zb = zbuf[static_cast<size_t>(y - oy) * w + (x - ox)];
        if (z >= zb) continue;
        zb = z;
        const float b0 = p0 / ps, b1 = p1 / ps, b2 = p2 / ps;
        const Vertex& v0 = mesh.verts[i0];
        const Vertex& v1 = mesh.verts[i1];
        const Vertex& v2 = mesh.verts[i2];
        const float u = v0.u * b0 + v1.u * b1 + v2.u * b2;
        const float vv = 1.0f - (v0.v * b0 + v1.v * b1 + v2.v * b2);
        V3 nn = Norm(N[i0] * b0 + N[i1] * b1 + N[i2] * b2);
        const float light = ambient + 0.8f * std::max(0.0f, Dot(nn, L));
        // Bilinear texture sample.
        const float tx = u * tex.w - 0.5f, ty = vv * tex.h - 0.5f;
        const int ix = static_cast<int>(std::floor(tx)), iy = static_cast<int>(std::floor(ty));
        const float fx2 = tx - ix, fy2 = ty - iy;
        float col[3] = {0, 0, 0};
        for (int k = 0; k < 4; ++k) {
          const int sx = std::clamp(ix + (k & 1), 0, tex.w - 1), sy = std::clamp(iy + (k >> 1), 0, tex.h - 1);
          const float wk = ((k & 1) ? fx2 : 1 - fx2) * ((k >> 1) ? fy2 : 1 - fy2);
          for (int ch = 0; ch < 3; ++ch) col[ch] += wk * tex.px[(static_cast<size_t>(sy) * tex.w + sx) * 3 + ch];
        }
        uint8_t* dst = &target.px[(static_cast<size_t>(y) * target.w + x) * 3];
        for (int ch = 0; ch < 3; ++ch) dst[ch] = static_cast<uint8_t>(std::min(255.0f, col[ch] * light));
      }
  }
}

}  // namespace girlgen
