#!/usr/bin/env bash
# Makes the national postal list that ships with the program from the full
# list in ../shared/postal (or the folder given): postal/ken_all.csv.gz,
# compressed reproducibly (no name, no time stamp), and postal/ken_all.info
# recording the list's month, where it came from, and checks of the
# uncompressed file. Commit both after running it.
#   tools/postal-list.sh [folder with ken_all.csv and README.md]
set -euo pipefail
cd "$(dirname "$0")/.."
src=${1:-../shared/postal}
csv=$src/ken_all.csv
readme=$src/README.md
[ -f "$csv" ] || { echo "no $csv" >&2; exit 1; }
[ -f "$readme" ] || { echo "no $readme: the list's date and source are read from it" >&2; exit 1; }

# The README names the list's month as "(data of YYYY-MM; ...)".
date=$(grep -oE 'data of [0-9]{4}-[0-9]{2}' "$readme" | head -n1 | grep -oE '[0-9]{4}-[0-9]{2}' || true)
[ -n "$date" ] || { echo "$readme names no month (\"data of YYYY-MM\")" >&2; exit 1; }
source_line=$(grep -m1 -E '^How it was made:' "$readme" | sed 's/^How it was made: *//')

mkdir -p postal
gzip -9 -n -c "$csv" >postal/ken_all.csv.gz.tmp
mv postal/ken_all.csv.gz.tmp postal/ken_all.csv.gz
{
  echo "date=$date"
  echo "lines=$(wc -l <"$csv" | tr -d ' ')"
  echo "bytes=$(wc -c <"$csv" | tr -d ' ')"
  echo "sha256=$(sha256sum "$csv" | cut -d' ' -f1)"
  echo "encoding=cp932, CR LF line ends, 15 columns, no header line"
  echo "source=$source_line"
  echo "copyright=Japan Post claims no copyright on the national postal code list."
} >postal/ken_all.info
echo "postal/ken_all.csv.gz: $(wc -c <postal/ken_all.csv.gz) bytes, list of $date"
