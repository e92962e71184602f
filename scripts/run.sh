#!/usr/bin/env bash
# The README's run command: starts the main job of the build in $1.
set -euo pipefail
build=$1
"$build/tools/podinfo/podinfo" "$build/Resources/girl_casual.POD"
