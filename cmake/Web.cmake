# The web build: the same tree configured with emscripten (emcmake), building
# only the libraries the page needs and the page's program (src/web).
#
# The libraries emscripten does not ship offline come from scripts/web-libs.sh
# (OVANTA_WEB_LIBS, its prefix folder); the bundle is the one the native
# build's generators made (OVANTA_BUNDLE), and the web app's icons its
# tools/appicon drew (OVANTA_WEB_ICONS). `make web` passes all three.

set(OVANTA_WEB_LIBS "${CMAKE_BINARY_DIR}/libs/prefix" CACHE PATH
    "Libraries built for the web by scripts/web-libs.sh")
set(OVANTA_BUNDLE "${CMAKE_SOURCE_DIR}/build/Resources" CACHE PATH
    "The resource bundle of the native build, packed into the site")
get_filename_component(ovanta_native_build "${OVANTA_BUNDLE}" DIRECTORY)
set(OVANTA_WEB_ICONS "${ovanta_native_build}/icons/web" CACHE PATH
    "The web app's icons the native build's appicon drew, copied into the site")
if(NOT EXISTS "${OVANTA_WEB_LIBS}/lib/libSDL2.a")
  message(FATAL_ERROR "No web libraries in ${OVANTA_WEB_LIBS}: run scripts/web-deps.sh (make web does)")
endif()

# find_package and pkg-config look in the prefix, inside emscripten's sysroot rules.
list(APPEND CMAKE_FIND_ROOT_PATH "${OVANTA_WEB_LIBS}")
list(APPEND CMAKE_PREFIX_PATH "${OVANTA_WEB_LIBS}")
set(ENV{PKG_CONFIG_LIBDIR} "${OVANTA_WEB_LIBS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(nlohmann_json_DIR "${CMAKE_SOURCE_DIR}/cmake/web" CACHE PATH "" FORCE)
# emscripten's sysroot has an SDL2 config of its own that fetches its port.
set(SDL2_DIR "${OVANTA_WEB_LIBS}/lib/cmake/SDL2" CACHE PATH "" FORCE)

# The desktop's EGL: the page's GL surface makes its WebGL context through
# emscripten's own calls instead (surface/EAGLView_web.cpp).
add_library(EGL INTERFACE)

