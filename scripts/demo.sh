#!/usr/bin/env bash
# The main job on the bundled samples: the whole watermarking experiment (embedding, the seven
# attacks, extraction and scores) with a fixed seed, its views written as PGM files; then a
# short robustness sweep over the bundled hosts with its HTML report.
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
echo "== Robustness: the default attack grid on the 12 hosts of samples/hosts/, seed 1"
"$cli" robustness "$here/samples/hosts" --mark "$here/samples/seal-128.pgm" --seeds 1 \
    --jsonl "$out/robustness.jsonl" --csv "$out/robustness.csv" --html "$out/robustness.html"
echo "== Report: $out/robustness.html (rows: $out/robustness.jsonl, $out/robustness.csv)"
