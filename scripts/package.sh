#!/usr/bin/env bash
# Builds the Debian package tobra_<version>_<arch>.deb (CPack; dependencies
# computed from the binaries) into OUT_DIR, by default dist/. The build tree
# is build-pkg/ (installed under /usr, no tests).
#
#   scripts/package.sh [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-dist}
build=build-pkg
bash scripts/install-deps.sh
bash scripts/install-packaging-deps.sh
# Debian's hardening flags, as a Debian build would pass them; no debugging
# information, since the package's files are stripped.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags=$(dpkg-buildflags --get CXXFLAGS | sed 's/\(^\| \)-g\( \|$\)/ /')
cmake --preset ci -B "$build" -DCMAKE_INSTALL_PREFIX=/usr -DTOBRA_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-DNDEBUG" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_MODULE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j2
rm -rf "$build/_cpack"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$PWD/$build/_cpack" >"$build/cpack.log" ||
  { cat "$build/cpack.log" >&2; exit 1; }
mkdir -p "$out"
debs=("$build"/_cpack/tobra_*.deb)
[ -f "${debs[0]}" ] || { echo "CPack made no package" >&2; exit 1; }
cp "${debs[@]}" "$out/"
for d in "${debs[@]}"; do echo "$out/$(basename "$d")"; done
