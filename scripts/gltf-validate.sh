#!/usr/bin/env bash
# Khronos's glTF validator (npm gltf-validator, at the version
# tests/vrm/validator/package-lock.json pins) on the files named, installed
# once below NODE_DIR the way the web tests install puppeteer-core.
#
#   scripts/gltf-validate.sh NODE_DIR FILE...
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
node_dir=$1
shift
src=$here/tests/vrm/validator
if ! cmp -s "$src/package-lock.json" "$node_dir/package-lock.json" ||
   [[ ! -e "$node_dir/node_modules/gltf-validator/package.json" ]]; then
  command -v npm >/dev/null || { echo "gltf-validate: npm is missing (scripts/deps.sh installs it)" >&2; exit 1; }
  echo "gltf-validate: installing gltf-validator into $node_dir"
  mkdir -p "$node_dir"
  cp "$src/package.json" "$src/package-lock.json" "$node_dir/"
  (cd "$node_dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null) ||
    { echo "gltf-validate: npm could not install gltf-validator into $node_dir" >&2; exit 1; }
fi
NODE_PATH=$node_dir/node_modules node "$src/validate.js" "$@"
