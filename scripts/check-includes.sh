#!/usr/bin/env bash
# The include rule of the libraries: a source sees the headers of its own
# library and of the libraries it links, no others. The compiler enforces it
# (cmake/Ovanta.cmake gives each library an include folder of its own);
# this checks, in a configured build, that nothing goes round it:
#   - no compile command has the source tree's src folder, or one below it,
#     on its include path;
#   - no source includes a header by a path out of its folder ("../") or
#     from the root;
#   - with the flags of a library that does not link the face layer (math),
#     the face layer's header is not found while math's own header is;
#   - the edges the platform split removed stay removed: input does not see
#     the character, physics no GL, render, texture and face no GL surface,
#     render and texture no SDL.
# Usage: scripts/check-includes.sh BUILD (a CTest of every native build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
db=$build/compile_commands.json
failed=0
fail() { echo "check-includes: $*" >&2; failed=1; }

[[ -s $db ]] || { echo "check-includes: no $db" >&2; exit 1; }

on_path=$(grep -oE -- '-(I|isystem|iquote) ?[^ "]+' "$db" | sed -E 's/^-(I|isystem|iquote) ?//' | sort -u |
          grep -E "^$root/src(/|$)" || true)
[[ -z $on_path ]] || fail "source folders on an include path (use ovanta_library or ovanta_own_headers): $on_path"

reaching=$(cd "$root" && grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(\.\./|/)' src tools tests bench || true)
[[ -z $reaching ]] || fail "includes by a path out of the folder: $reaching"

cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
flags=$(grep -F -- "-c $root/src/math/Matrix.cpp" "$db" | grep -oE -- '-(I|isystem) ?[^ "]+' | tr '\n' ' ' || true)
[[ -n $flags ]] || fail "no compile command of src/math/Matrix.cpp in $db"
probe() { echo "#include \"$1\"" | $cxx $flags -std=c++17 -fsyntax-only -x c++ - 2>&1; }
probe math/Matrix.h >/dev/null || fail "math does not see its own header math/Matrix.h"
if out=$(probe face/face.h); then
  fail "math, which does not link the face layer, includes face/face.h"
elif ! grep -q 'face/face.h' <<<"$out"; then
  fail "the probe of face/face.h failed for another reason: $out"
fi

# SOURCE HEADER: with SOURCE's flags HEADER is not found.
not_seen() {
  local f out
  f=$(grep -F -- "-c $root/$1" "$db" | grep -oE -- '-(I|isystem) ?[^ "]+' | tr '\n' ' ' || true)
  [[ -n $f ]] || { fail "no compile command of $1 in $db"; return; }
  if out=$(echo "#include \"$2\"" | $cxx $f -std=c++17 -fsyntax-only -x c++ - 2>&1); then
    fail "$1 sees $2: its library links what it does not use"
  elif ! grep -qE 'No such file|not found' <<<"$out"; then
    fail "the probe of $2 from $1 failed for another reason: $out"
  fi
}
not_seen src/input/input.cpp character/girl.h
not_seen src/physics/boobs_physics_b0.cpp gles/gles.h
for src in src/render/render_mesh.cpp src/texture/gamelib.cpp src/face/face.cpp; do
  not_seen "$src" surface/EAGLView.h
done
for src in src/render/render_mesh.cpp src/texture/gamelib.cpp; do
  not_seen "$src" SDL.h
done
exit $failed
