#!/usr/bin/env bash
# Runs `quillfen-cli robustness` in shards with GNU parallel, on this machine or over ssh, then
# merges the shards' rows and writes the reports. Every row is a pure function of (host, seed,
# attack), so the merged rows are byte for byte those of one single run.
#
#   scripts/robustness-parallel.sh [OPTIONS] -- HOSTS... --mark MARK [robustness options]
#
# Options:
#   --shards N           shards to cut the run into (default: 4 x the local cores)
#   --jobs N             shards running at once per machine (GNU parallel's --jobs; default: one
#                        per core)
#   --threads N          threads of each shard (quillfen-cli --jobs; default 1)
#   --out DIR            where the shards, the merged rows and the reports go (default
#                        robustness-out): DIR/shards/shard-I.jsonl, DIR/rows.jsonl, DIR/rows.csv,
#                        DIR/report.html
#   --joblog FILE        GNU parallel's job log (default DIR/joblog)
#   --resume             carry on a stopped or failed run: shards the job log lists as done are
#                        not started again; a shard that failed or was killed starts again and
#                        keeps the rows it wrote
#   --sshloginfile FILE  run the shards on the machines listed (GNU parallel's format, ":" for
#                        this one); they must see the same paths (a shared file system) and
#                        have quillfen-cli at the same place (--cli)
#   --cli PATH           the quillfen-cli to run (default: build/cli/quillfen-cli of this
#                        checkout, else quillfen-cli on the PATH)
#
# Exit code: 0 when every row was computed, 1 when some rows failed (they are in the files
# with their error), 2 for bad arguments or a shard that could not run (nothing is merged).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
shards=""
jobs=""
threads=1
out=robustness-out
joblog=""
resume=0
sshloginfile=""
cli=""

usage() {
    sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//' >&2
    exit 2
}
fail() {
    echo "robustness-parallel: $*" >&2
    exit 2
}

while [ $# -gt 0 ]; do
    case "$1" in
    --shards) shards=${2:?}; shift 2 ;;
    --jobs) jobs=${2:?}; shift 2 ;;
    --threads) threads=${2:?}; shift 2 ;;
    --out) out=${2:?}; shift 2 ;;
    --joblog) joblog=${2:?}; shift 2 ;;
    --resume) resume=1; shift ;;
    --sshloginfile) sshloginfile=${2:?}; shift 2 ;;
    --cli) cli=${2:?}; shift 2 ;;
    -h | --help) usage ;;
    --) shift; break ;;
    *) fail "unknown option '$1' (the robustness arguments follow --; see --help)" ;;
    esac
done
[ $# -gt 0 ] || fail "no robustness arguments after -- (HOSTS... --mark MARK ...)"
for word in "$@"; do
    case "$word" in
    --jsonl | --jsonl=* | --csv | --csv=* | --html | --html=* | --shard | --shard=* | --resume | --jobs | --jobs=*)
        fail "'$word' is the script's to set (see --out, --threads and --resume)" ;;
    esac
done
command -v parallel >/dev/null || fail "GNU parallel is not installed (Debian package 'parallel')"
if [ -z "$cli" ]; then
    if [ -x "$here/build/cli/quillfen-cli" ]; then cli="$here/build/cli/quillfen-cli"; else cli=$(command -v quillfen-cli) || fail "no quillfen-cli (build it, or give --cli)"; fi
fi
[ -n "$shards" ] || shards=$((4 * $(nproc)))
[[ "$shards" =~ ^[1-9][0-9]*$ ]] || fail "--shards: '$shards' is not a whole number from 1"
[[ "$threads" =~ ^[1-9][0-9]*$ ]] || fail "--threads: '$threads' is not a whole number from 1"
[ -n "$joblog" ] || joblog="$out/joblog"

mkdir -p "$out/shards"
if [ "$resume" -eq 0 ]; then
    # A fresh run: nothing from an earlier one may be taken for this one's rows.
    rm -f "$out"/shards/shard-*.jsonl "$joblog" "$out/rows.jsonl"
fi

options=(--will-cite --halt never --joblog "$joblog")
# --resume-failed, not --resume: GNU parallel's --resume skips every job in the log, failed or
# killed ones too, which could then never be run again.
[ "$resume" -eq 1 ] && options+=(--resume-failed)
[ -n "$jobs" ] && options+=(--jobs "$jobs")
[ -n "$sshloginfile" ] && options+=(--sshloginfile "$sshloginfile")

# Each shard appends its rows as it goes (--resume), so a stopped shard loses only the rows in
# flight and starts again where it stopped.
set +e
parallel "${options[@]}" -q "$cli" robustness "$@" --shard "{}/$shards" --jobs "$threads" --resume \
    --jsonl "$out/shards/shard-{}.jsonl" ::: $(seq 1 "$shards")
set -e

# A shard with exit code 1 has error rows, which are kept; any other failure stops here, and so
# does a shard killed by a signal (GNU parallel logs it with exit code 0 and the signal beside
# it). A shard run again logs a new line: its last line counts.
broken=$(awk -F'\t' 'NR > 1 { bad[$1] = ($7 != 0 && $7 != 1) || $8 != 0; command[$1] = $NF }
                     END { for (seq in bad) if (bad[seq]) print command[seq] }' "$joblog" | sort -u)
if [ -n "$broken" ]; then
    echo "robustness-parallel: some shards did not finish (see $joblog); run again with --resume:" >&2
    echo "$broken" >&2
    exit 2
fi
for i in $(seq 1 "$shards"); do
    [ -f "$out/shards/shard-$i.jsonl" ] || fail "shard $i left no rows file (see $joblog)"
done
# A shard file that ends inside a line was cut by a stopped run: the shard resumes its own file
# (dropping that line and computing its row again) before anything is merged, so that no cut
# line ends up inside the merged file.
for i in $(seq 1 "$shards"); do
    file="$out/shards/shard-$i.jsonl"
    if [ -s "$file" ] && [ "$(tail -c 1 "$file" | od -An -c | tr -d ' ')" != '\n' ]; then
        "$cli" robustness "$@" --shard "$i/$shards" --jobs "$threads" --resume --jsonl "$file" >/dev/null ||
            [ $? -eq 1 ] || fail "shard $i could not complete its rows file '$file'"
    fi
done

# The shards in order are the whole run in order.
merged="$out/.rows.jsonl.partial"
for i in $(seq 1 "$shards"); do cat "$out/shards/shard-$i.jsonl"; done >"$merged"
mv "$merged" "$out/rows.jsonl"

# With every row present this computes nothing: it checks that none is missing (computing any
# that is) and writes the CSV file and the report from the merged rows.
"$cli" robustness "$@" --resume --jsonl "$out/rows.jsonl" --csv "$out/rows.csv" --html "$out/report.html"
