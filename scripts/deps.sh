#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the app need, and only
# those that are missing, so a second call costs a dpkg query and nothing more.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev libglm-dev nlohmann-json3-dev libtinygltf-dev
  libgles-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
  libsdl2-dev libpng-dev libjpeg62-turbo-dev
  libimgui-dev fonts-dejavu-core
  flite1-dev libespeak-ng-dev espeak-ng-data
  clang libclang-rt-14-dev
  xvfb xauth xdotool x11-utils imagemagick jq
  desktop-file-utils dpkg-dev
  emscripten chromium
)
# The web tests install puppeteer-core with npm; a machine whose node came
# from elsewhere usually brings its own npm.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "deps: installing ${missing[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
