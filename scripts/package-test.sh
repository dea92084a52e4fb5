#!/usr/bin/env bash
# Builds the Debian package and tests it as a user gets it: lintian (no
# errors), the desktop entry and AppStream data validated, installed with apt,
# then the INSTALLED program (/usr/bin/tobra) prints its version, finds its
# windows module, and uploads a file unattended to a local FTP server
# (127.0.0.1, temporary root); the bytes on the server are compared. The
# package is removed at the end, also when a step fails.
#
#   scripts/package-test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

if dpkg-query -W -f='${Status}' tobra 2>/dev/null | grep -q 'install ok installed'; then
  echo "A tobra package is already installed; this test would replace and remove it." >&2
  exit 1
fi

bash scripts/install-packaging-deps.sh
. scripts/lib-ftpserver.sh
make_work_dir tobra-package
installed=0
cleanup() {
  if [ "$installed" = 1 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tobra >/dev/null || true
  fi
  _tobra_cleanup
}
trap cleanup EXIT

bash scripts/package.sh "$work/dist"
debs=("$work"/dist/tobra_*.deb)
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo; echo "== $*"; }

step "lintian $(basename "$deb")"
# Errors fail; warnings are shown.
lstatus=0
lintian --fail-on error "$deb" >"$work/lintian.out" 2>&1 || lstatus=$?
grep -v 'running with root privileges' "$work/lintian.out" || true
[ "$lstatus" -eq 0 ] || fail "lintian reports errors"
step "desktop-file-validate, appstreamcli"
desktop-file-validate packaging/tobra.desktop || fail "desktop entry"
appstreamcli validate --no-net packaging/tobra.metainfo.xml || fail "AppStream data"

step "apt-get install $deb"
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt-get install"; }
for f in /usr/bin/tobra /usr/share/applications/tobra.desktop /usr/share/man/man1/tobra.1.gz \
  /usr/share/icons/hicolor/256x256/apps/tobra.png /usr/share/icons/hicolor/scalable/apps/tobra.svg \
  /usr/share/metainfo/com.halvex.tobra.metainfo.xml /usr/share/doc/tobra/copyright; do
  [ -f "$f" ] || fail "$f is not installed"
done
man -w tobra >/dev/null || fail "man finds no page for tobra"

step "/usr/bin/tobra --version"
out=$(/usr/bin/tobra --version)
echo "$out"
[[ "$out" =~ ^Tobra\ ${version//./\\.}\ \(.+\)$ ]] || fail "unexpected version line"

# The window road without a display loads the module and ends with status 6;
# a module that is not found ends with 1.
step "/usr/bin/tobra without a display (loads the windows module)"
mkdir -p "$work/ini" "$work/files"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY TOBRA_WINDIR="$work/ini" TOBRA_SYSDIR="$work/ini" TOBRA_CONSOLE=1 \
  XDG_STATE_HOME="$work/state" /usr/bin/tobra >"$work/window.out" 2>&1 </dev/null || status=$?
cat "$work/window.out"
[ "$status" -eq 6 ] || fail "expected status 6 (no display), got $status"

step "/usr/bin/tobra T1 FILE against a local FTP server"
start_local_ftp_server "$work/ftp"
printf '[PREFERENCES]\r\nURL=127.0.0.1:%s\r\n' "$port" >"$work/ini/CHAT.INI"
sample="$work/files/package-check.zip"
head -c 300000 /dev/urandom >"$sample"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY TOBRA_WINDIR="$work/ini" TOBRA_SYSDIR="$work/ini" TOBRA_CONSOLE=1 \
  XDG_STATE_HOME="$work/state" timeout 120 /usr/bin/tobra T1 "$sample" </dev/null || status=$?
[ "$status" -eq 0 ] || fail "the upload ended with status $status"
cmp "$sample" "$work/ftp/uploads/T1/PACKAGE-CHECK.ZIP" || fail "the server's copy differs"
[ -s "$work/state/tobra/tobra.log" ] || fail "no support log"
echo "PACKAGE-CHECK.ZIP on the server is byte for byte the local file."

step "apt-get remove tobra"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tobra >/dev/null
installed=0
[ ! -e /usr/bin/tobra ] || fail "/usr/bin/tobra is still there after removal"
echo
echo "package test passed: $(basename "$deb")"
