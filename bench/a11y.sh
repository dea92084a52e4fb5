#!/usr/bin/env bash
# A product backup run (frmQof, 200 files of 64 KiB, window shown on Xvfb)
# with accessibility on (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 and an AT-SPI
# listener that queries every event's source, as a screen reader does) and
# off, alternating, on one local vsftpd in one run. Prints the medians, their
# ratio, and the time a file takes among the first and the last 50 files.
# Plain FTP (CHAT.INI TLS=off): a TLS handshake per file would only hide
# what the window costs.
#   sudo bench/a11y.sh [runs]        (default 5; needs root for vsftpd)
# The build folder is $TOBRA_BUILD_DIR, else build/.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
runs=${1:-5}
files=200
size=65536

. scripts/lib-a11y.sh
missing=$(a11y_missing)
[ -z "$missing" ] || { echo "needs $missing (scripts/install-deps.sh installs them)" >&2; exit 1; }
# The AT-SPI bus belongs to a D-Bus session: run in a session of our own.
if [ -z "${TOBRA_A11Y_SESSION:-}" ]; then
  TOBRA_A11Y_SESSION=1 exec dbus-run-session -- bash "$0" "$@"
fi

build=${TOBRA_BUILD_DIR:-$top/build}
. bench/lib-bench.sh
driver=$(bench_driver "$build" a11y_bench)

. scripts/lib-ftpserver.sh
. scripts/lib-vsftpd.sh
make_work_dir tobra-a11y-bench
listener_pid=""
_a11y_cleanup() {
  if [ -n "$listener_pid" ]; then
    kill "$listener_pid" 2>/dev/null || true
    wait "$listener_pid" 2>/dev/null || true
  fi
  stop_xvfb
  _tobra_cleanup
}
trap _a11y_cleanup EXIT
trap "exit 1" TERM INT
mkdir -p "$work/ftp/uploads" "$work/ini" "$work/data"
start_local_vsftpd "$work/ftp"

printf '[PREFERENCES]\r\nTLS=off\r\n' >"$work/ini/CHAT.INI"
make_backup_product "$work/ini" "$work/data" "$files" "$size"

start_xvfb "$work"
start_atspi_bus
/usr/bin/python3 bench/tools/a11y_listener.py 3600 >"$work/listener.out" 2>"$work/listener.err" &
listener_pid=$!
wait_for_line "$work/listener.out" listening 20 || { echo "the AT-SPI listener did not start:" >&2; cat "$work/listener.err" >&2; exit 1; }

# run MODE: one backup; appends its whole time and its per-file means (first
# and last 50 files) to $work/MODE.txt.
run() {
  local mode=$1 out
  rm -rf "$work/ftp/uploads/QOFBenchCo"
  # The listener may still be working through the events of the last run.
  sleep 1
  local env=(env -u QT_LINUX_ACCESSIBILITY_ALWAYS_ON QT_QPA_PLATFORM=xcb TOBRA_WINDIR="$work/ini"
             TOBRA_SYSDIR="$work/ini" TOBRA_MAKER_HOST="127.0.0.1:$port")
  [ "$mode" = on ] && env+=(QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
  out=$(timeout 300 "${env[@]}" "$driver" 2>"$work/driver.err") || {
    echo "backup run ($mode) failed: $out" >&2; cat "$work/driver.err" >&2; exit 1; }
  # open_ms N run_ms N listed N sent N accessible 0|1, then file_us ...
  read -r _ open_ms _ run_ms _ listed _ sent _ accessible <<<"$(head -n 1 <<<"$out")"
  [ "$sent" = "$files" ] || { echo "backup ($mode) sent $sent of $listed files" >&2; exit 1; }
  local want=0
  [ "$mode" = on ] && want=1
  [ "$accessible" = "$want" ] || { echo "accessibility was not $mode in the $mode run" >&2; exit 1; }
  sed -n 's/^file_us //p' <<<"$out" | tr ' ' '\n' >"$work/files.txt"
  awk -v o="$open_ms" -v r="$run_ms" -v n="$files" '
    { t[NR] = $1 }
    END {
      for (i = 1; i <= 50; i++) a += t[i]
      for (i = n - 49; i <= n; i++) b += t[i]
      printf "%.3f %.2f %.2f\n", (o + r) / 1000, a / 50000, b / 50000
    }' "$work/files.txt" >>"$work/$mode.txt"
}

: >"$work/on.txt"; : >"$work/off.txt"
for i in $(seq 1 "$runs"); do
  # Alternating which goes first keeps a warming cache or a busy neighbour
  # from favouring one side.
  if [ $((i % 2)) = 1 ]; then run on; run off; else run off; run on; fi
done

col() { cut -d' ' -f"$2" "$work/$1.txt" | median; }
on=$(col on 1); off=$(col off 1)
echo "vsftpd 127.0.0.1:$port; $files files of $size bytes; window on Xvfb; median of $runs runs each"
printf 'accessibility on   %7.3f s   per file: first 50 %6.2f ms, last 50 %6.2f ms\n' "$on" "$(col on 2)" "$(col on 3)"
printf 'accessibility off  %7.3f s   per file: first 50 %6.2f ms, last 50 %6.2f ms\n' "$off" "$(col off 2)" "$(col off 3)"
printf 'ratio on/off       %7.2f\n' "$(awk -v a="$on" -v b="$off" 'BEGIN{print a/b}')"
kill "$listener_pid" 2>/dev/null || true
wait "$listener_pid" 2>/dev/null || true
listener_pid=""
echo "AT-SPI events the listener handled: $(sed -n 's/^events //p' "$work/listener.err")"
