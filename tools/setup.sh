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
wine32=()
if sh "$(dirname "$0")/wine-bin/runs-32bit" >/dev/null; then
  wine32=(wine32:i386)
fi

missing=()
for p in "${packages[@]}" "${wine32[@]}"; do
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
if [[ ${#wine32[@]} -gt 0 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
# A mirror in the middle of a sync serves an index that does not match its
# release file; apt keeps the other lists and fails. Try once more a little
# later, then go on with the lists fetched: the install tells whether they
# are enough.
for try in 1 2; do
  errors=$(apt-get update -qq 2>&1 >/dev/null) && break
  if [[ $try == 1 ]]; then sleep 15; continue; fi
  echo "setup: apt-get update failed; going on with the package lists it fetched:" >&2
  grep '^E:' <<<"$errors" >&2 || true
done
apt_install() { apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
apt_install "${packages[@]}"
# 32-bit Wine needs i386 package lists that match the amd64 ones. Without it
# the tests run the x86_64 build under 64-bit Wine, so its lack is not fatal.
if [[ ${#wine32[@]} -gt 0 ]] && ! apt_install "${wine32[@]}" 2>/dev/null; then
  echo "setup: 32-bit Wine could not be installed from these package lists;" \
    "the Windows tests run the x86_64 build under 64-bit Wine" >&2
fi
# The posix thread model gives mingw std::thread and std::mutex.
update-alternatives --set i686-w64-mingw32-g++ /usr/bin/i686-w64-mingw32-g++-posix >/dev/null 2>&1 || true
update-alternatives --set i686-w64-mingw32-gcc /usr/bin/i686-w64-mingw32-gcc-posix >/dev/null 2>&1 || true
update-alternatives --set x86_64-w64-mingw32-g++ /usr/bin/x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || true
update-alternatives --set x86_64-w64-mingw32-gcc /usr/bin/x86_64-w64-mingw32-gcc-posix >/dev/null 2>&1 || true
