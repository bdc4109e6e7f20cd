#!/usr/bin/env bash
# Takes the README's screenshots.
#   scripts/screenshot.sh [output.png]
#       the main window under a virtual X server (default docs/main-window.png)
#   scripts/screenshot.sh --migrate-dialog [output.png]
#       the "Migrate Whole Source" dialog after a run, rendered offscreen by its window test
#       against a throw-away server (default docs/migrate-dialog.png)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KELDARA_BUILD_DIR:-$root/build}"

if [ "${1:-}" = --migrate-dialog ]; then
  out="$(realpath -m "${2:-$root/docs/migrate-dialog.png}")"
  bash "$root/scripts/install-deps.sh"
  bash "$root/scripts/build.sh" keldara_migrationdialog_tests
  export KELDARA_DB_STATE
  KELDARA_DB_STATE="$(mktemp -d)/mariadb"
  trap 'bash "$root/scripts/mariadb-server.sh" stop >/dev/null' EXIT
  eval "$(bash "$root/scripts/mariadb-server.sh" start | sed 's/^/export /')"
  mkdir -p "$(dirname "$out")"
  (cd "$root" && QT_QPA_PLATFORM=offscreen KELDARA_DIALOG_SCREENSHOT="$out" \
    "$build/tests/keldara_migrationdialog_tests" \
    --gtest_filter=MigrationDialogTest.MovesTheTickedTablesUnderTheirNames)
  [ -f "$out" ] || { echo "screenshot.sh: the test wrote no screenshot" >&2; exit 1; }
  echo "wrote $out"
  exit 0
fi

out="${1:-$root/docs/main-window.png}"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" keldara
mkdir -p "$(dirname "$out")"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" & app=$!
  sleep 4                                   # the splash hands over after two seconds
  id=$(xwininfo -root -tree | awk "/\"Tamrix Keldara\"/ {print \$1; exit}")
  import -window "${id:-root}" -frame "$2"
  kill $app
' _ "$build/keldara" "$out"
echo "wrote $out"
