#!/usr/bin/env bash
# Builds the Debian package of this machine's release, mivora_<version>~deb<N>_amd64.deb (N from
# /etc/os-release: mivora_1.0.0~deb12_amd64.deb on Debian 12, ~deb13 on Debian 13, each with the
# Depends of its release), into the repository's top folder, from a Release build of its own
# (build-package/, or MIVORA_PACKAGE_BUILD_DIR) with Debian's hardening flags; lintian must
# report neither an error nor a warning. Install it with: sudo apt install ./mivora_<version>_amd64.deb
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
build=${MIVORA_PACKAGE_BUILD_DIR:-$here/build-package}
# The flags dpkg-buildpackage gives with all hardening features (fortify, stack protector, relro,
# bind now), run from the top folder so that the file prefix map is the same every time.
cd "$here"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIVORA_BUILD_TESTS=OFF -DMIVORA_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/package/mivora_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/package/mivora_*.deb)
# lintian refuses to run as root without --allow-root.
lintian --allow-root --fail-on error,warning --tag-display-limit 0 "$deb"
cp "$deb" "$here/"
echo "built $here/$(basename "$deb")"
