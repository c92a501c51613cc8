# Sourced by the end-to-end tests (scripts/e2e-linux.sh, scripts/e2e-wine.sh):
# the adapter on pseudo-terminals (tests/e2e/pty_adapter.cpp), the texts
# from the project's text table, and the checks on both.
# Expects pty_adapter (the program) and work (a temporary folder) to be set.

texts_table=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/src/lib/texts.tsv
failures=0
adapter_pid=""
adapter_dir=""

# text NAME [VALUE]: the table's text as it stands there (a line break as
# \n), with VALUE in place of its %s; Japanese, or English when
# text_language is en.
text() {
  local value
  local column=2
  [ "${text_language:-ja}" = ja ] || column=3
  value=$(awk -F'\t' -v name="$1" -v column="$column" \
    '$1 == name { print $column; found = 1 } END { exit !found }' "$texts_table") || {
    echo "no text $1 in $texts_table" >&2
    exit 1
  }
  if [ $# -gt 1 ]; then value=${value/\%s/$2}; fi
  printf '%s' "$value"
}

# start_adapter DIR [OPTIONS...]: the adapter in a fresh DIR, once its
# ports are there (DIR/port0, DIR/port1); it ends after a minute at the
# latest, whatever happens to this script.
start_adapter() {
  adapter_dir=$1
  shift
  rm -rf "$adapter_dir"
  mkdir -p "$adapter_dir"
  timeout 60 "$pty_adapter" "$adapter_dir" "$@" &
  adapter_pid=$!
  for _ in $(seq 1 100); do
    [ -L "$adapter_dir/port1" ] && return 0
    kill -0 "$adapter_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "the adapter did not start" >&2
  exit 1
}

# stop_adapter: an adapter that is leaving the bus finishes first (its
# on-leave command changes what the next run sees).
stop_adapter() {
  if [ -n "$adapter_pid" ]; then
    if grep -qx leave "$adapter_dir/log" 2>/dev/null; then
      for _ in $(seq 1 200); do
        [ -f "$adapter_dir/gone" ] && break
        sleep 0.05
      done
    fi
    kill "$adapter_pid" 2>/dev/null || true
    wait "$adapter_pid" 2>/dev/null || true
    adapter_pid=""
  fi
}

# wire DIR N: the bytes port N received, in hex ("76 78 b3").
wire() {
  awk -v port="$2" '$1 == "rx" && $2 == port { for (i = 3; i <= NF; i++) printf "%s%s", sep, $i; sep = " " }' \
    "$1/log" 2>/dev/null
}

# settings DIR N: the line settings port N had when its bytes arrived.
settings() {
  awk -v port="$2" '$1 == "line" && $2 == port { $1 = $2 = ""; sub(/^  /, ""); print }' "$1/log" 2>/dev/null |
    sort -u | paste -sd/
}

# check ROW WHAT WANTED GOT
check() {
  if [ "$3" == "$4" ]; then
    return 0
  fi
  echo "FAIL [$1] $2:"
  echo "  wanted: $3"
  echo "  got:    $4"
  failures=$((failures + 1))
}

# check_adapter ROW DIR PORT0 SETTINGS: port 0 received PORT0 with the line
# set as SETTINGS (nothing received: no settings either), and port 1 was
# left alone (never opened, nothing received).
check_adapter() {
  local row=$1 dir=$2 bytes=$3 line=$4
  check "$row" "port 0 bytes" "$bytes" "$(wire "$dir" 0)"
  [ -n "$bytes" ] || line=""
  check "$row" "port 0 settings" "$line" "$(settings "$dir" 0)"
  check "$row" "port 1 events" "" "$(awk '$2 == "1"' "$dir/log" 2>/dev/null | paste -sd/)"
}
