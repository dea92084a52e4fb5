# Sourced after lib-ftpserver.sh: proftpd on 127.0.0.1 with
# docs/server/proftpd.conf, the server that can prove an upload by its
# checksum. Debian's proftpd package cannot be installed beside vsftpd (they
# conflict), so its packages are fetched with apt-get download into
# $proftpd_cache ($TOBRA_PROFTPD_CACHE, else /var/cache/tobra-proftpd) and
# run from there, unpacked, never installed. Needs root (the system login
# "ftpuser" / "vintor", proftpd's chroot).

proftpd_cache=${TOBRA_PROFTPD_CACHE:-/var/cache/tobra-proftpd}
proftpd_pid=""

stop_local_proftpd() {
  if [ -n "$proftpd_pid" ]; then
    local kids k
    kids=$(descendants "$proftpd_pid")
    kill -TERM "$proftpd_pid" 2>/dev/null || true
    for k in $kids; do kill -KILL "$k" 2>/dev/null || true; done
    wait "$proftpd_pid" 2>/dev/null || true
    proftpd_pid=""
  fi
}

_tobra_proftpd_cleanup() { stop_local_proftpd; }

# fetch_proftpd: $proftpd_cache/root holds proftpd-core (mod_digest) and
# proftpd-mod-crypto (mod_tls) unpacked; kept for later runs.
fetch_proftpd() {
  local tree=$proftpd_cache/root
  [ -x "$tree/usr/sbin/proftpd" ] && [ -e "$tree/usr/lib/proftpd/mod_tls.so" ] && return 0
  local dl
  mkdir -p "$proftpd_cache"
  dl=$(mktemp -d "$proftpd_cache/download.XXXXXX")
  # apt-get download needs a package list; a fresh machine may have none.
  if ! (cd "$dl" && apt-get download -qq proftpd-core proftpd-mod-crypto) 2>"$dl/err"; then
    apt-get update -qq
    (cd "$dl" && apt-get download -qq proftpd-core proftpd-mod-crypto) 2>"$dl/err" ||
      { cat "$dl/err" >&2; rm -rf "$dl"; return 1; }
  fi
  rm -rf "$tree.new"
  local deb
  for deb in "$dl"/*.deb; do dpkg-deb -x "$deb" "$tree.new" || { rm -rf "$dl" "$tree.new"; return 1; }; done
  rm -rf "$tree"
  mv "$tree.new" "$tree"
  mv "$dl"/*.deb "$proftpd_cache"/
  rm -rf "$dl"
}

# start_local_proftpd ROOT [tls|plain] [DIRECTIVE...]: serves ROOT
# (ROOT/uploads writable by the login) and sets $port and $pin (the
# certificate's key, for CHAT.INI's CERT and curl --pinnedpubkey). With
# "tls" only TLS is taken, as documented; with "plain", plain FTP and TLS.
# Each further DIRECTIVE ("TransferRate STOR 2048") replaces the top-level
# directives of its name in the documented file. The logs are
# $work/proftpd.log (SystemLog), $work/xferlog (TransferLog) and
# $work/proftpd-tls.log. One proftpd at a time.
start_local_proftpd() {
  local root=$1 mode=${2:-} top_dir=${top:?}
  shift $(($# < 2 ? $# : 2))
  local extra=("$@") line
  [ "$(id -u)" -eq 0 ] || { echo "proftpd needs root" >&2; return 1; }
  take_system_login || return 1
  fetch_proftpd || { echo "proftpd could not be fetched" >&2; return 1; }
  stop_local_proftpd
  local tree=$proftpd_cache/root
  if ldd "$tree/usr/sbin/proftpd" | grep -q 'not found'; then
    echo "proftpd misses libraries (scripts/install-deps.sh installs them):" >&2
    ldd "$tree/usr/sbin/proftpd" | grep 'not found' >&2
    return 1
  fi
  chmod 755 "$work"
  mkdir -p "$root/uploads"
  chmod 755 "$root"
  chown -R ftpuser: "$root/uploads"
  if [ ! -e "$work/proftpd-cert.pem" ]; then
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost \
      -keyout "$work/proftpd-key.pem" -out "$work/proftpd-cert.pem" 2>/dev/null
  fi
  pin=sha256//$(openssl x509 -in "$work/proftpd-cert.pem" -noout -pubkey | openssl pkey -pubin -outform DER |
    openssl dgst -sha256 -binary | openssl base64 -A)
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  local pasv=$((10000 + RANDOM % 20000))
  # With "tls" the documented TLSRequired stands.
  [ "$mode" = plain ] && extra=("TLSRequired off" "${extra[@]}")
  # The documented file's paths and addresses give way to the run's own, in
  # place (ModulePath must come before LoadModule).
  {
    cat <<CONF
ModulePath $tree/usr/lib/proftpd
Port $port
DefaultAddress 127.0.0.1
SocketBindTight on
UseIPv6 off
PassivePorts $pasv $((pasv + 99))
User nobody
Group nogroup
DefaultRoot $root
PidFile $work/proftpd.pid
ScoreboardFile $work/proftpd.scoreboard
DelayTable $work/proftpd.delay
SystemLog $work/proftpd.log
TransferLog $work/xferlog
TLSLog $work/proftpd-tls.log
TLSRSACertificateFile $work/proftpd-cert.pem
TLSRSACertificateKeyFile $work/proftpd-key.pem
MaxClientsPerHost 50
CONF
    for line in "${extra[@]}"; do echo "$line"; done
  } >"$work/proftpd-own.conf"
  # A top-level directive named there is replaced by all of that name's
  # lines, at its first place; the names the file lacks go to its end.
  awk 'NR == FNR { n = $1; own[n] = (n in own) ? own[n] "\n" $0 : $0; order[++k] = n; next }
       /^[A-Za-z]/ && ($1 in own) { if (!done[$1]++) print own[$1]; next }
       { print }
       END { for (i = 1; i <= k; i++) if (!done[order[i]]++) print own[order[i]] }' \
    "$work/proftpd-own.conf" "$top_dir/docs/server/proftpd.conf" >"$work/proftpd.conf"
  "$tree/usr/sbin/proftpd" --nodaemon --config "$work/proftpd.conf" >"$work/proftpd.out" 2>&1 &
  proftpd_pid=$!
  wait_listening "$proftpd_pid" "$port" proftpd "$work/proftpd.out"
}
