# Cross build for 64-bit ARM boards (Debian arm64) on an amd64 Debian machine:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-arm64.cmake
# Debian's cross compiler (crossbuild-essential-arm64) against the multiarch :arm64
# libraries in /usr/lib/aarch64-linux-gnu, without a sysroot. Qt's moc, uic and rcc are
# the amd64 ones from qt6-base-dev-tools, which the arm64 Qt's CMake files name.
# scripts/deps.sh installs all of it (vantorel_install_arm64_deps).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Tests, test discovery and the manual pages' --help run the arm64 programs under qemu's
# user-mode emulator.
find_program(VANTOREL_QEMU_AARCH64 qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTOREL_QEMU_AARCH64})

# pkg-config reads the arm64 .pc files only (the amd64 ones name other libraries).
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
