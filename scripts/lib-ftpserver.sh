# Sourced by the demo and the benchmarks: a scratch folder and a local FTP
# server (127.0.0.1, login ftpuser / vintor) for one run, both removed when
# the script exits. Needs $top, the project folder.

work=""
server_pid=""
port=""

_tobra_cleanup() {
  if declare -F _tobra_vsftpd_cleanup >/dev/null; then _tobra_vsftpd_cleanup; fi
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  if [ -n "$work" ]; then rm -rf "$work"; fi
}

# make_work_dir NAME [BASE]: sets $work to a new folder under BASE (/tmp).
make_work_dir() {
  work=$(mktemp -d "${2:-/tmp}/$1.XXXXXX")
  trap _tobra_cleanup EXIT
}

# start_local_ftp_server ROOT [server options]: sets $server_pid and $port.
start_local_ftp_server() {
  local root=$1
  shift
  mkdir -p "$root"
  /usr/bin/python3 "$top/tests/harness/ftpserver.py" --root "$root" --port 0 "$@" \
    >"$work/server.out" 2>"$work/server.err" &
  server_pid=$!
  for _ in $(seq 1 100); do
    port=$(sed -n 's/^PORT \([0-9]*\)$/\1/p' "$work/server.out" | head -n 1)
    if [ -n "$port" ]; then return 0; fi
    sleep 0.1
  done
  echo "The local FTP server did not start:" >&2
  cat "$work/server.err" >&2
  return 1
}

# median: the median of the numbers on standard input, one a line.
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
