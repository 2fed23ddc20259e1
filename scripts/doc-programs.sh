#!/usr/bin/env bash
# Builds and runs every ```cpp block of a Markdown page as a program of its own, so that what a
# page teaches compiles and does what it says (a block's exit status is its check).
#   scripts/doc-programs.sh PAGE WORK COMPILER-FLAGS...
# Each block N goes to WORK/program-N.cpp, is compiled with $CXX (default c++) and the flags
# given, and run from the repository's top folder. Fails naming the block's first line on the
# page when one does not compile or exits other than 0, and when the page has no block.
set -euo pipefail
page=$1 work=$2
shift 2
cxx=${CXX:-c++}
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$work"
# A block starts at a line "```cpp" and ends at the next "```"; its programs are numbered in
# page order, and each remembers the line it starts on.
awk -v work="$work" '
  /^```cpp[ \t]*$/ { n++; inside = 1; file = work "/program-" n ".cpp"; print NR > (work "/line-" n); printf "" > file; next }
  inside && /^```/ { inside = 0; close(file); next }
  inside { print > file }
' "$page"
programs=$(find "$work" -name 'program-*.cpp' | wc -l)
if [ "$programs" -eq 0 ]; then
  echo "doc-programs: $page has no C++ block" >&2
  exit 1
fi
for ((n = 1; n <= programs; n++)); do
  where="$page:$(cat "$work/line-$n")"
  if ! "$cxx" "$work/program-$n.cpp" "$@" -o "$work/program-$n" 2>"$work/compile-$n.log"; then
    echo "doc-programs: the block at $where does not compile:" >&2
    head -n 20 "$work/compile-$n.log" >&2
    exit 1
  fi
  if ! (cd "$here" && "$work/program-$n") >"$work/run-$n.log" 2>&1; then
    echo "doc-programs: the block at $where failed:" >&2
    cat "$work/run-$n.log" >&2
    exit 1
  fi
  echo "docs: the program at $where builds and runs"
  sed 's/^/  /' "$work/run-$n.log"
done
