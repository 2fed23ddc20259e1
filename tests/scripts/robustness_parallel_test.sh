#!/usr/bin/env bash
# The parallel script in three shards on this machine gives, once merged, the rows of one
# single run byte for byte; run again with --resume it starts no shard and changes nothing.
set -euo pipefail
cli=${1:?usage: robustness_parallel_test.sh QUILLFEN_CLI}
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
args=("$here/samples/hosts/astronaut.pgm" "$here/samples/hosts/gravel.pgm" --mark "$here/samples/seal-128.pgm"
      --seeds 1..2 --attacks 'none,real-jpeg:q=50,median:k=3,shift:dx=2,dy=2,crop:frac=0.25+scale:f=0.75')

"$cli" robustness "${args[@]}" --jobs 1 --jsonl "$work/single.jsonl" --csv "$work/single.csv" >/dev/null
bash "$here/scripts/robustness-parallel.sh" --shards 3 --jobs 2 --cli "$cli" --out "$work/out" -- "${args[@]}" >/dev/null
cmp "$work/single.jsonl" "$work/out/rows.jsonl"
cmp "$work/single.csv" "$work/out/rows.csv"
[ "$(wc -l <"$work/out/rows.jsonl")" -eq 20 ]
for i in 1 2 3; do [ -s "$work/out/shards/shard-$i.jsonl" ]; done

# A shard stopped half-way: its file cut in the middle of a line. --resume completes it.
shard2="$work/out/shards/shard-2.jsonl"
head -c 300 "$shard2" >"$work/cut" && mv "$work/cut" "$shard2"
sed -i '/\t2\t[^\t]*$/d; /robustness.*--shard 2\/3/d' "$work/out/joblog"
bash "$here/scripts/robustness-parallel.sh" --shards 3 --jobs 2 --cli "$cli" --out "$work/out" --resume -- "${args[@]}" >/dev/null
cmp "$work/single.jsonl" "$work/out/rows.jsonl"
echo "merged shards equal the single run"
