#!/usr/bin/env bash
# Runs every quillfen-cli command on the bundled samples and prints one line per run: the
# command, its exit code and the SHA-256 of its stdout, its stderr and its output file. Two
# builds that print the same lines produce the same bytes; use it around a reshaping:
#   scripts/cli-digests.sh build > before.txt; ...; scripts/cli-digests.sh build | diff before.txt -
set -uo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
cli="$(cd "$build" && pwd)/cli/quillfen-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
digest() { if [ -e "$1" ]; then sha256sum <"$1" | cut -c1-16; else echo "-"; fi; }
run() {  # run NAME OUTPUT-FILE ARGS...
  local name=$1 out=$2; shift 2
  rm -rf "$work"/out*
  "$cli" "$@" >"$work/stdout" 2>"$work/stderr"
  local rc=$?
  local od="-"
  if [ -d "$out" ]; then od=$(cd "$out" && find . -type f | sort | xargs sha256sum | sha256sum | cut -c1-16)
  elif [ -n "$out" ]; then od=$(digest "$out"); fi
  printf '%-40s rc=%d out=%s err=%s file=%s\n' "$name" "$rc" "$(digest "$work/stdout")" "$(digest "$work/stderr")" "$od"
}
s="$here/samples"
inputs=("$s/camera-256.pgm" "$s/camera-512.bmp" "$s/seal-128.pgm" "$s/seal-128.bmp")
two="$work/two.pgm"; printf 'P5\n4 2\n255\n\x00\x00\x00\x00\xff\xff\xff\xff' >"$two"
inputs+=("$two")
for in in "${inputs[@]}"; do
  b=$(basename "$in")
  run "info $b" "" info "$in"
  for op in mean two-peaks laplacian iterative gray-level johannsen kapur pun shannon yager min-error moving-average; do
    run "threshold $op $b" "$work/out.pgm" threshold "$op" "$in" "$work/out.pgm"
  done
  run "threshold ptile 30 $b" "$work/out.pgm" threshold ptile --percent 30 "$in" "$work/out.pgm"
  for op in equalize specify auto-stretch; do run "histogram $op $b" "$work/out.pgm" histogram "$op" "$in" "$work/out.pgm"; done
  run "histogram ends-in $b" "$work/out.pgm" histogram ends-in --low 5 --high 95 "$in" "$work/out.pgm"
  run "histogram show $b" "$work/out.png" histogram show "$in" "$work/out.png"
  for op in general general-vertical general-horizontal roberts prewitt sobel frei-chen laplacian1 laplacian2 laplacian3; do
    run "edge $op $b" "$work/out.pgm" edge "$op" "$in" "$work/out.pgm"
  done
  run "edge hough $b" "$work/out.pgm" edge hough "$in" "$work/out.pgm"
  run "edge hough line $b" "$work/out.pgm" edge hough --line-based --votes 50 "$in" "$work/out.pgm"
  run "thin $b" "$work/out.pgm" thin "$in" "$work/out.pgm"
  for op in mean median contract expand; do run "noise $op $b" "$work/out.pgm" noise "$op" "$in" "$work/out.pgm"; done
  run "invert $b" "$work/out.pgm" invert "$in" "$work/out.pgm"
  run "label $b" "$work/out.pgm" label "$in" "$work/out.pgm"
  run "invert bmp $b" "$work/out.bmp" invert "$in" "$work/out.bmp"
  run "invert png $b" "$work/out.png" invert "$in" "$work/out.png"
  run "invert jpg $b" "$work/out.jpg" invert "$in" "$work/out.jpg"
done
# From here on, relative names: experiment, embed and extract print the paths they write.
cd "$work" || exit 1
for seed in 1 7 20261208; do
  run "experiment $seed" "outdir" experiment "$s/camera-512.bmp" "$s/seal-128.bmp" --seed "$seed" --out outdir
  run "experiment json $seed" "" experiment "$s/camera-256.pgm" "$s/seal-128.pgm" --seed "$seed" --json
done
# Marking real pictures.
for seed in 1 7; do
  run "embed $seed" "out.png" embed "$s/camera-512.bmp" "$s/seal-128.pgm" out.png --key m.key --seed "$seed"
  cp out.png marked.png
  run "extract marked $seed" "out.pgm" extract marked.png --key m.key --mark-out out.pgm
  run "extract marked json $seed" "" extract marked.png --key m.key --json
  run "extract unmarked $seed" "" extract "$s/camera-512.bmp" --key m.key
  run "embed jpg $seed" "out.jpg" embed "$s/camera-512.bmp" "$s/seal-128.pgm" out.jpg --key m.key --seed "$seed"
  cp out.jpg marked.jpg
  run "extract jpg json $seed" "" extract marked.jpg --key m.key --json
done
# The blind methods: payloads, target PSNRs, colour hosts, keys of format 3, registration.
for method in spread-spectrum qim "qim:step=12,bits=32"; do
  run "embed $method" "out.png" embed "$s/camera-512.bmp" out.png --key b.key --seed 3 --method "$method"
  cp out.png marked.png
  run "extract $method" "" extract marked.png --key b.key
  run "extract json $method" "" extract marked.png --key b.key --json
  run "extract unmarked $method" "" extract "$s/camera-512.bmp" --key b.key --json
  run "embed target $method" "out.png" embed "$s/camera-512.bmp" out.png --key b.key --seed 4 --method "$method" \
    --target-psnr 40 --payload 0123456789abcdef
done
run "embed gray ss" "out.pgm" embed "$s/camera-256.pgm" out.pgm --key g.key --seed 5 --method spread-spectrum
cp out.pgm marked.pgm
run "extract host ss" "" extract marked.pgm --key g.key --host "$s/camera-256.pgm" --json
run "extract host polarity" "" extract marked.png --key m.key --host "$s/camera-512.bmp" --json
# The sweep and the calibration, every method on the same attacked pictures.
hosts=("$s/hosts/astronaut.pgm" "$s/hosts/coffee.pgm")
run "robustness methods" "rows.jsonl" robustness "${hosts[@]}" --seeds 1..2 --jobs 2 \
  --attacks "none,real-jpeg:q=50,rotate:deg=3,crop-zero-quarter,gauss-noise:sigma=5" \
  --method polarity --method spread-spectrum --method qim --jsonl rows.jsonl --csv rows.csv
run "robustness csv" "rows.csv" robustness "${hosts[@]}" --seeds 1..2 --jobs 1 \
  --attacks "none,real-jpeg:q=50,rotate:deg=3,crop-zero-quarter,gauss-noise:sigma=5" \
  --method polarity --method spread-spectrum --method qim --csv rows.csv
run "robustness target" "rows.jsonl" robustness "${hosts[@]}" --seeds 1 --jobs 2 --attacks "none,blur" \
  --method qim --method spread-spectrum --target-psnr 42 --jsonl rows.jsonl
run "robustness register" "rows.jsonl" robustness "${hosts[@]}" --seeds 1 --jobs 2 --register \
  --attacks "rotate:deg=2,scale:f=0.9" --method polarity --method qim --jsonl rows.jsonl
run "robustness polarity" "rows.jsonl" robustness "${hosts[@]}" --seeds 1..2 --jobs 2 \
  --attacks "none,jpeg,median:k=3" --jsonl rows.jsonl
run "calibrate polarity" "cal.json" calibrate "${hosts[@]}" "$s/hosts/grass.pgm" --mark "$s/seal-128.pgm" \
  --seeds 1..2 --attacks "none,real-jpeg:q=60,gauss-noise:sigma=2" --jobs 2 --out cal.json
run "calibrate qim" "cal.json" calibrate "${hosts[@]}" "$s/hosts/grass.pgm" --method qim --seeds 1..3 \
  --attacks "none,real-jpeg:q=60" --jobs 2 --out cal.json
