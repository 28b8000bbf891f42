#!/usr/bin/env bash
# Runs a command the way a screen reader meets the program: on a virtual display, with a private
# session bus and the accessibility bus behind it, whose status says that assistive technology
# is present. Exits 77 (skipped) only when that bus cannot be started here.
# Usage: run-on-accessibility-bus.sh COMMAND [ARGUMENTS...]
set -euo pipefail

for tool in xvfb-run dbus-run-session dbus-send /usr/libexec/at-spi-bus-launcher; do
  if ! command -v "$tool" > /dev/null; then
    echo "SKIP: $tool is not installed (scripts/setup.sh installs it)"
    exit 77
  fi
done

# The session bus starts the accessibility bus on demand.
exec xvfb-run -a -s "-screen 0 1024x768x24" dbus-run-session -- bash -c '
  if ! dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
       org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
       variant:boolean:true > /dev/null; then
    echo "SKIP: the accessibility bus could not be started"
    exit 77
  fi
  exec "$@"
' bash "$@"
