#!/usr/bin/env bash
# Builds the release into dist/: the installer, the two plug-ins and the
# agent, optimised and stripped, with their debug information kept beside
# them in dist/debug/ for crash reports, and SHA256SUMS over all of it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh"
build="$root/build-release"
dist="$root/dist"
version=$(sed -n 's/^project(orvela VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[[ -n "$version" ]] || { echo "release: no project version in CMakeLists.txt" >&2; exit 1; }

mkdir -p "$build"
log="$build/release.log"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVELA_WIN_TESTS=OFF >"$log" 2>&1
cmake --build "$build" -j"$(nproc)" >>"$log" 2>&1 || { tail -n 40 "$log"; exit 1; }

rm -rf "$dist"
mkdir -p "$dist/debug"
objcopy=i686-w64-mingw32-objcopy
for f in gen_orvela.dll in_orvela.dll orvela_agent.exe start_as_user.exe; do
  [[ -f "$build/bin/$f" ]] || { echo "release: $f was not built" >&2; exit 1; }
  "$objcopy" --only-keep-debug "$build/bin/$f" "$dist/debug/$f.debug"
  "$objcopy" --strip-all --add-gnu-debuglink="$dist/debug/$f.debug" "$build/bin/$f" "$dist/$f"
done
makensis -V2 -DVERSION="$version" -DTARGET=x86-unicode -DBINARIES="$dist" \
  -DOUTFILE="$dist/orvela-setup-$version.exe" "$root/installer/orvela.nsi"
(cd "$dist" && sha256sum -- *.exe *.dll debug/* >SHA256SUMS)
ls -l "$dist" "$dist/debug"
