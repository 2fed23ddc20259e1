#!/usr/bin/env bash
# The main job on the bundled samples: runs quillfen-cli on them and says where the results are.
set -euo pipefail
build=${1:-build}
cli="$build/cli/quillfen-cli"
here=$(cd "$(dirname "$0")/.." && pwd)
echo "== Host picture: samples/camera-512.bmp"
"$cli" info "$here/samples/camera-512.bmp"
echo "== Watermark: samples/seal-128.pgm"
"$cli" info "$here/samples/seal-128.pgm"
