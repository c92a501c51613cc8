#!/usr/bin/env bash
# gen-rc-texts.sh TABLE HEADER
# Turns the UTF-8 text table into a header for the Windows resource script:
# `#define TXT_kName "Japanese"` and `#define TXT_EN_kName "English"` per
# line, in UTF-8, for a script compiled with `#pragma code_page(65001)`. Each
# Japanese text makes a round trip through code page 932 first, so that the
# resources hold exactly the characters that the program's own code page 932
# strings convert to (gen-texts.sh checks the table itself).
set -euo pipefail
table=$1
header=$2
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT

# Resource-script string: backslash escapes as in C, a quote doubled, a line
# feed as \n.
rc_string() {
  local escaped=${1//\\/\\\\}
  escaped=${escaped//\"/\"\"}
  printf '%s' "${escaped//$'\n'/\\n}"
}

{
  echo "// Generated from src/lib/texts.tsv by scripts/gen-rc-texts.sh; do not edit."
  echo "#pragma once"
  lineno=0
  while IFS= read -r line || [ -n "$line" ]; do
    lineno=$((lineno + 1))
    case "$line" in '' | '#'*) continue ;; esac
    IFS=$'\t' read -r name japanese english <<<"$line"
    if ! canonical=$(printf '%b' "$japanese" | iconv -f UTF-8 -t CP932 | iconv -f CP932 -t UTF-8); then
      echo "$table:$lineno: text is not representable in code page 932" >&2
      exit 1
    fi
    echo "#define TXT_$name \"$(rc_string "$canonical")\""
    echo "#define TXT_EN_$name \"$(rc_string "$(printf '%b' "$english")")\""
  done <"$table"
} >"$tmp"

if ! cmp -s "$tmp" "$header" 2>/dev/null; then
  cp "$tmp" "$header"
fi
