#!/usr/bin/env bash
# Installs what is missing, builds, checks the formatting and runs every test (CTest starts
# and stops the throw-away MariaDB server the MySQL tests need).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh

# Every C++ file must be as .clang-format writes it.
find src tests bench \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format --dry-run -Werror

bash scripts/build.sh

export QT_QPA_PLATFORM=offscreen

# The file readers once more under AddressSanitizer and UndefinedBehaviorSanitizer: damaged
# input must give rows or an error, never a memory fault.
asan_build="${KELDARA_ASAN_BUILD_DIR:-$root/build-asan}"
readers=()
for area in access dbase excel sheets text; do
  [ -d "tests/$area" ] && readers+=("keldara_${area}_tests")
done
if [ ${#readers[@]} -gt 0 ]; then
  cmake -S "$root" -B "$asan_build" -G Ninja -DKELDARA_ASAN=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$asan_build" --parallel "$(nproc)" --target keldara-dump "${readers[@]}"
  for reader in "${readers[@]}"; do
    echo "== $reader under AddressSanitizer"
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      "$asan_build/tests/$reader" --gtest_brief=1
  done
fi

ctest --test-dir "${KELDARA_BUILD_DIR:-$root/build}" --output-on-failure -j "$(nproc)"
