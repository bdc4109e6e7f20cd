#!/usr/bin/env bash
# Runs a command beside a throw-away Secret Service: GNOME Keyring in a fresh home folder,
# its login keyring made and unlocked with a throw-away password. Run it inside its own
# session bus:  dbus-run-session -- bash scripts/keyring-session.sh COMMAND [ARG]...
set -euo pipefail

[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || {
  echo "keyring-session.sh: no session bus; run it under dbus-run-session" >&2
  exit 1
}
command -v gnome-keyring-daemon >/dev/null || {
  echo "keyring-session.sh: gnome-keyring-daemon is missing; run scripts/install-deps.sh" >&2
  exit 1
}

home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config"
export XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# --unlock reads the password on standard input and makes the login keyring with it.
eval "$(printf 'throw-away' | gnome-keyring-daemon --unlock --components=secrets)"
export GNOME_KEYRING_CONTROL
"$@"
