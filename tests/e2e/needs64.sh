#!/usr/bin/env bash
# A 64-bit package (variant 6 with a setup command) on a 32-bit system: string 12 in a
# "ZAR-OZA" box with the error icon and an OK button, in the language of the locale; after
# OK the stub ends with exit code 1603.
# Extra arguments: LANG EXPECTED_TEXT
. "$(dirname "$0")/lib.sh"
lang=$4
expected=$5

make_block "$work/block" "TORVEX" "6" "%temp%" "setup.exe"
make_package "$work/package.exe" "$work/block" "$corpus/lha_unix114i/h2_lh5.lzh"
start_stub "$lang" "$work/package.exe"

listing=$(driver wait "ZAR-OZA" "$wait_ms") || fail "no ZAR-OZA message box"
echo "$listing"
text=$(control_text "$listing" 65535)
[ "$text" = "$expected" ] || fail "message text '$text', expected '$expected'"
[ -n "$(printf '%s\n' "$listing" | awk -F'\t' '$1 == 1088')" ] || fail "the box has no icon"
[ -n "$(printf '%s\n' "$listing" | awk -F'\t' '$1 == 1')" ] || fail "the box has no OK button"
[ -z "$(printf '%s\n' "$listing" | awk -F'\t' '$1 == 2 || $1 == 6 || $1 == 7')" ] ||
  fail "the box has more buttons than OK"

driver click "ZAR-OZA" 1 || fail "could not press OK"
finish_stub 1603
driver gone "ZAR-OZA" $((2000 * factor)) || fail "the box is still open"
echo "PASS: string 12 shown ($lang), exit code 1603 after OK"
