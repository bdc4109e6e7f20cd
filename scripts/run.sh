#!/usr/bin/env bash
# Installs what is missing, builds and starts Keldara. A local MariaDB server with a small
# sample database is started beside it, and its connection details are printed, so the
# whole flow can be tried at once; it stops when Keldara ends.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
# Only what this script runs: the test command builds the tests and benchmarks.
bash scripts/build.sh keldara keldara-profile
build="${KELDARA_BUILD_DIR:-$root/build}"
profile=""

export KELDARA_DB_STATE="${KELDARA_DB_STATE:-/tmp/keldara-mariadb-demo}"
trap 'bash scripts/mariadb-server.sh stop' EXIT
if server_env="$(bash scripts/mariadb-server.sh start --sample)"; then
  eval "$server_env"
  cat <<INFO
A local MySQL-compatible server is running for you to try Keldara with:
  Target MySQL Server Name: $KELDARA_MYSQL_HOST
  UserName:                 $KELDARA_MYSQL_USER
  Password:                 $KELDARA_MYSQL_PASSWORD
  Port:                     $KELDARA_MYSQL_PORT
  Sample database:          keldara_sample
Sample source files are in $root/samples.
INFO
  # A profile for this server and the sample file: Keldara opens with it, so only "Open" and
  # "Connect" are left to press.
  profile="$build/keldara-sample.pro"
  "$build/keldara-profile" "$profile" --source-file "$root/samples/customers.csv" \
    --source-table customers.csv --server "$KELDARA_MYSQL_HOST" --port "$KELDARA_MYSQL_PORT" \
    --user "$KELDARA_MYSQL_USER" --password "$KELDARA_MYSQL_PASSWORD" \
    --database keldara_sample --table customers
  echo "Keldara opens with the profile $profile (Source Data: Open; Target Data: Connect)."
else
  echo "The local MariaDB server could not be started (see above); Keldara starts without it." >&2
fi
"$build/keldara" ${profile:+"$profile"}
