#!/usr/bin/env bash
# Installs the Debian packages Quillfen builds and tests with; skips what is already present.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libjpeg62-turbo-dev libpng-dev libhwy-dev
  libcli11-dev nlohmann-json3-dev libtbb-dev
  libgtest-dev libgmock-dev libbenchmark-dev libssl-dev
  clang libclang-rt-14-dev
  fonts-nanum
  parallel chromium
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
