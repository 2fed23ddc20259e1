#!/usr/bin/env bash
# The main job on the bundled samples: the whole watermarking experiment (embedding, the seven
# attacks, extraction and scores) with a fixed seed, its views written as PGM files.
set -euo pipefail
build=${1:-build}
cli="$build/cli/quillfen-cli"
here=$(cd "$(dirname "$0")/.." && pwd)
out="$build/demo-out"
seed=20261208
echo "== Host picture: samples/camera-512.bmp"
"$cli" info "$here/samples/camera-512.bmp"
echo "== Watermark: samples/seal-128.bmp"
"$cli" info "$here/samples/seal-128.bmp"
echo "== Experiment, seed $seed: embed, apply all seven attacks, extract, score"
# The command writes only into a new or empty folder; this folder is the demo's own.
rm -rf "$out"
"$cli" experiment "$here/samples/camera-512.bmp" "$here/samples/seal-128.bmp" --seed "$seed" --out "$out"
echo "== Views of every step (PGM): $out/ (per attack in $out/<attack>/)"
