#!/usr/bin/env bash
# Installs what is missing, builds, starts a throw-away MariaDB server and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
bash scripts/build.sh

export KELDARA_DB_STATE="${KELDARA_DB_STATE:-/tmp/keldara-mariadb-test-$$}"
trap 'bash scripts/mariadb-server.sh stop' EXIT
set -a
# shellcheck disable=SC1090
source <(bash scripts/mariadb-server.sh start)
set +a

export QT_QPA_PLATFORM=offscreen

# The file readers once more under AddressSanitizer and UndefinedBehaviorSanitizer: damaged
# input must give rows or an error, never a memory fault.
asan_build="${KELDARA_ASAN_BUILD_DIR:-$root/build-asan}"
readers=()
for area in access dbase excel text; do
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
