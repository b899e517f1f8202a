#!/usr/bin/env bash
# Builds the Debian package of this machine's release, mivora_<version>~deb<N>_amd64.deb (N from
# /etc/os-release: mivora_1.0.0~deb12_amd64.deb on Debian 12, ~deb13 on Debian 13, each with the
# Depends of its release), into the repository's top folder; lintian must report neither an
# error nor a warning. Install it with: sudo apt install ./mivora_<version>_amd64.deb
#
#   package.sh              from a build of its own (build-package/, or MIVORA_PACKAGE_BUILD_DIR)
#   package.sh --from DIR   from the build in DIR, brought up to date: one that test.sh made
#                           (build/), whose flags are the package's; any other is refused
#
# Both build with Debian's hardening flags (scripts/package-flags.sh), so both give the same
# package.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
from=
if [ "${1:-}" = --from ]; then
    from=${2:?usage: package.sh [--from BUILD_DIR]}
    shift 2
fi
[ $# -eq 0 ] || { echo "usage: package.sh [--from BUILD_DIR]" >&2; exit 2; }
bash "$here/scripts/install-deps.sh"
. "$here/scripts/package-flags.sh"
package_build_flags "$here"
cd "$here"
if [ -n "$from" ]; then
    build=$(cd "$from" && pwd)
    # The build's cache against the package's flags: a sanitizer build, or one configured by
    # hand, would give another program.
    cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" 2>/dev/null; }
    for flag in "${build_flags[@]}" -DMIVORA_SANITIZE=OFF; do
        flag=${flag#-D}
        [ "$(cached "${flag%%=*}")" = "${flag#*=}" ] || {
            echo "package.sh: $build was not configured with the package's ${flag%%=*} (${flag#*=}): not packaged" >&2
            exit 1
        }
    done
    cmake --build "$build" -j "$(nproc)" --target mivora_installed packaging_files
else
    build=${MIVORA_PACKAGE_BUILD_DIR:-$here/build-package}
    cmake -S "$here" -B "$build" -G Ninja -DMIVORA_BUILD_TESTS=OFF -DMIVORA_BUILD_BENCH=OFF "${build_flags[@]}"
    cmake --build "$build" -j "$(nproc)"
fi
rm -f "$build"/package/mivora_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/package/mivora_*.deb)
# lintian refuses to run as root without --allow-root.
lintian --allow-root --fail-on error,warning --tag-display-limit 0 "$deb"
cp "$deb" "$here/"
echo "built $here/$(basename "$deb")"
