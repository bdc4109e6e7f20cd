#!/usr/bin/env bash
# Writes the man page of a Keldara program from its own --help and --version, so the page
# cannot drift from the help.
#   man-page.sh PROGRAM "one-line description" OUT.1 [COMMAND]...
# Each COMMAND's own help (PROGRAM COMMAND --help) becomes a section of its own.
set -euo pipefail
program="$1" description="$2" out="$3"
shift 3
include="$(mktemp)"
trap 'rm -f "$include"' EXIT
# Each page points to the other program's.
case "$(basename "$program")" in
  keldara) other='keldara\-cli' ;;
  *) other=keldara ;;
esac
printf '[SEE ALSO]\n.BR %s (1)\n' "$other" >"$include"
for command in "$@"; do
  printf '[%s]\n.nf\n' "OPTIONS OF ${command^^}" >>"$include"
  # Backslashes and lines starting with a dot or quote would be read as roff requests; a
  # hyphen is written as roff's minus sign, as help2man writes the options.
  "$program" "$command" --help |
    sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/" -e 's/-/\\-/g' >>"$include"
  printf '.fi\n' >>"$include"
done
help2man --no-info --section=1 --name="$description" --include="$include" \
  --output="$out" "$program"
