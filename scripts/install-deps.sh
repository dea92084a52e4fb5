#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Tobra need,
# or, given package names, just those (scripts/install-packaging-deps.sh).
set -euo pipefail
pkgs=("$@")
[ ${#pkgs[@]} -gt 0 ] || pkgs=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libcurl4-openssl-dev libssl-dev zlib1g-dev openssl curl time
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  python3 python3-pyftpdlib python3-openssl vsftpd lftp
  libhiredis0.14 libmemcached11 libmemcachedutil2 libpcre2-posix3
  fonts-dejavu-core
  xvfb dbus at-spi2-core python3-gi gir1.2-atspi-2.0
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
