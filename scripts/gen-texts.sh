#!/usr/bin/env bash
# gen-texts.sh TABLE HEADER
# Turns the UTF-8 text table (NAME<TAB>TEXT per line, '#' comments, "\n"
# for a line feed) into a header of code page 932 byte strings.
set -euo pipefail
table=$1
header=$2
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT

{
  echo "// Generated from src/lib/texts.tsv by scripts/gen-texts.sh; do not edit."
  echo "#pragma once"
  echo "namespace Tolvane {"
  echo "namespace Text {"
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
    # printf %b turns the table's "\n" into a real line feed.
    if ! bytes=$(printf '%b' "$text" | iconv -f UTF-8 -t CP932 | od -An -v -tx1); then
      echo "$table:$lineno: text is not representable in code page 932" >&2
      exit 1
    fi
    escaped=$(printf '%s' "$bytes" | tr -s ' \n' ' ' | sed -e 's/^ //' -e 's/ $//' -e 's/ /\\x/g')
    [ -n "$escaped" ] && escaped="\\x$escaped"
    comment=${text//\*\//* /}
    echo "// $comment"
    echo "inline constexpr char $name[] = \"$escaped\";"
  done <"$table"
  echo "}  // namespace Text"
  echo "}  // namespace Tolvane"
} >"$tmp"

# Leave the header untouched when nothing changed, so nothing rebuilds.
if ! cmp -s "$tmp" "$header" 2>/dev/null; then
  cp "$tmp" "$header"
fi
