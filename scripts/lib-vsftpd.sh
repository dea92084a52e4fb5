# Sourced after lib-ftpserver.sh by the benchmarks: vsftpd on 127.0.0.1 with
# docs/server/vsftpd.conf, for figures a Python server would hide. Needs
# root (a system login, vsftpd's chroot). The login "ftpuser" / "vintor" and
# the PAM service "vsftpd-tobra" are made for the run when missing and
# removed after it.

vsftpd_pid=""
_vsftpd_made_pam=0

# vsftpd_descendants PID: every process below PID (vsftpd's sessions),
# each listed before its own children.
vsftpd_descendants() { descendants "$1"; }

stop_local_vsftpd() {
  if [ -n "$vsftpd_pid" ]; then
    local kids k
    kids=$(vsftpd_descendants "$vsftpd_pid")
    kill -TERM "$vsftpd_pid" 2>/dev/null || true
    for k in $kids; do kill -KILL "$k" 2>/dev/null || true; done
    wait "$vsftpd_pid" 2>/dev/null || true
    vsftpd_pid=""
  fi
}

_tobra_vsftpd_cleanup() {
  stop_local_vsftpd
  _tobra_login_cleanup
  if [ "$_vsftpd_made_pam" = 1 ]; then rm -f /etc/pam.d/vsftpd-tobra; _vsftpd_made_pam=0; fi
}

# start_local_vsftpd ROOT [tls|plain] [KEY=VALUE...]: serves ROOT
# (ROOT/uploads writable by the login) and sets $port and $pin (the
# certificate's key, for CHAT.INI's CERT and curl --pinnedpubkey). Plain FTP
# and TLS are both taken; with "tls", only TLS. Further settings replace
# those of the documented file. The log is $work/vsftpd.log. One vsftpd at a
# time.
start_local_vsftpd() {
  local root=$1 mode=${2:-} top_dir=${top:?}
  shift $(($# < 2 ? $# : 2))
  local extra=("$@") line
  [ "$(id -u)" -eq 0 ] || { echo "vsftpd needs root" >&2; return 1; }
  [ -x /usr/sbin/vsftpd ] || { echo "vsftpd is missing (scripts/install-deps.sh installs it)" >&2; return 1; }
  # The lock also covers the PAM file.
  take_system_login || return 1
  stop_local_vsftpd
  if [ ! -e /etc/pam.d/vsftpd-tobra ]; then
    cp "$top_dir/docs/server/vsftpd-tobra.pam" /etc/pam.d/vsftpd-tobra
    _vsftpd_made_pam=1
  fi
  chmod 755 "$work"
  mkdir -p "$root/uploads" "$work/vsftpd-empty"
  chmod 755 "$root"
  chown -R ftpuser: "$root/uploads"
  echo ftpuser >"$work/vsftpd-users"
  if [ ! -e "$work/vsftpd-cert.pem" ]; then
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost \
      -keyout "$work/vsftpd-key.pem" -out "$work/vsftpd-cert.pem" 2>/dev/null
  fi
  pin=sha256//$(openssl x509 -in "$work/vsftpd-cert.pem" -noout -pubkey | openssl pkey -pubin -outform DER |
    openssl dgst -sha256 -binary | openssl base64 -A)
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  local pasv=$((10000 + RANDOM % 20000)) force=NO
  [ "$mode" = tls ] && force=YES
  local replaced='listen_address|listen_port|pasv_min_port|pasv_max_port|rsa_cert_file|rsa_private_key_file|local_root|secure_chroot_dir|userlist_file|vsftpd_log_file|force_local_logins_ssl|force_local_data_ssl|max_per_ip'
  for line in "${extra[@]}"; do replaced+="|${line%%=*}"; done
  {
    grep -v -E "^($replaced)=" "$top_dir/docs/server/vsftpd.conf"
    cat <<CONF
listen_address=127.0.0.1
listen_port=$port
pasv_min_port=$pasv
pasv_max_port=$((pasv + 99))
rsa_cert_file=$work/vsftpd-cert.pem
rsa_private_key_file=$work/vsftpd-key.pem
local_root=$root
secure_chroot_dir=$work/vsftpd-empty
userlist_file=$work/vsftpd-users
vsftpd_log_file=$work/vsftpd.log
force_local_logins_ssl=$force
force_local_data_ssl=$force
max_per_ip=50
CONF
    for line in "${extra[@]}"; do echo "$line"; done
  } >"$work/vsftpd.conf"
  /usr/sbin/vsftpd "$work/vsftpd.conf" >"$work/vsftpd.out" 2>&1 &
  vsftpd_pid=$!
  wait_listening "$vsftpd_pid" "$port" vsftpd "$work/vsftpd.out"
}
