#!/usr/bin/env bash
# Takes a screenshot of the main window under a virtual X server, for the README.
#   scripts/screenshot.sh [output.png]   (default docs/main-window.png)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
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
' _ "${KELDARA_BUILD_DIR:-$root/build}/keldara" "$out"
echo "wrote $out"
