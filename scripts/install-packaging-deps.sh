#!/usr/bin/env bash
# Installs the Debian 12 packages that building and checking the Debian
# package need: dpkg-shlibdeps and file (CPack's dependency scan), lintian,
# desktop-file-validate, appstreamcli and man.
set -euo pipefail
pkgs=(dpkg-dev file lintian desktop-file-utils appstream man-db)
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
