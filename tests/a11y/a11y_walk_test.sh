#!/usr/bin/env bash
# Every window of the program as a screen reader meets it: starts Xvfb and
# the AT-SPI bus in a D-Bus session of its own, shows every window at once
# (a11y_windows) with accessibility on, and walks their accessible trees
# (a11y_walk.py): a focusable control without a name, an untitled grid
# column, a status panel not announced by its text, or a message box not
# announced with its text fails the test.
#   a11y_walk_test.sh A11Y_WINDOWS
# Exits 77 (skipped) only when Xvfb, D-Bus or AT-SPI is not installed.
set -euo pipefail
helper=$1
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
. "$top/scripts/lib-a11y.sh"
missing=$(a11y_missing)
if [ -n "$missing" ]; then
  echo "SKIP: needs $missing (scripts/install-deps.sh installs them)"
  exit 77
fi
if [ -z "${TOBRA_A11Y_SESSION:-}" ]; then
  TOBRA_A11Y_SESSION=1 exec timeout 90 dbus-run-session -- bash "$0" "$@"
fi

work=$(mktemp -d /tmp/tobra-a11y.XXXXXX)
helper_pid=""
cleanup() {
  if [ -n "$helper_pid" ]; then
    kill "$helper_pid" 2>/dev/null || true
    wait "$helper_pid" 2>/dev/null || true
  fi
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 1" TERM INT

start_xvfb "$work"
start_atspi_bus
# Under the sanitizers: the X keyboard library hands strndup names that end
# at their length, not at a NUL, which strict string checks take for an
# overflow; the check stays on for everything else.
asan_options=${ASAN_OPTIONS:-}
asan_options=${asan_options//strict_string_checks=1/strict_string_checks=0}
# The INI folders point into the scratch folder: nothing of the user's is read.
ASAN_OPTIONS=$asan_options QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
  TOBRA_WINDIR="$work" TOBRA_SYSDIR="$work" "$helper" >"$work/helper.out" 2>"$work/helper.err" &
helper_pid=$!
for _ in $(seq 1 200); do
  grep -q '^panel Ready$' "$work/helper.out" && break
  kill -0 "$helper_pid" 2>/dev/null || break
  sleep 0.1
done
message=$(sed -n 's/^message //p' "$work/helper.out")
mapfile -t panels < <(sed -n 's/^panel //p' "$work/helper.out")
if [ -z "$message" ]; then
  echo "a11y_windows did not start:" >&2
  cat "$work/helper.err" >&2
  exit 1
fi
status=0
for view in hidden-list hidden-grid; do
  read -r _ _ rows _ announced _ noisy <<<"$(grep "^$view " "$work/helper.out")"
  # Each new row is a model change, announced; that shows accessibility is on.
  if [ "$announced" -lt "$rows" ] || [ "$noisy" != 0 ]; then
    echo "$view: $announced model changes for $rows new rows (accessibility off?), $noisy focus or selection changes (want 0)"
    status=1
  fi
done
/usr/bin/python3 "$here/a11y_walk.py" "$(basename "$helper")" 6 30 "$message" "${panels[@]}" || status=1
exit "$status"
