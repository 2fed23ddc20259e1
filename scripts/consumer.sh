#!/usr/bin/env bash
# Installs a build into a temporary prefix and builds examples/consumer against it as a caller
# would: through the CMake package (shared library, then static one) and through pkg-config
# (shared, and static from a prefix holding only the static library), and runs each on the
# bundled samples. Also compiles one file that includes every installed header, with nothing
# but the prefix's include folder, so that no installed header needs a private one or a path
# of the build tree; checks that the shared library exports at most 150 functions and none of
# the engine's own; and builds and runs every C++ program of docs/api.md, so that the page
# stays true.
#   scripts/consumer.sh [BUILD] [HOST]   (HOST: a picture to mark, default samples/camera-512.bmp)
# CXX names the compiler and CMAKE_GENERATOR the consumer's build tool, as for CMake itself.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
host=${2:-$here/samples/camera-512.bmp}
mark=$here/samples/seal-128.pgm
cxx=${CXX:-c++}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillfen-consumer.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
# Only the prefix may provide the modules.
unset QUILLFEN_MODULE_PATH

cmake --install "$build" --prefix "$prefix" >/dev/null
count() { (cd "$prefix" && find . -path "$1" | wc -l); }
echo "installed into a temporary prefix: $(count './include/quillfen/*.h') headers," \
     "$(count './lib*/libquillfen.a') static and $(count './lib*/libquillfen.so.*.*.*') shared library," \
     "$(count './lib*/quillfen/*.so') modules"

# The installed API: what the shared library exports, and what it must keep to itself.
shared_library=$(find "$prefix" -name 'libquillfen.so.*.*.*' | head -n 1)
exported=$(bash "$here/scripts/exported-functions.sh" "$shared_library")
functions=$(printf '%s\n' "$exported" | grep -c .)
echo "the shared library exports $functions functions"
if [ "$functions" -gt 150 ]; then
  echo "consumer: $functions exported functions, more than the 150 the installed API may have" >&2
  exit 1
fi
if leaked=$(printf '%s\n' "$exported" | grep -E '^(quillfen::)?(TWatermark|Experiment|TRixIPA|RunSweep|Calibrate)\b|^std::|^hwy::'); then
  echo "consumer: the shared library exports the engine's own functions:" >&2
  printf '%s\n' "$leaked" | head -n 5 >&2
  exit 1
fi
if grep -rlE '\b(TWatermark|TestAccess|WorkspaceBuffers)\b' "$prefix/include" >&2; then
  echo "consumer: installed headers name the workspace or its test hooks" >&2
  exit 1
fi

(cd "$prefix/include" && find quillfen -name '*.h' | sort | sed 's/.*/#include <&>/') >"$work/all_headers.cpp"
"$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I"$prefix/include" "$work/all_headers.cpp"
echo "every installed header compiles from the prefix alone"

run() {  # run NAME PROGRAM
  echo "$1:"
  "$2" "$host" "$mark" | sed 's/^/  /'
}
for kind in shared static; do
  static=OFF
  [ "$kind" = static ] && static=ON
  cmake -S "$here/examples/consumer" -B "$work/cmake-$kind" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$cxx" \
        -DCMAKE_PREFIX_PATH="$prefix" -DQuillfen_USE_STATIC_LIBS=$static >/dev/null
  cmake --build "$work/cmake-$kind" >/dev/null
  run "find_package(Quillfen), $kind library" "$work/cmake-$kind/consumer"
done

export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name quillfen.pc)")
libdir=$(pkg-config --variable=libdir quillfen)
# pkg-config gives -L and -l; a prefix outside the loader's search needs its run path.
"$cxx" -std=c++20 -O2 "$here/examples/consumer/main.cpp" $(pkg-config --cflags --libs quillfen) \
  -Wl,-rpath,"$libdir" -o "$work/consumer-pkg-config"
run "pkg-config quillfen, shared library" "$work/consumer-pkg-config"
readelf -d "$work/consumer-pkg-config" | grep -q 'NEEDED.*libquillfen\.so' || {
  echo "consumer: the pkg-config program does not load libquillfen.so" >&2; exit 1; }

# A prefix with the static library alone (as -DQF_SHARED_LIBS=OFF installs): pkg-config --static
# alone must then give a program that needs no Quillfen library at run time.
static_prefix=$work/static-prefix
cp -a "$prefix" "$static_prefix"
find "$static_prefix" -name 'libquillfen.so*' -delete
PKG_CONFIG_PATH=$(dirname "$(find "$static_prefix" -name quillfen.pc)") \
  "$cxx" -std=c++20 -O2 "$here/examples/consumer/main.cpp" \
  $(PKG_CONFIG_PATH=$(dirname "$(find "$static_prefix" -name quillfen.pc)") pkg-config --static --cflags --libs quillfen) \
  -o "$work/consumer-pkg-config-static"
if readelf -d "$work/consumer-pkg-config-static" | grep -q 'NEEDED.*libquillfen'; then
  echo "consumer: pkg-config --static gave a program that loads libquillfen.so" >&2; exit 1
fi
run "pkg-config --static quillfen, static library" "$work/consumer-pkg-config-static"
# With both kinds in the prefix, a static link names the archive.
"$cxx" -std=c++20 -O2 "$here/examples/consumer/main.cpp" $(pkg-config --cflags quillfen) \
  -L"$libdir" -Wl,-Bstatic -lquillfen -Wl,-Bdynamic $(pkg-config --static --libs-only-other --libs-only-l quillfen | sed 's/-lquillfen //') \
  -o "$work/consumer-pkg-config-both"
if readelf -d "$work/consumer-pkg-config-both" | grep -q 'NEEDED.*libquillfen'; then
  echo "consumer: -Wl,-Bstatic -lquillfen gave a program that loads libquillfen.so" >&2; exit 1
fi
run "pkg-config --static quillfen with -Wl,-Bstatic, static library" "$work/consumer-pkg-config-both"

# Every C++ block of docs/api.md is a whole program, built against the prefix and run from the
# repository's top folder, where the samples it reads are.
bash "$here/scripts/doc-programs.sh" "$here/docs/api.md" "$work/doc-programs" \
  -std=c++20 -Wall -Wextra -Werror $(pkg-config --cflags --libs quillfen) -Wl,-rpath,"$libdir"
