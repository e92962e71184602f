// Which GL ES 1.1 implementation stands behind the engine's GL calls, and
// the layer's half of each GL context.
//
// The GL surface (surface/EAGLView.h) makes a driver context, current, and
// then GlesCreateContext: es1 takes the driver's own ES 1.1 entry points,
// es2 starts our translation (es2_context.h) over an ES 2.0 context. Every
// time the surface makes a context current it calls GlesMakeCurrent with its
// half, which points gles_dispatch at that implementation.
//
// The programs choose with `--gl es1|es2` or OVANTA_GL (GlesParseKind); auto
// means es1 where the driver offers it.
#pragma once

enum GlesKind { kGlesAuto = 0, kGlesES1 = 1, kGlesES2 = 2 };

// "es1", "es2" or "auto"; false (kind untouched) for anything else.
bool GlesParseKind(const char* text, GlesKind* kind);
const char* GlesKindName(GlesKind kind);  // "es1", "es2", "auto"

// Looks up a GL entry point of the current driver context by name.
typedef void* (*GlesLoader)(const char* name);

struct GlesContext;

// The layer's half of the driver context current now, which must be an
// ES 1.1 context for es1 and an ES 2.0 (or later) one for es2. `share` is a
// context whose textures the new one shares (the window's presenting
// context shares the drawing context's), or null. Null when the driver
// lacks an entry point. kGlesAuto is not a kind of context.
GlesContext* GlesCreateContext(GlesKind kind, GlesLoader load, GlesContext* share);
// Frees the half; its GL objects are deleted when its driver context is
// current, else they go with that context.
void GlesDestroyContext(GlesContext* ctx);
GlesKind GlesContextKind(const GlesContext* ctx);

// Points the GL names at `ctx` (null: no context, every call a no-op).
void GlesMakeCurrent(GlesContext* ctx);
GlesContext* GlesCurrentContext();
