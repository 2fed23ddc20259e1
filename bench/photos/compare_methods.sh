#!/usr/bin/env bash
# The README's method comparison on whole photographs: twelve pictures (the ten `photos.sh final`
# gives, kept back from all tuning, and two of the held-out ones, Bridge_by_Sander_Klootwijk.jpg
# and Dragonfly_by_Bolly.jpg, 3.7 and 5 megapixels, for sizes the final ten lack), every method
# at one embedding PSNR, the default grid; prints the table "detected at 1e-6: family x method"
# in the README's Markdown, with each method's mean embedding PSNR (over red, green and blue).
#
#   bench/photos/compare_methods.sh [BUILD] [SEEDS] [TARGET_DB] [CELLS]
#     BUILD      the build folder (default build)
#     SEEDS      seeds of the run (default 1..2: a whole photograph per row is slow)
#     TARGET_DB  the embedding PSNR of the methods with a strength (default 38, as the README's
#                256 x 256 table)
#     CELLS      attack cells (default: the default grid)
# METHODS (environment) names the methods, separated by spaces (default: polarity spread-spectrum
# qim spread-spectrum-sync); JOBS the threads (default: every core). Each method's rows go to a
# file of their own (bench-photos-rows.METHOD.jsonl), so that one method can be measured again
# without the others, and the table is printed from every such file in the folder.
# The rows are appended in the current folder as they come, so that a stopped run resumes
# (--resume) where it stopped. Needs `bash scripts/install-deps.sh photos`.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
seeds=${2:-1..2}
target=${3:-38}
cells=${4:-}
methods=${METHODS:-polarity spread-spectrum qim spread-spectrum-sync}
jobs=()
[ -n "${JOBS:-}" ] && jobs=(--jobs "$JOBS")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/photos"
# The final pictures share one file name (2560x1600.jpg): each is named after its folder.
"$here/scripts/photos.sh" final | while read -r p; do
  name=$(basename "$(dirname "$(dirname "$(dirname "$p")")")")
  ln -s "$p" "$work/photos/$name.jpg"
done
for extra in Bridge_by_Sander_Klootwijk.jpg Dragonfly_by_Bolly.jpg; do
  p=$("$here/scripts/photos.sh" held-out | grep "/$extra\$")
  ln -s "$p" "$work/photos/$extra"
done
attacks=()
[ -n "$cells" ] && attacks=(--attacks "$cells")
# Always resume, from an empty file at first: the rows are then appended as they come, so a
# run stopped after hours keeps what it measured (a fresh --jsonl is written only at the end).
for method in $methods; do
  rows=$PWD/bench-photos-rows.$method.jsonl
  [ -e "$rows" ] || : > "$rows"
  # Exit code 1: some rows failed (a host the method refuses, a target its strength cannot
  # reach), which the table counts; anything else stops the run.
  status=0
  "$build/cli/quillfen-cli" robustness "$work/photos" --method "$method" --target-psnr "$target" \
    --seeds "$seeds" "${attacks[@]}" "${jobs[@]}" --resume --jsonl "$rows" >/dev/null || status=$?
  [ "$status" -le 1 ] || exit "$status"
done
/usr/bin/python3 - "$PWD"/bench-photos-rows.*.jsonl <<'PY'
import collections, json, sys
rows = [json.loads(l) for f in sys.argv[1:] for l in open(f)]
# The families as the README's tables show them: a cell's name before its parameters, every
# combination in one family.
family = lambda a: "combinations" if "+" in a else a.split(":")[0]
name = lambda m: m.rsplit("@", 1)[0]
# The methods in the README's order, any other after them.
order = ["polarity", "spread-spectrum", "qim", "stdm", "rdm", "spread-spectrum-sync"]
methods = sorted(dict.fromkeys(name(r["method"]) for r in rows),
                 key=lambda m: order.index(m) if m in order else len(order))
fams = list(dict.fromkeys(family(r["attack"]) for r in rows))
hit = collections.defaultdict(list)
psnr = collections.defaultdict(list)
ssim = collections.defaultdict(list)
refused = collections.defaultdict(set)
for r in rows:
    m = name(r["method"])
    if r.get("error"):
        refused[m].add((r["host"], r["seed"]))
        continue
    hit[(family(r["attack"]), m)].append(bool(r["detected_1e-6"]))
    if r["attack"] == "none":
        psnr[m].append(r["psnr_embed"])
        ssim[m].append(r["ssim_embed"])
sizes = sorted({(r["width"], r["height"]) for r in rows if r.get("region") == "whole"})
print("%d photographs (%s), seeds %s, %d cells" % (len({r["host"] for r in rows}),
      ", ".join("%dx%d" % s for s in sizes), sorted({r["seed"] for r in rows}), len({r["attack"] for r in rows})))
print()
show = ["real-jpeg", "gauss-noise", "gaussian-blur", "median", "rotate", "scale", "shift", "crop", "contrast",
        "crop-resize", "rotate-crop", "aspect", "random-bending", "print-scan", "combinations"]
print("| family | " + " | ".join(methods) + " |")
print("|---|" + "---:|" * len(methods))
rate = lambda c: "%.2f" % (sum(c) / len(c)) if c else "-"
for f in [f for f in show if f in fams]:
    print("| %s | " % f + " | ".join(rate(hit[(f, m)]) for m in methods) + " |")
means = []
for m in methods:
    per = [sum(hit[(f, m)]) / len(hit[(f, m)]) for f in fams if hit[(f, m)]]
    means.append("%.2f" % (sum(per) / len(per)) if per else "-")
print("| mean of %d families | " % len(fams) + " | ".join(means) + " |")
print("| PSNR / SSIM unattacked | " + " | ".join(
    "%.1f / %.3f" % (sum(psnr[m]) / len(psnr[m]), sum(ssim[m]) / len(ssim[m])) if psnr[m] else "-" for m in methods) + " |")
print("| pictures refused | " + " | ".join(str(len(refused[m])) for m in methods) + " |")
PY
