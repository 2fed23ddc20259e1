#!/usr/bin/env bash
# Installs the Debian packages Quillfen needs for a purpose, and nothing more; skips what is
# already present. Usage: install-deps.sh [GROUP...]; no group means all of them. Each Make
# target asks for the groups it uses, so `make demo` on a new machine waits for the few
# packages of the command-line program and not for test, fuzzing or cross-build tools.
#
#   demo       build the core and quillfen-cli and run `make demo` (BMP files go through Qt's
#              image I/O, a module the CLI loads; the demo registers nothing, so no OpenCV)
#   gui        the desktop program (`make run`), with the fonts of its Korean texts, Qt's
#              translation tools (lrelease compiles its English texts, lupdate checks them) and
#              the registration module (OpenCV)
#   test       everything `make test` and `make asan` build and run: the desktop program, the
#              tests and benchmarks, and the programs the round-trip tests and scripts call
#              (among them Python with numpy, for the external method of examples/methods/,
#              and zsh, fish and man, which read quillfen-cli's completions and manual pages)
#   bench      the benchmark programs (`make bench`), with OpenCV for `make bench-compare`
#   consumer   the libraries installed and built into examples/consumer (`make consumer`),
#              with the registration module it loads (OpenCV)
#   fuzz       the libFuzzer targets (clang)
#   gui-smoke  the desktop program under Xvfb with a window manager (openbox), driven by xdotool
#   docs       the pictures of the documentation: screenshots and the report through Chromium
#   arm64      the cross build of the core and its tests, run under qemu (the arm64 libraries
#              come from Debian's multiarch packages)
#   python     the Python package `quillfen` (`make python`, `pip install .`) with the
#              registration module (OpenCV), and its tests: pybind11, numpy, pytest, setuptools;
#              and, if they can be installed, pandas, matplotlib, Dask's distributed scheduler
#              and tqdm for the parts that use them (rows as a data frame, the example's plot,
#              sweeps on a cluster, progress=True's bar; their tests are skipped without them)
#   photos     camera photographs under free licences, for the benchmarks and the slow tests on
#              whole pictures (scripts/photos.sh lists them); never copied into the repository
set -euo pipefail

all_groups=(demo gui test bench consumer fuzz gui-smoke docs arm64 python photos)

# Native packages of each group. A group lists what it needs itself, also what another group
# has, so that each can be installed alone.
group_packages() {
  local core=(build-essential cmake ninja-build pkg-config
              libjpeg62-turbo-dev libpng-dev libhwy-dev libcli11-dev nlohmann-json3-dev
              libtbb-dev libssl-dev qt6-base-dev)
  local gui=(qt6-charts-dev libqt6opengl6-dev libgl-dev fonts-nanum libopencv-imgproc-dev libopencv-video-dev
             qt6-l10n-tools qt6-tools-dev zlib1g-dev)
  case "$1" in
    demo) echo "${core[*]}" ;;
    gui) echo "${core[*]} ${gui[*]}" ;;
    test) echo "${core[*]} ${gui[*]} libgtest-dev libgmock-dev libbenchmark-dev
                libjpeg-turbo-progs imagemagick parallel python3-numpy zsh fish man-db" ;;
    bench) echo "${core[*]} libbenchmark-dev libopencv-imgproc-dev" ;;
    consumer) echo "${core[*]} libopencv-imgproc-dev libopencv-video-dev" ;;
    fuzz) echo "${core[*]} clang libclang-rt-14-dev" ;;
    gui-smoke) echo "${core[*]} ${gui[*]} xvfb xdotool openbox" ;;
    docs) echo "${core[*]} ${gui[*]} chromium" ;;
    python) echo "${core[*]} libopencv-imgproc-dev libopencv-video-dev python3-dev pybind11-dev python3-numpy
                  python3-pytest python3-setuptools python3-wheel python3-pip python3-venv" ;;
    photos) echo "lomiri-wallpapers-16.04 lomiri-wallpapers-20.04 gnome-backgrounds mate-backgrounds plasma-workspace-wallpapers" ;;
    arm64) echo "g++-aarch64-linux-gnu qemu-user-static cmake ninja-build pkg-config
                 libcli11-dev nlohmann-json3-dev" ;;
    *) echo "install-deps.sh: unknown group '$1' (groups: ${all_groups[*]})" >&2; return 2 ;;
  esac
}

# Packages of the arm64 architecture (multiarch) of each group.
foreign_packages() {
  case "$1" in
    arm64) echo "libjpeg62-turbo-dev libpng-dev libhwy-dev libtbb-dev libgtest-dev libgmock-dev
                 libssl-dev libopencv-imgproc-dev libopencv-video-dev" ;;
    *) echo "" ;;
  esac
}

# Packages a group can do without (the parts that use them say so, their tests are skipped):
# tried after the others, and a failure to install them is a note, not an error.
optional_packages() {
  case "$1" in
    python) echo "python3-pandas python3-matplotlib python3-distributed python3-tqdm" ;;
    *) echo "" ;;
  esac
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

groups=("$@")
if [ ${#groups[@]} -eq 0 ]; then groups=("${all_groups[@]}"); fi

missing=()
optional=()
foreign=false
for group in "${groups[@]}"; do
  for p in $(optional_packages "$group"); do
    installed "$p" || optional+=("$p")
  done
  native=$(group_packages "$group") || exit 2
  for p in $native; do
    installed "$p" || missing+=("$p")
  done
  for p in $(foreign_packages "$group"); do
    installed "$p:arm64" || { missing+=("$p:arm64"); foreign=true; }
  done
done
# A package named by several groups is installed once.
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | awk 'NF && !seen[$0]++')
mapfile -t optional < <(printf '%s\n' "${optional[@]}" | awk 'NF && !seen[$0]++')
if [ ${#missing[@]} -eq 0 ] && [ ${#optional[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
if $foreign && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  $SUDO dpkg --add-architecture arm64
fi
$SUDO apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing (${groups[*]}): ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ${#optional[@]} -gt 0 ]; then
  echo "Installing, if it can (${groups[*]}): ${optional[*]}"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${optional[@]}" ||
    echo "note: ${optional[*]} not installed; what needs them is skipped" >&2
fi
