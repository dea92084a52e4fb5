#!/usr/bin/env bash
# Writes sample data for the three product backup windows into DIR, which
# serves as the INI folder (TOBRA_WINDIR):
#   DIR/qof.ini, DIR/qofp.ini, DIR/qsn2000.ini   company name and data folder
#   DIR/get.INI                                  each product's file list
#   DIR/products/<product>/...                   small sample database files
# Existing files of these names are replaced; nothing else in DIR is touched.
#   scripts/make-sample-products.sh DIR
set -euo pipefail
if [ $# -ne 1 ] || [ "$1" = "-h" ] || [ "$1" = "--help" ]; then
  sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'
  [ $# -eq 1 ] && exit 0 || exit 2
fi
mkdir -p "$1"
dir=$(cd "$1" && pwd)
case "$dir" in
  *$'\n'*|*$'\r'*) echo "DIR must not contain line breaks" >&2; exit 2 ;;
esac

# ini FILE COMPANY DATADIR
ini() {
  printf '[company name]\r\ncompany=%s\r\n\r\n[directories]\r\ndatadir=%s\r\n' "$2" "$3" >"$dir/$1"
  echo "wrote $dir/$1 (company \"$2\", data folder $3)"
}

# sample FOLDER NAME KIB: a file of KIB KiB of varied bytes
sample() {
  mkdir -p "$(dirname "$1/$2")"
  head -c $(($3 * 1024)) /dev/urandom >"$1/$2"
  echo "wrote $1/$2 ($3 KiB)"
}

qof="$dir/products/qof"
qofp="$dir/products/qofpdata"
qsnp="$dir/products/qsnbook"

ini qof.ini "Acme Realty, Inc." "$qof"
ini qofp.ini "Smith-Jones & Co." "$qofp"
ini qsn2000.ini "Northside Appraisals" "$qsnp"

sample "$qof" CLIENTS.DB 12
sample "$qof" ORDERS.DB 24
sample "$qof" forms/FORMS.DAT 6
sample "$qofp" MAIN.MDB 32
sample "$qofp" PHOTOS.IDX 4
sample "$qsnp" SNAP.DB 16
sample "$qsnp" COMPS.DB 8

cat >"$dir/get.INI" <<'EOF'
; Database files of each product, relative to its data folder.
[QofFILES]
FILE1=CLIENTS.DB
FILE2=ORDERS.DB
FILE3=forms/FORMS.DAT

[QofpFILES]
FILE1=MAIN.MDB
FILE2=PHOTOS.IDX

[QsnpFILES]
FILE1=SNAP.DB
FILE2=COMPS.DB
EOF
echo "wrote $dir/get.INI (3 Quillon Office, 2 Quillon Office Plus, 2 Quillon Snapfolio files)"
echo
echo "The windows back up into /uploads/QOFAcmeRealtyInc, /uploads/QOFPSmith-JonesCo and"
echo "/uploads/QSNPNorthsideAppraisals. Run Tobra with TOBRA_WINDIR=$dir and TOBRA_MAKER_HOST"
echo "set to the server (for example 127.0.0.1:2121)."
