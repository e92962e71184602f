#!/usr/bin/env bash
# What the web build and its tests need beyond scripts/deps.sh (which
# installs emscripten and chromium with the other Debian packages):
#   1. a deb-src entry for Debian's archive, so apt can fetch source packages;
#   2. the libraries built for the web from them (scripts/web-libs.sh);
#   3. puppeteer-core from npm, at the version tests/web/package-lock.json
#      pins, below OUT/node (it drives the system chromium; it never
#      downloads a browser).
#
#   scripts/web-deps.sh OUT        (OUT is the web build folder, build-web)
#
# Each step is skipped when its result is already there, so a second call
# costs a few apt queries.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:?usage: web-deps.sh OUT}")
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"

# 1. Source packages: the entries of Debian's archive again, as deb-src. The
# security archive is left out: its sources are not mirrored everywhere
# (here they are not), and point releases bring its fixes into the archive.
if ! apt-get source --print-uris -qq zlib >/dev/null 2>&1; then
  entry=/etc/apt/sources.list.d/ovanta-deb-src.sources
  echo "web-deps: adding $entry for Debian's source packages"
  {
    # deb822 files: every stanza of type deb on a debian.org archive.
    for f in /etc/apt/sources.list.d/*.sources; do
      [[ -e "$f" && "$f" != "$entry" ]] || continue
      awk 'BEGIN { RS = ""; FS = "\n" }
           /(^|\n)Types:[^\n]*deb/ && /(^|\n)URIs:[^\n]*debian\.org/ && !/security/ {
             for (i = 1; i <= NF; i++) {
               if ($i ~ /^#/) continue
               if ($i ~ /^Types:/) print "Types: deb-src"; else print $i
             }
             print ""
           }' "$f"
    done
    # One-line lists: "deb [options] URI suite components".
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [[ -e "$f" ]] || continue
      awk '$1 == "deb" && /debian\.org/ && !/security/ {
             i = 2
             if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
             printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $i, $(i + 1)
             for (j = i + 2; j <= NF; j++) printf " %s", $j
             printf "\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n"
           }' "$f"
    done
  } | $sudo tee "$entry.tmp" >/dev/null
  [[ -s "$entry.tmp" ]] || { $sudo rm -f "$entry.tmp"; echo "web-deps: no Debian archive entry found to copy" >&2; exit 1; }
  $sudo mv "$entry.tmp" "$entry"
  $sudo apt-get update -qq
fi

# 2. The libraries, built once into the cache.
bash "$here/scripts/web-libs.sh" "$out/libs"

# 3. puppeteer-core, exactly as locked.
node_dir=$out/node
if ! cmp -s "$here/tests/web/package-lock.json" "$node_dir/package-lock.json" ||
   [[ ! -e "$node_dir/node_modules/puppeteer-core/package.json" ]]; then
  echo "web-deps: installing puppeteer-core into $node_dir"
  mkdir -p "$node_dir"
  cp "$here/tests/web/package.json" "$here/tests/web/package-lock.json" "$node_dir/"
  (cd "$node_dir" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
