#!/usr/bin/env bash
# The README's run command: starts the main job of the build in $1.
set -euo pipefail
build=$1
sample="$build/samples/sample.pod"
"$build/tools/podinfo/podinfo" "$sample"
