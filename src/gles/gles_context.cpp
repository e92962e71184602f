#include "gles/gles_context.h"

#include <cstring>

#include "gles/es2_context.h"
#include "gles/gles_dispatch.h"

namespace {

// A call without a current context does nothing and answers zero, as the
// driver's own entry points do then.
template <typename F>
struct Noop;
template <typename R, typename... A>
struct Noop<R(GL_APIENTRYP)(A...)> {
  static R GL_APIENTRY Call(A...) { return R(); }
};

constexpr GlesDispatch NoContext() {
  GlesDispatch t{};
#define GLES_FUNCTION(result, name, params) t.name = &Noop<decltype(t.name)>::Call;
#include "gles/gles_functions.inc"
#undef GLES_FUNCTION
  return t;
}

constexpr GlesDispatch kNoContext = NoContext();

GlesDispatch Translation() {
  GlesDispatch t;
#define GLES_FUNCTION(result, name, params) t.name = &gles2::name;
#include "gles/gles_functions.inc"
#undef GLES_FUNCTION
  return t;
}

GlesContext* g_current = nullptr;

}  // namespace

// Constant-initialised, so calls made before any surface exists are safe.
GlesDispatch gles_dispatch = NoContext();

struct GlesContext {
  GlesKind kind = kGlesES1;
  GlesDispatch table;
  Es2Context* es2 = nullptr;
};

bool GlesParseKind(const char* text, GlesKind* kind) {
  if (!text) return false;
  static const GlesKind kinds[] = {kGlesAuto, kGlesES1, kGlesES2};
  for (GlesKind k : kinds)
    if (std::strcmp(text, GlesKindName(k)) == 0) {
      *kind = k;
      return true;
    }
  return false;
}

const char* GlesKindName(GlesKind kind) {
  switch (kind) {
    case kGlesES1:
      return "es1";
    case kGlesES2:
      return "es2";
    default:
      return "auto";
  }
}

GlesContext* GlesCreateContext(GlesKind kind, GlesLoader load, GlesContext* share) {
  if (!load || (kind != kGlesES1 && kind != kGlesES2)) return nullptr;
  GlesContext* ctx = new GlesContext();
  ctx->kind = kind;
  bool ok = true;
  if (kind == kGlesES1) {
#define GLES_FUNCTION(result, name, params) \
  ok = ok && (ctx->table.name = reinterpret_cast<decltype(ctx->table.name)>(load("gl" #name)));
#include "gles/gles_functions.inc"
#undef GLES_FUNCTION
  } else {
    static const GlesDispatch translation = Translation();
    ctx->table = translation;
    ctx->es2 = Es2Create(load, share ? share->es2 : nullptr);
    ok = ctx->es2 != nullptr;
  }
  if (!ok) {
    delete ctx;
    return nullptr;
  }
  return ctx;
}

void GlesDestroyContext(GlesContext* ctx) {
  if (!ctx) return;
  if (ctx->es2) Es2Destroy(ctx->es2, ctx == g_current);
  if (ctx == g_current) GlesMakeCurrent(nullptr);
  delete ctx;
}

GlesKind GlesContextKind(const GlesContext* ctx) { return ctx ? ctx->kind : kGlesAuto; }

void GlesMakeCurrent(GlesContext* ctx) {
  g_current = ctx;
  gles_dispatch = ctx ? ctx->table : kNoContext;
  Es2MakeCurrent(ctx ? ctx->es2 : nullptr);
}

GlesContext* GlesCurrentContext() { return g_current; }
