# Cross build for ARM64 Linux with Debian's cross compiler and the arm64 (multiarch) packages
# of the libraries; the tests run under qemu. Used by `make test-arm64`, which installs what
# it needs with `scripts/install-deps.sh arm64`.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Multiarch: the arm64 libraries and their CMake files are under /usr/lib/aarch64-linux-gnu.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# Test programs (and the listing of their tests at build time) run through the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
# Libraries found through pkg-config (OpenSSL among them) must come from the arm64 files too.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
