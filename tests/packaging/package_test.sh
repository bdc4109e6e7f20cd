#!/usr/bin/env bash
# The Debian package as a user gets it: scripts/package.sh builds it from the build folder
# given, and it is unpacked (not installed) into a temporary folder, where its keldara-cli
# runs; its file list, dependencies, metainfo and lintian's verdict are checked.
#   package_test.sh BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

deb="$(KELDARA_BUILD_DIR="$1" KELDARA_PACKAGE_DIR="$work" bash "$root/scripts/package.sh")"
version="$(dpkg-deb -f "$deb" Version)"
[ "$(basename "$deb")" = "keldara_${version}_$(dpkg --print-architecture).deb" ] ||
  fail "the package is named $(basename "$deb")"

unpacked="$work/unpacked"
dpkg-deb -x "$deb" "$unpacked"
answer="$("$unpacked/usr/bin/keldara-cli" --version)" || fail "keldara-cli --version failed"
[ "$answer" = "keldara-cli $version" ] || fail "keldara-cli --version says '$answer'"
# The window program answers --version without a display.
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
answer="$("${no_display[@]}" "$unpacked/usr/bin/keldara" --version)" || fail "keldara --version failed"
[ "$answer" = "keldara $version" ] || fail "keldara --version says '$answer'"

expected="$work/expected"
cat >"$expected" <<LIST
usr/bin/keldara
usr/bin/keldara-cli
usr/bin/keldara-dump
usr/share/applications/keldara.desktop
usr/share/doc/keldara/changelog.gz
usr/share/doc/keldara/copyright
usr/share/icons/hicolor/scalable/apps/keldara.svg
usr/share/man/man1/keldara-cli.1.gz
usr/share/man/man1/keldara.1.gz
usr/share/metainfo/io.github.keldara.Keldara.metainfo.xml
usr/share/mime/packages/keldara-profile.xml
LIST
(cd "$unpacked" && find . -type f -printf '%P\n' | sort) >"$work/actual"
diff -u "$expected" "$work/actual" >&2 || fail "the package holds other files than listed"

# The man pages are the programs' own help.
zcat "$unpacked/usr/share/man/man1/keldara-cli.1.gz" | grep -q -F 'dry\-run' ||
  fail "keldara-cli(1) lacks the options of run"
zcat "$unpacked/usr/share/man/man1/keldara.1.gz" | grep -q 'PROFILE.pro' ||
  fail "keldara(1) lacks the profile argument"

depends="$(dpkg-deb -f "$deb" Depends)"
grep -q 'libqt6widgets6' <<<"$depends" || fail "no dependency on Qt Widgets: $depends"
grep -q 'libsecret-1-0' <<<"$depends" || fail "no dependency on the keyring's libsecret: $depends"
grep -q 'mariadb-server\|mysql-server' <<<"$depends" && fail "a server is a dependency: $depends"

appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.xml >&2 ||
  fail "appstreamcli finds the metainfo invalid"
lintian --fail-on error "$deb" >&2 || fail "lintian reports errors"

[ "$failures" -eq 0 ] && echo "The package $(basename "$deb") passes."
exit "$((failures > 0))"
