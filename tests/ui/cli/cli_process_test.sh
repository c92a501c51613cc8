#!/usr/bin/env bash
# cli_process_test.sh TOLVANE
# Runs the built program once per sub-command on the virtual PC
# (--simulate, real time) and checks what it prints and its exit code; then
# a question without a terminal and a wrong command line. In English (the
# C.UTF-8 locale) unless a row sets lang: the Japanese rows use a locale
# name that need not be installed.
set -uo pipefail

bin=${1:?usage: cli_process_test.sh TOLVANE}
export LC_ALL=C.UTF-8
failures=0

# expect CODE PATTERN -- ARGS...: runs TOLVANE ARGS (standard input from
# /dev/null, without a controlling terminal) and wants exit code CODE and
# PATTERN (a fixed string) in its standard output and error together.
expect() {
  local code=$1 pattern=$2
  shift 3
  local out rc
  out=$(LC_ALL=${lang:-C.UTF-8} setsid -w "$bin" "$@" </dev/null 2>&1)
  rc=$?
  if [ "$rc" -ne "$code" ] || ! grep -qF -- "$pattern" <<<"$out"; then
    echo "FAIL: tolvane $* gave $rc (want $code) and:"
    echo "$out"
    failures=$((failures + 1))
  else
    echo "ok: tolvane $* -> $rc"
  fi
}

expect 0 '  ports: /dev/ttyACM3 /dev/ttyACM4' -- status --simulate
expect 0 '"outcome": "switched"' -- switch --simulate --id 2 --yes --json
expect 0 'new USB disk: /dev/sdc  /dev/sg2  SIM SCSI TARGET 5' -- switch --simulate --id 5 --yes
expect 0 'The adapter is back in the normal state.' -- return --simulate --yes
lang=ja_JP.UTF-8 expect 0 'ミルトパを通常状態にしました。' -- return --simulate --yes
lang=ja_JP.UTF-8 expect 0 '新しい USB ディスク: /dev/sdc' -- switch --simulate --id 5 --yes
expect 1 'give --yes' -- return --simulate
expect 2 "not '7'" -- switch --simulate --id 7 --yes
expect 2 "Try 'tolvane --help'" -- --bogus
expect 0 'Usage: tolvane' -- -h
lang=ja_JP.UTF-8 expect 0 '使い方: tolvane' -- -h
lang=ja_JP.UTF-8 expect 2 "詳しくは 'tolvane --help'" -- --bogus
expect 0 'Tolvane ' -- -V

# A report that never reached its reader is no success: a full disk, and a
# closed standard output (which the question's terminal must not take over).
for redirect in '>/dev/full' '>&-'; do
  out=$(eval 'setsid -w "$bin" switch --simulate --id 1 --yes --json 2>&1 '"$redirect" </dev/null)
  rc=$?
  if [ "$rc" -ne 12 ] || ! grep -qF 'tolvane: cannot write the output' <<<"$out"; then
    echo "FAIL: switch with stdout $redirect gave $rc (want 12) and: $out"
    failures=$((failures + 1))
  else
    echo "ok: switch with stdout $redirect -> 12"
  fi
done

# The system's reason in a Japanese message stays readable (it came through
# as mojibake when the locale's own translation was filled in).
out=$(LC_ALL=ja_JP.UTF-8 setsid -w "$bin" -h 2>&1 >/dev/full </dev/null)
rc=$?
if [ "$rc" -ne 12 ] || [ "$out" != 'tolvane: 出力を書き込めません: No space left on device' ]; then
  echo "FAIL: Japanese -h to /dev/full gave $rc and: $out"
  failures=$((failures + 1))
else
  echo "ok: Japanese -h to /dev/full -> 12"
fi

[ "$failures" -eq 0 ]
