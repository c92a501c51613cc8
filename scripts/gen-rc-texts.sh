#!/usr/bin/env bash
# gen-rc-texts.sh TABLE HEADER
# Turns the UTF-8 text table into a header for the Windows resource script:
# one `#define TXT_kName "text"` per line, in UTF-8, for a script compiled
# with `#pragma code_page(65001)`. Each text makes a round trip through code
# page 932 first, so that the resources hold exactly the characters that the
# program's own code page 932 strings convert to (the table's text must be
# representable in code page 932 anyway).
set -euo pipefail
table=$1
header=$2
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT

{
  echo "// Generated from src/lib/texts.tsv by scripts/gen-rc-texts.sh; do not edit."
  echo "#pragma once"
  lineno=0
  while IFS= read -r line || [ -n "$line" ]; do
    lineno=$((lineno + 1))
    case "$line" in '' | '#'*) continue ;; esac
    if [[ "$line" != *$'\t'* ]]; then
      echo "$table:$lineno: expected NAME<TAB>TEXT" >&2
      exit 1
    fi
    name=${line%%$'\t'*}
    text=${line#*$'\t'}
    if ! [[ "$name" =~ ^k[A-Za-z0-9_]+$ ]]; then
      echo "$table:$lineno: bad name '$name'" >&2
      exit 1
    fi
    if ! canonical=$(printf '%b' "$text" | iconv -f UTF-8 -t CP932 | iconv -f CP932 -t UTF-8); then
      echo "$table:$lineno: text is not representable in code page 932" >&2
      exit 1
    fi
    # Resource-script string: backslash escapes as in C, a quote doubled,
    # a line feed as \n.
    escaped=${canonical//\\/\\\\}
    escaped=${escaped//\"/\"\"}
    escaped=${escaped//$'\n'/\\n}
    echo "#define TXT_$name \"$escaped\""
  done <"$table"
} >"$tmp"

if ! cmp -s "$tmp" "$header" 2>/dev/null; then
  cp "$tmp" "$header"
fi
