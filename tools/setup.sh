#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12.
# Idempotent: when every package is present it only checks and returns.
set -euo pipefail

packages=(
  cmake make g++ clang clang-format libclang-rt-14-dev git
  googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth x11-apps imagemagick
  iproute2 util-linux nsis pulseaudio pulseaudio-utils
)
# The tests run the delivered 32-bit build under 32-bit Wine wherever this
# machine runs 32-bit code; elsewhere the package would install but never
# start, so it is left out there.
runs32=0
if sh "$(dirname "$0")/wine-bin/runs-32bit" >/dev/null; then
  runs32=1
  packages+=(wine32:i386)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "setup: installing ${missing[*]}" >&2
if [[ $(id -u) -ne 0 ]]; then
  echo "setup: must run as root to install packages" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if [[ $runs32 == 1 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq >/dev/null
apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
# The posix thread model gives mingw std::thread and std::mutex.
update-alternatives --set i686-w64-mingw32-g++ /usr/bin/i686-w64-mingw32-g++-posix >/dev/null 2>&1 || true
update-alternatives --set i686-w64-mingw32-gcc /usr/bin/i686-w64-mingw32-gcc-posix >/dev/null 2>&1 || true
update-alternatives --set x86_64-w64-mingw32-g++ /usr/bin/x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || true
update-alternatives --set x86_64-w64-mingw32-gcc /usr/bin/x86_64-w64-mingw32-gcc-posix >/dev/null 2>&1 || true
