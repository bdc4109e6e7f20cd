#!/usr/bin/env bash
# Builds the Debian package keldara_<version>_<arch>.deb with CPack: the programs, desktop
# entry, profile MIME type, icon, AppStream metainfo and man pages. Builds only what the
# package holds, in build/ (or $KELDARA_BUILD_DIR); the package goes to that folder too (or
# to $KELDARA_PACKAGE_DIR). Prints the package's path on standard output, all else on
# standard error.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KELDARA_BUILD_DIR:-$root/build}"
out="${KELDARA_PACKAGE_DIR:-$build}"

bash "$root/scripts/install-deps.sh" >&2
# A build folder that exists is reused as it is configured (CMake configures it again when a
# CMakeLists.txt changed), unless it was configured before help2man was installed.
cache="$build/CMakeCache.txt"
if [ ! -f "$cache" ] || grep -q '^HELP2MAN:FILEPATH=.*NOTFOUND' "$cache"; then
  cmake -S "$root" -B "$build" -G Ninja >&2
fi
cmake --build "$build" --parallel "$(nproc)" \
  --target keldara keldara-cli keldara-dump keldara_package_files >&2
mkdir -p "$out"
report="$(cd "$build" && cpack -G DEB -B "$out")"
rm -rf "$out/_CPack_Packages"
echo "$report" >&2
sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$report"
