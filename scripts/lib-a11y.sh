# Sourced by the accessibility test and benchmark: an X server (Xvfb) for the
# windows and the AT-SPI bus of the D-Bus session the caller runs in (start
# the caller under dbus-run-session; the bus is started on first use).

xvfb_pid=""

# a11y_missing: names what the accessibility runs need and this machine
# lacks; prints nothing when all is there.
a11y_missing() {
  local m=()
  command -v Xvfb >/dev/null || m+=(xvfb)
  command -v dbus-run-session >/dev/null && command -v dbus-send >/dev/null || m+=(dbus)
  [ -e /usr/share/dbus-1/services/org.a11y.Bus.service ] || m+=(at-spi2-core)
  /usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0"); from gi.repository import Atspi' \
    2>/dev/null || m+=(python3-gi gir1.2-atspi-2.0)
  echo "${m[*]}"
}

# start_xvfb DIR: an X server on a free display; exports DISPLAY.
start_xvfb() {
  local dir=$1 d
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/xvfb.display" 2>"$dir/xvfb.err" &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    d=$(head -n 1 "$dir/xvfb.display" 2>/dev/null || true)
    if [ -n "$d" ]; then
      export DISPLAY=":$d"
      return 0
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "Xvfb did not start:" >&2
  cat "$dir/xvfb.err" >&2
  return 1
}

# start_atspi_bus: starts the AT-SPI bus on the session bus, as a desktop
# session does at login. Qt waits for it to appear; it does not start it.
start_atspi_bus() {
  dbus-send --session --print-reply --reply-timeout=10000 --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress >/dev/null
}

stop_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  fi
}

# wait_for_line FILE TEXT SECONDS: true once FILE holds a line TEXT.
wait_for_line() {
  local i
  for i in $(seq 1 $(($3 * 10))); do
    grep -qx "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
