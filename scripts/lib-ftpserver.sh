# Sourced by the demo and the benchmarks: a scratch folder and a local FTP
# server (127.0.0.1, login ftpuser / vintor) for one run, both removed when
# the script exits. Needs $top, the project folder.

work=""
server_pid=""
port=""

_tobra_cleanup() {
  if declare -F _tobra_vsftpd_cleanup >/dev/null; then _tobra_vsftpd_cleanup; fi
  if declare -F _tobra_proftpd_cleanup >/dev/null; then _tobra_proftpd_cleanup; fi
  _tobra_login_cleanup
  stop_local_ftp_server
  if [ -n "$work" ]; then rm -rf "$work"; fi
}

# make_work_dir NAME [BASE]: sets $work to a new folder under BASE (/tmp).
make_work_dir() {
  work=$(mktemp -d "${2:-/tmp}/$1.XXXXXX")
  trap _tobra_cleanup EXIT
}

# wait_listening PID PORT NAME LOG: waits up to 10 s for PID to listen on
# 127.0.0.1:PORT; otherwise says NAME did not start, shows LOG, returns 1.
wait_listening() {
  local hexport
  hexport=$(printf '%04X' "$2")
  for _ in $(seq 1 100); do
    grep -q "^ *[0-9]*: 0100007F:$hexport 00000000:0000 0A" /proc/net/tcp && return 0
    kill -0 "$1" 2>/dev/null || break
    sleep 0.1
  done
  echo "$3 did not start:" >&2
  cat "$4" >&2
  return 1
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
    # The server may not have made its output file yet.
    port=$(sed -n 's/^PORT \([0-9]*\)$/\1/p' "$work/server.out" 2>/dev/null | head -n 1 || true)
    if [ -n "$port" ]; then return 0; fi
    sleep 0.1
  done
  echo "The local FTP server did not start:" >&2
  cat "$work/server.err" >&2
  return 1
}

# stop_local_ftp_server: ends the server start_local_ftp_server started.
stop_local_ftp_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
  fi
}

# For the system servers (lib-vsftpd.sh, lib-proftpd.sh), root only.
_tobra_made_login=0

# take_system_login: the system login "ftpuser" / "vintor" without a shell,
# made for the run when missing and removed when the script ends. One script
# with a system server at a time on this machine, as they share the login:
# the lock (named after the first server that used it, so that older
# checkouts still wait for newer ones) is held until the script ends.
take_system_login() {
  if [ -z "${_tobra_login_locked:-}" ]; then
    exec 8>/tmp/tobra-vsftpd.lock
    flock -w 600 8 || { echo "another server run holds /tmp/tobra-vsftpd.lock" >&2; return 1; }
    _tobra_login_locked=1
  fi
  if ! id ftpuser >/dev/null 2>&1; then
    useradd --no-create-home --home-dir / --shell /usr/sbin/nologin ftpuser
    echo 'ftpuser:vintor' | chpasswd
    _tobra_made_login=1
  fi
}

# Removes the login take_system_login made, once no process runs as it.
_tobra_login_cleanup() {
  if [ "$_tobra_made_login" = 1 ]; then
    local uid
    uid=$(id -u ftpuser)
    for _ in $(seq 1 50); do
      grep -qs "^Uid:[[:space:]]*$uid[[:space:]]" /proc/[0-9]*/status || break
      sleep 0.1
    done
    userdel ftpuser 2>/dev/null || true
    _tobra_made_login=0
  fi
}

# descendants PID: every process below PID (a server's sessions), each
# listed before its own children.
descendants() {
  local c
  for c in $(cat /proc/"$1"/task/*/children 2>/dev/null); do
    echo "$c"
    descendants "$c"
  done
}

# run_measured COMMAND...: runs it with its output discarded and prints
# "wall_seconds cpu_seconds peak_rss_kib". CPU comes to the microsecond from
# the kernel's account of the process tree (GNU time's own 10 ms steps are too
# coarse for a small upload), the peak from GNU time, which forks from a small
# process where a fork of Python would count Python's memory. Fails as it does.
run_measured() {
  local rss_file
  rss_file=$(mktemp)
  /usr/bin/python3 - "$rss_file" "$@" <<'PY'
import os, subprocess, sys, time
rss_file, cmd = sys.argv[1], sys.argv[2:]
start = time.monotonic()
p = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", rss_file] + cmd, stdout=subprocess.DEVNULL)
_, status, ru = os.wait4(p.pid, 0)
wall = time.monotonic() - start
code = os.waitstatus_to_exitcode(status)
if code == 0:
    with open(rss_file) as f:
        print("%.4f %.4f %s" % (wall, ru.ru_utime + ru.ru_stime, f.read().split()[-1]))
sys.exit(code)
PY
  local rc=$?
  rm -f "$rss_file"
  return $rc
}

# median: the median of the numbers on standard input, one a line.
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
