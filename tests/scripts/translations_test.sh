#!/usr/bin/env bash
# Every source text of the windows has its English translation: lupdate, run over the sources
# into a copy of the translation file, finds no text that is new (unfinished) and none that
# has gone, so the file it writes is the file in the tree.
# Usage: translations_test.sh LUPDATE SOURCE_DIR
set -euo pipefail
lupdate=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$source/ui/translations/quillfen_en.ts" "$work/quillfen_en.ts"
(cd "$source" && "$lupdate" ui -I . -extensions cpp,h -ts "$work/quillfen_en.ts" -target-language en \
  -no-obsolete -locations none >"$work/lupdate.log" 2>&1) || { cat "$work/lupdate.log"; exit 1; }
if grep -q 'type="unfinished"' "$work/quillfen_en.ts"; then
  echo "source texts without an English translation (ui/translations/quillfen_en.ts):"
  grep -B1 'type="unfinished"' "$work/quillfen_en.ts" | grep '<source>' | sed 's/^ *//'
  exit 1
fi
if ! diff -u "$source/ui/translations/quillfen_en.ts" "$work/quillfen_en.ts"; then
  echo "ui/translations/quillfen_en.ts is out of date: texts were added or removed (the diff above)"
  exit 1
fi
echo "every source text has its English translation"
