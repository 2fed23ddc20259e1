#!/usr/bin/env bash
# Installs what the ARM64 (aarch64) build of the core, the CLI and their tests needs on a
# Debian x86-64 machine: the cross compiler, the arm64 packages of the libraries the core
# links (multiarch) and qemu to run the tests. The desktop program is not built for ARM64, so
# no Qt packages are needed. Skips what is already present; `make test-arm64` calls it.
set -euo pipefail
native=(g++-aarch64-linux-gnu qemu-user-static cmake ninja-build libcli11-dev nlohmann-json3-dev)
foreign=(libjpeg62-turbo-dev libpng-dev libhwy-dev libtbb-dev libgtest-dev libgmock-dev libssl-dev)
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
missing=()
for p in "${native[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
for p in "${foreign[@]}"; do
  dpkg-query -W -f='${Status}' "$p:arm64" 2>/dev/null | grep -q "install ok installed" || missing+=("$p:arm64")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
  $SUDO dpkg --add-architecture arm64
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
