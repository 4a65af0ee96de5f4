#!/usr/bin/env bash
# Runs a program on a D-Bus session of its own with an unlocked gnome-keyring in a temporary home,
# so that tests of the desktop's keyring never see or touch the user's. Exits 77 (skipped) where
# dbus-run-session or gnome-keyring-daemon is missing.
set -euo pipefail
for tool in dbus-run-session gnome-keyring-daemon; do
    command -v "$tool" >/dev/null || { echo "$tool fehlt: übersprungen" >&2; exit 77; }
done
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
export HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
dbus-run-session -- bash -c \
    'printf kennwort | gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null &&
     exec "$@"' keyring "$@"
