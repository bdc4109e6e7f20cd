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
ctest --test-dir "${KELDARA_BUILD_DIR:-$root/build}" --output-on-failure -j "$(nproc)"
