#!/usr/bin/env bash
# Installs the Debian 12 packages that building and checking the Debian
# package need: dpkg-shlibdeps and file (CPack's dependency scan), lintian,
# desktop-file-validate, appstreamcli and man.
set -euo pipefail
exec bash "$(dirname "$0")/install-deps.sh" dpkg-dev file lintian desktop-file-utils appstream man-db
