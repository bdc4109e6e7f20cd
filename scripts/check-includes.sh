#!/usr/bin/env bash
# Checks that includes point only downwards and never cross between rooms:
#   window -> rooms (source, target, mapping, transfer, profiles, dialogs) -> kit (shell)
#   -> platform; the command-line tools sit beside the window and never include it.
# Code outside a ui/ folder never includes a ui/ header (it builds without Qt Widgets).
# Prints every include that breaks a rule and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/../src"

rooms="source target mapping transfer profiles dialogs"

# The top folders a file in `folder` may include from.
allowed_for() {
  case "$1" in
    platform) echo "platform" ;;
    shell) echo "shell platform" ;;
    window) echo "window $rooms shell platform" ;;
    tools) echo "tools $rooms shell platform" ;;
    main.cpp) echo "window $rooms shell platform" ;;
    *) echo "$1 shell platform" ;;  # a room: itself and the floors below
  esac
}

broken=0
while IFS= read -r file; do
  folder="${file%%/*}"
  allowed=" $(allowed_for "$folder") "
  while IFS= read -r line; do
    target="$(sed -E 's/^[0-9]+:#include "([^"]+)".*/\1/' <<<"$line")"
    top="${target%%/*}"
    [ "$top" = "$target" ] && continue  # a header beside the file
    if [[ "$allowed" != *" $top "* ]]; then
      echo "src/$file:${line%%:*}: includes $target (a $folder file may include only:$allowed)"
      broken=1
    elif [[ "$file" != */ui/* && "$file" != main.cpp && "$target" == */ui/* ]]; then
      echo "src/$file:${line%%:*}: includes $target (widget code, from outside a ui/ folder)"
      broken=1
    fi
  done < <(grep -n '^#include "' "$file" || true)
done < <(find . -name '*.cpp' -o -name '*.h' | sed 's#^\./##' | sort)

[ "$broken" = 0 ] && echo "every include points downwards"
exit "$broken"
