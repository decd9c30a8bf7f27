#!/usr/bin/env bash
# Installs every system package that building, testing and demonstrating the
# launcher needs on a fresh Debian 12 machine. Idempotent: when everything is
# already there it prints nothing and exits 0.
set -euo pipefail

# Native build and tests.
PACKAGES=(
  cmake ninja-build g++ pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # Fuzzing the manifest reader.
  clang libclang-rt-14-dev
  # HTTP, XML, images and JSON of the foundation and the web view library.
  libcurl4-openssl-dev libssl-dev libexpat1-dev libpng-dev zlib1g-dev
  nlohmann-json3-dev libcpp-httplib-dev
  # The page renderer and the reference content server.
  chromium nginx
  # The launcher window and message boxes on Linux.
  libsdl2-dev
  # Windows cross build and running its tests.
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  mingw-w64-i686-dev wine wine32:i386
  # Tools the scripts use.
  procps psmisc python3 file coreutils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
