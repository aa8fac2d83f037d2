#!/usr/bin/env bash
# Usage: translations_check.sh LUPDATE SOURCE_DIR. Fails when the windows' English is not complete:
# an entry of qt/translations/tovar_en.ts left unfinished, a text of qt/ the .ts lacks, or an
# entry whose text qt/ no longer has.
set -euo pipefail
LUPDATE=$1
SRC=$2
TS=$SRC/qt/translations/tovar_en.ts
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
if grep -n 'type="unfinished"' "$TS"; then
  echo "FAIL: $TS has entries without their English" >&2
  exit 1
fi
cp "$TS" "$TMP/tovar_en.ts"
"$LUPDATE" -I "$SRC" -locations none -source-language zh_CN -target-language en \
  "$SRC"/qt/*.cpp "$SRC"/qt/*.h -ts "$TMP/tovar_en.ts" >"$TMP/lupdate.txt" 2>&1 || { cat "$TMP/lupdate.txt"; exit 1; }
if grep -n -B2 'type="unfinished"\|type="vanished"\|type="obsolete"' "$TMP/tovar_en.ts"; then
  echo "FAIL: the texts of qt/ and $TS differ; build update_translations and give every new text its English" >&2
  exit 1
fi
echo "PASS: $(grep -c '<message>' "$TS") texts, each with its English"
