#!/usr/bin/env bash
# The functions the installed shared library exports, demangled, one a line (with -c, their
# count): what the README's count of the installed API is made of.
#   scripts/exported-functions.sh [-c] [LIBRARY]   (default build/lib/libquillfen.so)
# Functions only: text symbols (T, and W for inline and template functions emitted weak), not
# the type information, virtual tables and guard variables that exported classes bring.
set -euo pipefail
count=0
if [ "${1:-}" = -c ]; then count=1; shift; fi
library=${1:-build/lib/libquillfen.so}
[ -e "$library" ] || { echo "exported-functions.sh: no library '$library'" >&2; exit 2; }
list() { nm -D --defined-only "$library" | awk '$2 == "T" || $2 == "W" || $2 == "i" { $1 = ""; $2 = ""; sub(/^  /, ""); print }' | c++filt | sort -u; }
if [ "$count" = 1 ]; then list | wc -l; else list; fi
