#!/usr/bin/env bash
# Configures and builds Keldara into build/ (or $KELDARA_BUILD_DIR): the targets named as
# arguments (e.g. keldara keldara-profile), or everything, tests and benchmarks included.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KELDARA_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$build" --parallel "$(nproc)" "${targets[@]}"
