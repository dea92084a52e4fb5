# Sourced by the benchmarks (from the project folder).

# bench_driver BUILD TARGET: the path of a program of bench/tools, built
# (and the project configured) first when needed.
bench_driver() {
  local build=$1 target=$2
  if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    bash scripts/build.sh >/dev/null
  fi
  cmake --build "$build" --target "$target" -j2 >/dev/null
  echo "$build/bench/tools/$target"
}

# bench_servers CHOICE: the servers to run against, checking that curl and
# lftp are there. CHOICE is vsftpd, pyftpdlib or both (vsftpd only as root).
bench_servers() {
  local c
  for c in curl lftp; do
    command -v "$c" >/dev/null || { echo "needs $c (scripts/install-deps.sh)" >&2; return 1; }
  done
  case $1 in
    both) if [ "$(id -u)" -eq 0 ]; then echo "vsftpd pyftpdlib"; else echo pyftpdlib; fi ;;
    vsftpd | pyftpdlib) echo "$1" ;;
    *) echo "unknown server $1 (vsftpd, pyftpdlib or both)" >&2; return 1 ;;
  esac
}

# make_backup_product INI DATA FILES SIZE: the Qof product of a backup run,
# "Bench Co.", with FILES random files of SIZE bytes in DATA listed in
# INI/get.INI.
make_backup_product() {
  local ini=$1 data=$2 files=$3 size=$4 i name
  mkdir -p "$ini" "$data"
  printf '[company name]\r\ncompany=Bench Co.\r\n[directories]\r\ndatadir=%s\r\n' "$data" >"$ini/qof.ini"
  {
    printf '[QofFILES]\r\n'
    for i in $(seq 1 "$files"); do
      name=$(printf 'db%03d.dat' "$i")
      head -c "$size" /dev/urandom >"$data/$name"
      printf 'FILE%d=%s\r\n' "$i" "$name"
    done
  } >"$ini/get.INI"
}
