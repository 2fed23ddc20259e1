#!/usr/bin/env bash
# Installs a build into a temporary prefix and builds examples/consumer against it as a caller
# would: through the CMake package (shared libraries, then static ones) and through
# pkg-config, and runs each on the bundled samples. Also compiles one file that includes every
# installed header, with nothing but the prefix's include folder, so that no installed header
# needs a private one or a path of the build tree.
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
     "$(count './lib*/libquillfen_*.a') static and $(count './lib*/libquillfen_*.so.*.*.*') shared libraries," \
     "$(count './lib*/quillfen/*.so') modules"

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
  run "find_package(Quillfen), $kind libraries" "$work/cmake-$kind/consumer"
done

export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name quillfen.pc)")
libdir=$(pkg-config --variable=libdir quillfen)
# pkg-config gives -L and -l; a prefix outside the loader's search needs its run path.
"$cxx" -std=c++20 -O2 "$here/examples/consumer/main.cpp" $(pkg-config --cflags --libs quillfen) \
  -Wl,-rpath,"$libdir" -o "$work/consumer-pkg-config"
run "pkg-config quillfen, shared libraries" "$work/consumer-pkg-config"
