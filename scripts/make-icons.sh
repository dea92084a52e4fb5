#!/usr/bin/env bash
# Renders packaging/icons/tobra.svg into the PNG icons (48, 128 and 256 px)
# and the Windows icon packaging/tobra.ico, all kept in the repository so a
# build needs neither tool. Run it after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")/.."
need=()
command -v rsvg-convert >/dev/null || need+=(librsvg2-bin)
[ -x /usr/bin/convert-im6.q16 ] || need+=(imagemagick)
if [ ${#need[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
pngs=()
for size in 16 32 48 128 256; do
  out=packaging/icons/tobra-$size.png
  rsvg-convert -w "$size" -h "$size" packaging/icons/tobra.svg -o "$out"
  pngs+=("$out")
done
# The real ImageMagick, not a stand-in that may come first on PATH.
/usr/bin/convert-im6.q16 "${pngs[@]}" packaging/tobra.ico
# Only 48, 128 and 256 are installed; the small ones go into the .ico only.
rm -f packaging/icons/tobra-16.png packaging/icons/tobra-32.png
ls -l packaging/icons packaging/tobra.ico
