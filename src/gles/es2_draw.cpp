// Draws of the translation. ES 1.1 draws from client memory; ES 2.0 could,
// WebGL cannot, so every draw streams what it reads into buffer objects:
// the vertex range the draw touches (found by scanning the indices), one
// upload per run of overlapping arrays (interleaved arrays go up once), and
// the indices shifted to start at that range. Arrays WebGL could not read
// in place (16.16 fixed point, strides over 255 or out of step with their
// type) go up converted to floats. Flat shading has no GLSL ES 1.00
// counterpart: such draws are unrolled into separate primitives whose
// colour inputs all come from the primitive's last vertex.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "gles/es2_internal.h"

namespace gles2 {

namespace {

constexpr size_t kRingBytes = size_t(4) << 20;

GLsizei TypeSize(GLenum type) {
  switch (type) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE:
      return 1;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT:
      return 2;
    default:
      return 4;  // GL_FIXED, GL_FLOAT
  }
}

// One attribute read from client memory by this draw.
struct Stream {
  int location = 0;
  const ClientArray* array = nullptr;
  bool normalized = false;         // signed normals and unsigned colours map to [-1, 1] / [0, 1]
  const uint8_t* first = nullptr;  // the element of the range's first vertex
  GLsizei stride = 0, bytes = 0;   // effective stride; bytes one element covers
  bool convert = false;            // goes up as floats
  size_t offset = 0;               // within its buffer
};

float Component(const uint8_t* p, GLenum type, bool normalized) {
  switch (type) {
    case GL_BYTE: {
      const float v = static_cast<int8_t>(*p);
      return normalized ? (2.0f * v + 1.0f) / 255.0f : v;
    }
    case GL_UNSIGNED_BYTE:
      return normalized ? *p / 255.0f : *p;
    case GL_SHORT: {
      int16_t s;
      std::memcpy(&s, p, 2);
      return normalized ? (2.0f * s + 1.0f) / 65535.0f : s;
    }
    case GL_FIXED: {
      int32_t x;
      std::memcpy(&x, p, 4);
      return static_cast<float>(x) * (1.0f / 65536.0f);
    }
    default: {
      float f;
      std::memcpy(&f, p, 4);
      return f;
    }
  }
}

// Element `index` of an array as floats (size of them).
void Fetch(const Stream& s, uint32_t index, float* out) {
  const ClientArray& a = *s.array;
  const GLsizei size = TypeSize(a.type);
  const GLsizei stride = a.stride ? a.stride : a.size * size;
  const uint8_t* p = static_cast<const uint8_t*>(a.pointer) + static_cast<size_t>(index) * stride;
  for (int k = 0; k < a.size; ++k) out[k] = Component(p + k * size, a.type, s.normalized);
}

void BindArrayBuffer(Es2Context& c, GLuint b) {
  if (c.boundArrayBuffer == b) return;
  c.gl.BindBuffer(GL_ARRAY_BUFFER, b);
  c.boundArrayBuffer = b;
}

void BindRing(Es2Context& c, Es2Context::Ring& r, GLenum target) {
  const GLuint b = r.buffers[r.current];
  if (target == GL_ARRAY_BUFFER)
    BindArrayBuffer(c, b);
  else
    c.gl.BindBuffer(target, b);
}

// Room for `bytes` more in a ring, bound to `target`. What a draw streams
// goes behind what earlier draws read; a full buffer hands over to the next
// of three, so that by the time one is written again the draws that read it
// are long done (no waiting on a GPU, no new storage on a CPU renderer).
void Reserve(Es2Context& c, Es2Context::Ring& r, GLenum target, size_t bytes) {
  if (!r.buffers[0]) c.gl.GenBuffers(3, r.buffers);
  r.used = (r.used + 15) & ~size_t(15);
  if (r.used + bytes > r.sizes[r.current]) {
    if (r.sizes[r.current]) r.current = (r.current + 1) % 3;
    r.used = 0;
  }
  BindRing(c, r, target);
  if (bytes > r.sizes[r.current]) {
    r.sizes[r.current] = std::max(kRingBytes, bytes);
    c.gl.BufferData(target, static_cast<GLsizeiptr>(r.sizes[r.current]), nullptr, GL_STREAM_DRAW);
  }
}

// Writes into the room reserved; returns where it went.
size_t Put(Es2Context& c, Es2Context::Ring& r, GLenum target, const void* data, size_t bytes) {
  r.used = (r.used + 15) & ~size_t(15);
  const size_t at = r.used;
  c.gl.BufferSubData(target, static_cast<GLintptr>(at), static_cast<GLsizeiptr>(bytes), data);
  r.used += bytes;
  return at;
}

void SetArrayEnabled(Es2Context& c, int location, bool on) {
  if (c.attribs[location].array == on) return;
  on ? c.gl.EnableVertexAttribArray(location) : c.gl.DisableVertexAttribArray(location);
  c.attribs[location].array = on;
}

void SetCurrentValue(Es2Context& c, int location, const float* v, int n) {
  float value[4] = {0, 0, 0, 1};
  std::memcpy(value, v, sizeof(float) * n);
  Es2Context::AttribState& a = c.attribs[location];
  SetArrayEnabled(c, location, false);
  // Bit for bit, so the GL calls are exactly those the values ask for: a
  // -0 after a +0 is sent, a NaN that stays NaN is not sent again.
  // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
  if (std::memcmp(a.value, value, sizeof value) == 0) return;
  std::memcpy(a.value, value, sizeof value);
  c.gl.VertexAttrib4f(location, value[0], value[1], value[2], value[3]);
}

// At most one stream an attribute; a draw keeps them on the stack.
struct Streams {
  Stream at[kAttributes];
  int count = 0;
  Stream* begin() { return at; }
  Stream* end() { return at + count; }
};

// The attributes the program in use reads: arrays into `streams`, the
// others get their current value; unread ones are switched off.
void GatherInputs(Es2Context& c, const Program& p, Streams& streams) {
  const ClientArray* arrays[kAttributes] = {};
  bool read[kAttributes] = {};
  read[kPosition] = true;
  arrays[kPosition] = &c.vertex;
  read[kNormal] = ProgramUsesNormals(c);
  arrays[kNormal] = &c.normal;
  read[kColor] = ProgramUsesColors(c);
  arrays[kColor] = &c.color;
  for (int u = 0; u < kUnits; ++u) {
    read[kTexCoord0 + u] = UnitActive(c, u);
    arrays[kTexCoord0 + u] = &c.units[u].coords;
  }
  read[kLitPosition] = ProgramUsesLitPosition(p);
  arrays[kLitPosition] = &c.vertex;
  for (int loc = 0; loc < kAttributes; ++loc) {
    if (!read[loc]) {
      SetArrayEnabled(c, loc, false);
    } else if (arrays[loc]->enabled) {
      const GLenum type = arrays[loc]->type;
      Stream& s = streams.at[streams.count++];
      s = Stream{};
      s.location = loc;
      s.array = arrays[loc];
      s.normalized =
          (loc == kNormal && type != GL_FLOAT && type != GL_FIXED) || (loc == kColor && type == GL_UNSIGNED_BYTE);
    } else if (loc == kNormal) {
      SetCurrentValue(c, loc, c.currentNormal, 3);
    } else if (loc == kColor) {
      SetCurrentValue(c, loc, c.currentColor, 4);
    } else if (loc >= kTexCoord0 && loc < kTexCoord0 + kUnits) {
      SetCurrentValue(c, loc, c.units[loc - kTexCoord0].current, 4);
    }
  }
}

// Uploads the range [lo, hi] of every stream and points the attributes at
// it, so that vertex lo is vertex 0 of the buffers.
void UploadRange(Es2Context& c, Streams& streams, uint32_t lo, uint32_t hi) {
  const size_t count = static_cast<size_t>(hi) - lo + 1;
  Stream* direct[kAttributes];
  size_t directCount = 0, converted = 0;
  for (Stream& s : streams) {
    const ClientArray& a = *s.array;
    const GLsizei size = TypeSize(a.type);
    s.stride = a.stride ? a.stride : a.size * size;
    s.bytes = a.size * size;
    s.first = static_cast<const uint8_t*>(a.pointer) + static_cast<size_t>(lo) * s.stride;
    s.convert = a.type == GL_FIXED || s.stride > 255 || s.stride % size != 0 ||
                reinterpret_cast<uintptr_t>(s.first) % size != 0;
    if (s.convert)
      converted += count * a.size * sizeof(float);
    else
      direct[directCount++] = &s;
  }
  // Runs of overlapping arrays (interleaved data) go up as one block.
  for (size_t i = 1; i < directCount; ++i)  // by address; a handful, so by insertion
    for (size_t j = i; j > 0 && direct[j]->first < direct[j - 1]->first; --j) std::swap(direct[j], direct[j - 1]);
  struct Block {
    const uint8_t *start, *end;
    size_t from, to;  // direct[from, to)
  } blocks[kAttributes];
  size_t blockCount = 0, total = 0;
  for (size_t i = 0; i < directCount;) {
    const uint8_t* start = direct[i]->first;
    const uint8_t* end = start + (count - 1) * direct[i]->stride + direct[i]->bytes;
    size_t j = i + 1;
    for (; j < directCount && direct[j]->first < end; ++j)
      end = std::max(end, direct[j]->first + (count - 1) * direct[j]->stride + direct[j]->bytes);
    bool aligned = true;
    for (size_t k = i; k < j; ++k)
      aligned = aligned && (direct[k]->first - start) % TypeSize(direct[k]->array->type) == 0;
    if (!aligned) {
      // A block WebGL could not read at these offsets: each goes converted.
      for (size_t k = i; k < j; ++k) {
        direct[k]->convert = true;
        converted += count * direct[k]->array->size * sizeof(float);
      }
    } else {
      blocks[blockCount++] = {start, end, i, j};
      total += static_cast<size_t>(end - start) + 16;
    }
    i = j;
  }
  Reserve(c, c.vertexRing, GL_ARRAY_BUFFER, total + converted + 16);
  for (size_t b = 0; b < blockCount; ++b) {
    const Block& k = blocks[b];
    const size_t at = Put(c, c.vertexRing, GL_ARRAY_BUFFER, k.start, static_cast<size_t>(k.end - k.start));
    for (size_t d = k.from; d < k.to; ++d) direct[d]->offset = at + static_cast<size_t>(direct[d]->first - k.start);
  }
  if (converted) {
    c.staging.resize(converted);
    float* out = reinterpret_cast<float*>(c.staging.data());
    size_t at = 0;
    for (Stream& s : streams) {
      if (!s.convert) continue;
      s.offset = at * sizeof(float);
      for (size_t v = 0; v < count; ++v, at += s.array->size) Fetch(s, lo + static_cast<uint32_t>(v), out + at);
    }
    const size_t base = Put(c, c.vertexRing, GL_ARRAY_BUFFER, c.staging.data(), converted);
    for (Stream& s : streams)
      if (s.convert) s.offset += base;
  }
  for (const Stream& s : streams) {
    SetArrayEnabled(c, s.location, true);
    const void* offset = reinterpret_cast<const void*>(s.offset);
    if (s.convert)
      c.gl.VertexAttribPointer(s.location, s.array->size, GL_FLOAT, GL_FALSE, 0, offset);
    else
      c.gl.VertexAttribPointer(s.location, s.array->size, s.array->type, s.normalized, s.stride, offset);
  }
}

template <typename T>
void IndexRange(const void* indices, GLsizei count, uint32_t* lo, uint32_t* hi) {
  const T* p = static_cast<const T*>(indices);
  T mn = p[0], mx = p[0];
  for (GLsizei i = 1; i < count; ++i) {
    mn = std::min(mn, p[i]);
    mx = std::max(mx, p[i]);
  }
  *lo = mn;
  *hi = mx;
}

template <typename T>
void Rebase(const void* indices, GLsizei count, uint32_t lo, std::vector<uint8_t>& out) {
  out.resize(sizeof(T) * static_cast<size_t>(count));
  const T* in = static_cast<const T*>(indices);
  T* o = reinterpret_cast<T*>(out.data());
  for (GLsizei i = 0; i < count; ++i) o[i] = static_cast<T>(in[i] - lo);
}

// --- flat shading -------------------------------------------------------------

// The primitives of a draw as separate ones: for each output vertex, its
// position in the draw's vertex sequence and that of its primitive's
// provoking (last) vertex.
GLenum Unroll(GLenum mode, GLsizei n, std::vector<std::pair<GLsizei, GLsizei>>& out) {
  auto tri = [&out](GLsizei a, GLsizei b, GLsizei c) {
    out.push_back({a, c});
    out.push_back({b, c});
    out.push_back({c, c});
  };
  auto line = [&out](GLsizei a, GLsizei b, GLsizei provoking) {
    out.push_back({a, provoking});
    out.push_back({b, provoking});
  };
  switch (mode) {
    case GL_TRIANGLES:
      for (GLsizei i = 0; i + 2 < n; i += 3) tri(i, i + 1, i + 2);
      return GL_TRIANGLES;
    case GL_TRIANGLE_STRIP:
      for (GLsizei i = 0; i + 2 < n; ++i) (i % 2) ? tri(i + 1, i, i + 2) : tri(i, i + 1, i + 2);
      return GL_TRIANGLES;
    case GL_TRIANGLE_FAN:
      for (GLsizei i = 1; i + 1 < n; ++i) tri(0, i, i + 1);
      return GL_TRIANGLES;
    case GL_LINES:
      for (GLsizei i = 0; i + 1 < n; i += 2) line(i, i + 1, i + 1);
      return GL_LINES;
    case GL_LINE_STRIP:
    case GL_LINE_LOOP:
      for (GLsizei i = 0; i + 1 < n; ++i) line(i, i + 1, i + 1);
      if (mode == GL_LINE_LOOP && n > 1) line(n - 1, 0, 0);
      return GL_LINES;
    default:
      for (GLsizei i = 0; i < n; ++i) out.push_back({i, i});
      return GL_POINTS;
  }
}

void DrawFlat(Es2Context& c, Streams& streams, GLenum mode, GLsizei count, GLint first, GLenum type,
              const void* indices) {
  std::vector<std::pair<GLsizei, GLsizei>> order;
  const GLenum outMode = Unroll(mode, count, order);
  if (order.empty()) return;
  auto vertex = [&](GLsizei i) -> uint32_t {
    if (!indices) return static_cast<uint32_t>(first + i);
    return type == GL_UNSIGNED_BYTE ? static_cast<const uint8_t*>(indices)[i]
                                    : static_cast<const uint16_t*>(indices)[i];
  };
  size_t floats = 0;
  for (const Stream& s : streams) floats += order.size() * s.array->size;
  c.staging.resize(floats * sizeof(float));
  float* out = reinterpret_cast<float*>(c.staging.data());
  size_t at = 0;
  for (Stream& s : streams) {
    // Colour inputs come from the provoking vertex, the rest from each one.
    const bool provoking = s.location == kNormal || s.location == kColor || s.location == kLitPosition;
    s.offset = at * sizeof(float);
    for (const auto& v : order) {
      Fetch(s, vertex(provoking ? v.second : v.first), out + at);
      at += s.array->size;
    }
  }
  Reserve(c, c.vertexRing, GL_ARRAY_BUFFER, floats * sizeof(float) + 16);
  const size_t base = Put(c, c.vertexRing, GL_ARRAY_BUFFER, c.staging.data(), floats * sizeof(float));
  for (const Stream& s : streams) {
    SetArrayEnabled(c, s.location, true);
    c.gl.VertexAttribPointer(s.location, s.array->size, GL_FLOAT, GL_FALSE, 0,
                             reinterpret_cast<const void*>(base + s.offset));
  }
  c.gl.DrawArrays(outMode, 0, static_cast<GLsizei>(order.size()));
}

bool ValidMode(GLenum mode) {
  switch (mode) {
    case GL_POINTS:
    case GL_LINES:
    case GL_LINE_LOOP:
    case GL_LINE_STRIP:
    case GL_TRIANGLES:
    case GL_TRIANGLE_STRIP:
    case GL_TRIANGLE_FAN:
      return true;
    default:
      return false;
  }
}

void Draw(Es2Context& c, GLenum mode, GLint first, GLsizei count, GLenum type, const void* indices) {
  // Without the vertex array ES 1.1 draws nothing.
  if (!c.vertex.enabled || count == 0) return;
  Program* p = PrepareProgram(c, mode);
  if (!p) return;
  Streams streams;
  GatherInputs(c, *p, streams);
  // Flat shading matters only where the colour can change from vertex to vertex.
  bool varying = false;
  for (const Stream& s : streams)
    varying = varying || s.location == kNormal || s.location == kColor || s.location == kLitPosition;
  if (FlatVariant(c) && varying && mode != GL_POINTS) return DrawFlat(c, streams, mode, count, first, type, indices);

  uint32_t lo = static_cast<uint32_t>(first), hi = static_cast<uint32_t>(int64_t{first} + count - 1);
  if (indices) {
    if (type == GL_UNSIGNED_BYTE)
      IndexRange<uint8_t>(indices, count, &lo, &hi);
    else
      IndexRange<uint16_t>(indices, count, &lo, &hi);
  }
  UploadRange(c, streams, lo, hi);
  if (!indices) {
    c.gl.DrawArrays(mode, 0, count);
    return;
  }
  const size_t bytes = static_cast<size_t>(count) * TypeSize(type);
  const void* data = indices;
  if (lo != 0) {
    if (type == GL_UNSIGNED_BYTE)
      Rebase<uint8_t>(indices, count, lo, c.indexStaging);
    else
      Rebase<uint16_t>(indices, count, lo, c.indexStaging);
    data = c.indexStaging.data();
  }
  Reserve(c, c.indexRing, GL_ELEMENT_ARRAY_BUFFER, bytes + 16);
  const size_t at = Put(c, c.indexRing, GL_ELEMENT_ARRAY_BUFFER, data, bytes);
  c.gl.DrawElements(mode, count, type, reinterpret_cast<const void*>(at));
}

}  // namespace

void DeleteStreams(Es2Context& c) {
  for (Es2Context::Ring* r : {&c.vertexRing, &c.indexRing})
    if (r->buffers[0]) c.gl.DeleteBuffers(3, r->buffers);
  c.vertexRing = c.indexRing = {};
  c.boundArrayBuffer = 0;
}

void GL_APIENTRY DrawArrays(GLenum mode, GLint first, GLsizei count) {
  Es2Context& c = *current;
  if (!ValidMode(mode)) return SetError(c, GL_INVALID_ENUM);
  if (first < 0 || count < 0) return SetError(c, GL_INVALID_VALUE);
  Draw(c, mode, first, count, 0, nullptr);
}

void GL_APIENTRY DrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
  Es2Context& c = *current;
  if (!ValidMode(mode) || (type != GL_UNSIGNED_BYTE && type != GL_UNSIGNED_SHORT)) return SetError(c, GL_INVALID_ENUM);
  if (count < 0) return SetError(c, GL_INVALID_VALUE);
  Draw(c, mode, 0, count, type, indices);
}

}  // namespace gles2
