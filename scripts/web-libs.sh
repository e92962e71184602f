#!/usr/bin/env bash
# Builds, with Debian's emscripten, the libraries the web build links that
# emscripten does not ship offline (its ports download at build time), from
# Debian's source packages: SDL2, zlib, libpng, libjpeg-turbo and Dear ImGui
# (with the stb headers Debian's native build of it uses).
#
#   scripts/web-libs.sh CACHE_DIR
#
# Everything goes below CACHE_DIR (normally build-web/libs): the unpacked
# sources in src/, build trees in build/, and what the web build uses in
# prefix/ (include/, lib/). A library is built once per source version: a
# stamp prefix/stamps/PACKAGE_VERSION marks it done, so later calls only ask
# apt which version it would fetch. Needs the deb-src entry scripts/web-deps.sh
# sets up.
set -euo pipefail

cache=$(realpath -m "${1:?usage: web-libs.sh CACHE_DIR}")
prefix=$cache/prefix
jobs=$(nproc)
mkdir -p "$cache/src" "$cache/build" "$prefix/include" "$prefix/lib" "$prefix/stamps"

# emscripten's JavaScript tools look for Debian's node modules (acorn) here.
export NODE_PATH=/usr/share/nodejs
cflags="-O2"
# Configure checks run test programs with node. emcmake names node with a
# flag today's node refuses, and this emscripten's programs load their wasm
# with fetch when node has one (it cannot fetch a file path), so node runs
# them without fetch.
emcmake_cmake() { emcmake cmake -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node);--no-experimental-fetch" "$@"; }

# The versions apt would fetch for the source packages, one query for all:
# "PACKAGE VERSION" lines, from the names of their .dsc files.
source_versions() {
  apt-get source --print-uris -qq "$@" 2>/dev/null | grep -o "[^/' ]*\.dsc'" | tr -d "'" |
    sed 's/%2b/+/g; s/\.dsc$//; s/_/ /'
}

# Unpacks a source package into src/ (fresh) and prints its folder.
unpack() {
  local pkg=$1 dir
  rm -rf "$cache/src/$pkg"
  mkdir -p "$cache/src/$pkg"
  (cd "$cache/src/$pkg" && apt-get source -qq "$pkg" >/dev/null 2>&1) ||
    { echo "web-libs: apt-get source $pkg failed" >&2; exit 1; }
  dir=$(find "$cache/src/$pkg" -mindepth 1 -maxdepth 1 -type d | head -1)
  [[ -n "$dir" ]] || { echo "web-libs: $pkg unpacked to nothing" >&2; exit 1; }
  echo "$dir"
}

# Compiles C or C++ files into one static library, two at a time.
compile_archive() {
  local lib=$1 objdir=$2 compiler=$3 flags=$4
  shift 4
  mkdir -p "$objdir"
  printf '%s\n' "$@" | xargs -P "$jobs" -I{} sh -c \
    "$compiler $flags -c {} -o $objdir/\$(basename {}).o"
  rm -f "$lib"
  emar rcs "$lib" "$objdir"/*.o
}

build_zlib() {
  local src=$1 b=$cache/build/zlib
  rm -rf "$b"
  compile_archive "$prefix/lib/libz.a" "$b" emcc "$cflags -DHAVE_UNISTD_H -DHAVE_STDARG_H -I$src" \
    "$src"/{adler32,compress,crc32,deflate,gzclose,gzlib,gzread,gzwrite,infback,inffast,inflate,inftrees,trees,uncompr,zutil}.c
  cp "$src/zlib.h" "$src/zconf.h" "$prefix/include/"
}

build_libpng() {
  local src=$1 b=$cache/build/libpng
  rm -rf "$b"
  mkdir -p "$b"
  # The default configuration, as libpng's own build generates it.
  cp "$src/scripts/pnglibconf.h.prebuilt" "$b/pnglibconf.h"
  compile_archive "$prefix/lib/libpng16.a" "$b/obj" emcc "$cflags -I$b -I$src -I$prefix/include" \
    "$src"/{png,pngerror,pngget,pngmem,pngpread,pngread,pngrio,pngrtran,pngrutil,pngset,pngtrans,pngwio,pngwrite,pngwtran,pngwutil}.c
  ln -sf libpng16.a "$prefix/lib/libpng.a"
  cp "$src/png.h" "$src/pngconf.h" "$b/pnglibconf.h" "$prefix/include/"
}

build_libjpeg_turbo() {
  local src=$1 b=$cache/build/libjpeg-turbo
  rm -rf "$b"
  emcmake_cmake -S "$src" -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="$cflags" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF \
    >"$b.log" 2>&1 || { cat "$b.log" >&2; exit 1; }
  cmake --build "$b" -j "$jobs" --target jpeg-static >>"$b.log" 2>&1 || { tail -30 "$b.log" >&2; exit 1; }
  cp "$b/libjpeg.a" "$prefix/lib/"
  cp "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$b/jconfig.h" "$prefix/include/"
}

build_libsdl2() {
  local src=$1 b=$cache/build/libsdl2
  rm -rf "$b"
  # Only what the app uses: video (the canvas, its GL context and input
  # events), audio (Web Audio), timers, joystick (game controllers).
  emcmake_cmake -S "$src" -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="$cflags" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
    -DSDL_RENDER=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_POWER=OFF -DSDL_LOCALE=OFF \
    -DSDL_MISC=OFF -DSDL_DISKAUDIO=OFF -DSDL_DUMMYVIDEO=OFF -DSDL_OFFSCREEN=OFF -DSDL_CCACHE=OFF \
    >"$b.log" 2>&1 || { cat "$b.log" >&2; exit 1; }
  cmake --build "$b" -j "$jobs" >>"$b.log" 2>&1 || { tail -30 "$b.log" >&2; exit 1; }
  cmake --install "$b" >>"$b.log" 2>&1 || { tail -30 "$b.log" >&2; exit 1; }
}

build_imgui() {
  local src=$1 b=$cache/build/imgui
  rm -rf "$b"
  mkdir -p "$b" "$prefix/include/imgui" "$prefix/include/stb"
  # Debian's build takes stb_truetype and stb_rect_pack from its libstb
  # package instead of the copies in imgui; so does this one, for the same
  # glyphs as the native build. libstb's implementation compiled here:
  cp /usr/include/stb/stb_truetype.h /usr/include/stb/stb_rect_pack.h "$prefix/include/stb/"
  cat >"$b/stb_impl.cpp" <<'EOF'
#define STB_TRUETYPE_IMPLEMENTATION
#define STB_RECT_PACK_IMPLEMENTATION
#include <stb/stb_rect_pack.h>
#include <stb/stb_truetype.h>
EOF
  local defs="-DIMGUI_DISABLE_STB_RECT_PACK_IMPLEMENTATION -DIMGUI_STB_RECT_PACK_FILENAME=\"<stb/stb_rect_pack.h>\""
  defs="$defs -DIMGUI_DISABLE_STB_TRUETYPE_IMPLEMENTATION -DIMGUI_STB_TRUETYPE_FILENAME=\"<stb/stb_truetype.h>\""
  compile_archive "$prefix/lib/libimgui.a" "$b/obj" em++ "$cflags -I$src -I$prefix/include $defs" \
    "$src"/{imgui,imgui_draw,imgui_tables,imgui_widgets}.cpp "$src/misc/cpp/imgui_stdlib.cpp" "$b/stb_impl.cpp"
  cp "$src"/{imconfig,imgui,imgui_internal,imstb_textedit}.h "$src/misc/cpp/imgui_stdlib.h" "$prefix/include/imgui/"
  # The same pkg-config name the native build asks for.
  mkdir -p "$prefix/lib/pkgconfig"
  cat >"$prefix/lib/pkgconfig/imgui.pc" <<EOF
prefix=$prefix
Name: imgui
Description: Dear ImGui built for the web
Version: ${version%%+*}
Libs: -L\${prefix}/lib -limgui
Cflags: -I\${prefix}/include/imgui
EOF
}

# nlohmann_json is headers only: Debian's own (the binary package the native
# build uses), copied so that the web build never looks into /usr/include.
json_version=$(dpkg-query -W -f='${Version}' nlohmann-json3-dev 2>/dev/null) ||
  { echo "web-libs: nlohmann-json3-dev is not installed (scripts/deps.sh installs it)" >&2; exit 1; }
if [[ ! -e "$prefix/stamps/nlohmann-json3-dev_$json_version" ]]; then
  rm -rf "$prefix/include/nlohmann" "$prefix/stamps/nlohmann-json3-dev_"*
  cp -r /usr/include/nlohmann "$prefix/include/"
  touch "$prefix/stamps/nlohmann-json3-dev_$json_version"
fi
# tinygltf is one header (the character import's glTF reader), copied the same way.
gltf_version=$(dpkg-query -W -f='${Version}' libtinygltf-dev 2>/dev/null) ||
  { echo "web-libs: libtinygltf-dev is not installed (scripts/deps.sh installs it)" >&2; exit 1; }
if [[ ! -e "$prefix/stamps/libtinygltf-dev_$gltf_version" ]]; then
  rm -f "$prefix/include/tiny_gltf.h" "$prefix/stamps/libtinygltf-dev_"*
  cp /usr/include/tiny_gltf.h "$prefix/include/"
  touch "$prefix/stamps/libtinygltf-dev_$gltf_version"
fi

# In link order: libpng needs zlib's headers.
packages=(zlib libpng1.6 libjpeg-turbo libsdl2 imgui)
declare -A versions
while read -r pkg version; do versions[$pkg]=$version; done < <(source_versions "${packages[@]}")
for pkg in "${packages[@]}"; do
  version=${versions[$pkg]:-}
  [[ -n "$version" ]] || { echo "web-libs: apt knows no source package $pkg (is the deb-src entry there?)" >&2; exit 1; }
  stamp="$prefix/stamps/${pkg}_$version"
  [[ -e "$stamp" ]] && continue
  echo "web-libs: building $pkg $version for the web"
  rm -f "$prefix/stamps/${pkg}_"*
  dir=$(unpack "$pkg")
  case $pkg in
    zlib) build_zlib "$dir" ;;
    libpng1.6) build_libpng "$dir" ;;
    libjpeg-turbo) build_libjpeg_turbo "$dir" ;;
    libsdl2) build_libsdl2 "$dir" ;;
    imgui) build_imgui "$dir" ;;
  esac
  touch "$stamp"
done
