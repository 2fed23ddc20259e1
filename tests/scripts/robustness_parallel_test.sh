#!/usr/bin/env bash
# The parallel script in three shards on this machine gives, once merged, the rows of one
# single run byte for byte; run again with --resume it starts no shard and changes nothing.
# Then each way a shard can go wrong, through a stand-in for quillfen-cli that makes shard 2 go
# wrong once: after the fault (and, where the script stops, a run again with --resume) the
# merged rows are again those of the single run.
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

# The stand-in: the real program, except that on its first call for shard 2 it does what
# $fault says (once: a marker file remembers it).
standin="$work/standin"
cat >"$standin" <<STANDIN
#!/usr/bin/env bash
real="$cli"
marker="$work/fault-done"
shard=""; file=""
for ((i = 1; i <= \$#; ++i)); do
    case "\${!i}" in
    --shard) j=\$((i + 1)); shard=\${!j} ;;
    --jsonl) j=\$((i + 1)); file=\${!j} ;;
    esac
done
if [ "\$shard" = "2/3" ] && [ ! -e "\$marker" ]; then
    touch "\$marker"
    case "\$FAULT" in
    fail) echo "quillfen-cli: a stand-in failure" >&2; exit 3 ;;
    # Killed while writing a line: some rows, then a line cut short, then death by signal.
    kill) "\$real" "\$@" >/dev/null; head -c 700 "\$file" >"\$file.cut"; mv "\$file.cut" "\$file"; kill -9 \$\$ ;;
    # Ends well but leaves its last line cut (a file system that lost the end of a write).
    cut) "\$real" "\$@"; code=\$?; head -c 700 "\$file" >"\$file.cut"; mv "\$file.cut" "\$file"; exit \$code ;;
    esac
fi
exec "\$real" "\$@"
STANDIN
chmod +x "$standin"

for fault in fail kill cut; do
    rm -rf "$work/out" "$work/fault-done"
    status=0
    FAULT=$fault bash "$here/scripts/robustness-parallel.sh" --shards 3 --jobs 2 --cli "$standin" --out "$work/out" \
        -- "${args[@]}" >/dev/null 2>"$work/err" || status=$?
    case "$fault" in
    fail | kill)
        # Noticed, nothing merged; run again, the failed shard is resumed.
        [ "$status" -eq 2 ] || { echo "$fault: exit $status, expected 2"; cat "$work/err"; exit 1; }
        grep -q 'some shards did not finish' "$work/err"
        [ ! -e "$work/out/rows.jsonl" ]
        FAULT=$fault bash "$here/scripts/robustness-parallel.sh" --shards 3 --jobs 2 --cli "$standin" --out "$work/out" \
            --resume -- "${args[@]}" >/dev/null
        ;;
    cut) [ "$status" -eq 0 ] || { echo "$fault: exit $status"; cat "$work/err"; exit 1; } ;;
    esac
    cmp "$work/single.jsonl" "$work/out/rows.jsonl" || { echo "$fault: merged rows differ"; exit 1; }
    cmp "$work/single.csv" "$work/out/rows.csv" || { echo "$fault: CSV differs"; exit 1; }
done
echo "merged shards equal the single run, after each fault too"
