#!/usr/bin/env bash
# gen-texts.sh TABLE HEADER
# Turns the UTF-8 text table (NAME<TAB>JAPANESE<TAB>ENGLISH per line, '#'
# comments, "\n" for a line feed) into a header of texts in both languages:
# the Japanese as code page 932 bytes, the English as ASCII, which this
# script insists on so that the English bytes read the same in any encoding.
set -euo pipefail
table=$1
header=$2
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT

fail() {
  echo "$table:$lineno: $1" >&2
  exit 1
}

{
  echo "// Generated from src/lib/texts.tsv by scripts/gen-texts.sh; do not edit."
  echo "#pragma once"
  echo "#include \"lib/language.h\""
  echo "namespace Tolvane {"
  echo "namespace Text {"
  names=()
  lineno=0
  while IFS= read -r line || [ -n "$line" ]; do
    lineno=$((lineno + 1))
    case "$line" in '' | '#'*) continue ;; esac
    IFS=$'\t' read -r name japanese english extra <<<"$line"
    if [ -z "${english:-}" ] || [ -n "${extra:-}" ]; then
      fail "expected NAME<TAB>JAPANESE<TAB>ENGLISH"
    fi
    [[ "$name" =~ ^k[A-Za-z0-9_]+$ ]] || fail "bad name '$name'"
    # printf %b turns the table's "\n" into a real line feed.
    if ! bytes=$(printf '%b' "$japanese" | iconv -f UTF-8 -t CP932 | od -An -v -tx1); then
      fail "text is not representable in code page 932"
    fi
    if LC_ALL=C grep -q '[^ -~]' <<<"$english"; then
      fail "the English text is not printable ASCII"
    fi
    escaped=$(printf '%s' "$bytes" | tr -s ' \n' ' ' | sed -e 's/^ //' -e 's/ $//' -e 's/ /\\x/g')
    [ -n "$escaped" ] && escaped="\\x$escaped"
    # The table's escapes are C's already; only a quote needs one more.
    english_literal=${english//\"/\\\"}
    echo "// ${japanese//\*\//* /}"
    echo "// ${english//\*\//* /}"
    echo "inline constexpr CText $name{\"$escaped\", \"$english_literal\"};"
    names+=("$name")
  done <"$table"
  echo "inline constexpr CNamedText kAll[] = {"
  for name in "${names[@]}"; do
    echo "    {\"$name\", $name},"
  done
  echo "};"
  echo "}  // namespace Text"
  echo "}  // namespace Tolvane"
} >"$tmp"

# Leave the header untouched when nothing changed, so nothing rebuilds.
if ! cmp -s "$tmp" "$header" 2>/dev/null; then
  cp "$tmp" "$header"
fi
