#!/usr/bin/env bash
# tmux-demo-test.sh TOLVANE [ja|en]
# Drives the terminal dialog (TOLVANE --simulate) in a detached tmux pane of
# the smallest size it takes (72 x 19) and reads the screen back: the
# dialog's controls and frame, the switch to mass storage and back with
# their questions and results (which keys typed ahead do not answer), the
# boxes inside the dialog's frame with the keys they take on the hint line,
# the field's range, a bracketed paste, the About box (again on a larger
# screen) and the end by Escape. In Japanese (a Japanese locale name, which
# need not be installed) or in English (the C.UTF-8 locale).
# Exits 0 when all is well, 1 on the first failure (with the screen), 77
# when tmux is missing.
set -euo pipefail

bin=${1:?usage: tmux-demo-test.sh TOLVANE [ja|en]}
language=${2:-ja}
if ! command -v tmux >/dev/null 2>&1; then
  echo "SKIP: tmux is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")

work=$(mktemp -d)
sock=$work/tmux.sock
status=$work/status
cleanup() {
  tmux -S "$sock" kill-server >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

unset TMUX
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset LANGUAGE LC_MESSAGES

# What the dialog shows in the language of the run.
if [ "$language" = ja ]; then
  locale=ja_JP.UTF-8
  caption="ミルトパ マスストレージ ツール"
  group_mass="マスストレージ化" group_normal="通常状態化"
  label="Target-SCSI-ID (0～6)" read_only="[x] 読み込み専用" run="実行"
  ask_switch="ミルトパをマスストレージ化しますか？" switched="ミルトパをマスストレージ化しました。"
  ask_return="マスストレージ状態のミルトパを通常状態にしますか？" returned="ミルトパを通常状態にしました。"
  yes="はい" no="いいえ" question_hint="y: はい  n: いいえ" close_hint="Enter / Esc: 閉じる"
  about_caption="ミルトパ マスストレージ ツールのﾊﾞｰｼﾞｮﾝ情報"
else
  locale=C.UTF-8
  caption="USB SCSI Adapter Mass Storage Tool"
  group_mass="Mass storage" group_normal="Normal state"
  label="Target SCSI ID (0-6)" read_only="[x] Read-only" run="Run"
  ask_switch="Switch the adapter to the mass-storage state?"
  switched="The adapter is now in the mass-storage state."
  ask_return="Return the adapter from mass storage to the normal state?"
  returned="The adapter is back in the normal state."
  yes="Yes" no="No" question_hint="y: yes  n: no" close_hint="Enter / Esc: close"
  about_caption="About USB SCSI Adapter Mass Storage Tool"
fi

# The pane runs the dialog, then leaves its exit code behind. The time
# limit ends a dialog left behind by a test that was itself killed.
cat >"$work/run.sh" <<RUN
#!/bin/sh
LC_ALL=$locale timeout --foreground 55 "$bin" --simulate
echo \$? >"$status.tmp" && mv "$status.tmp" "$status"
RUN
chmod +x "$work/run.sh"

t() { tmux -S "$sock" "$@"; }
screen() { t capture-pane -p -t tolvane; }

fail() {
  echo "FAIL: $*"
  echo "--- screen ---"
  screen 2>/dev/null || true
  echo "--------------"
  exit 1
}

# Polls the screen in short steps until it shows (or, with -n, no longer
# shows) the text; gives up after 10 seconds.
wait_for() {
  local negate=0
  if [ "$1" = -n ]; then negate=1; shift; fi
  local text=$1
  local deadline=$((SECONDS + 10))
  while :; do
    if screen | grep -qF -- "$text"; then
      [ $negate -eq 0 ] && return 0
    else
      [ $negate -eq 1 ] && return 0
    fi
    if [ $SECONDS -ge $deadline ]; then
      if [ $negate -eq 0 ]; then fail "never saw: $text"; else fail "did not go away: $text"; fi
    fi
    sleep 0.1
  done
}

# While a box is open the dialog's frame stays whole at both sides of each
# of its rows (the box lies inside), and the hint line tells the box's keys.
boxed() {
  local rows=$1 hint=$2 top
  top=$(((rows - 3 - 16) / 2 + 1))
  if screen | sed -n "$((top + 1)),$((top + 14))p" | grep -qv '^ *│.*│ *$'; then
    fail "a box covers the dialog's frame"
  fi
  screen | grep -qF -- "$hint" || fail "no key hint: $hint"
}

t -f /dev/null new-session -d -s tolvane -x 72 -y 19 "$work/run.sh"

echo "start: the dialog and the virtual adapter"
wait_for "$caption"
wait_for "normal, COM3 COM4"
for text in "┌ $group_mass " "┌ $group_normal " "$label" "[0 " \
            "$read_only" "QUIT" "F1 / Alt+A:"; do
  screen | grep -qF -- "$text" || fail "missing control: $text"
done
[ "$(screen | grep -c "\[ *$run *\]")" -eq 2 ] || fail "expected two $run buttons"

# Every row of the dialog, from the first group box to the bottom edge,
# ends in the frame's right edge at the same column: where the program and
# the terminal disagree about the width of a character, the edge shifts.
frame=$(screen | sed -n "/┌ $group_mass/,/^ *└/p")
widths=$(printf '%s\n' "$frame" | while IFS= read -r line; do
  printf '%s' "$line" | wc -L
done | sort -u)
[ "$(printf '%s\n' "$widths" | wc -l)" -eq 1 ] || fail "ragged right edge (widths: $(echo $widths))"
printf '%s\n' "$frame" | sed '$d' | grep -qv '│$' && fail "a dialog row does not end in its frame"
printf '%s\n' "$frame" | tail -n1 | grep -q '┘$' || fail "the frame does not close"
# The two group boxes share their right edge too.
[ "$(screen | grep -F "┌ $group_mass" | wc -L)" -eq "$(screen | grep -F "┌ $group_normal" | wc -L)" ] ||
  fail "group boxes of different widths"

echo "Enter: switch to mass storage"
t send-keys -t tolvane Enter
wait_for "$ask_switch"
screen | grep -q "\[ *$yes *\]" || fail "no $yes button"
screen | grep -q "\[ *$no *\]" || fail "no $no button"
boxed 19 "$question_hint"
t send-keys -t tolvane Enter # the yes button is the default
wait_for "$switched"
wait_for "mass storage, PhysicalDrive2 = target 0 (read-only)"
boxed 19 "$close_hint"
t send-keys -t tolvane Enter # OK
wait_for -n "$switched"

echo "Tab to the second $run: back to the normal state"
# The second Enter comes before the question: it must not answer it.
t send-keys -t tolvane Tab Tab Tab Enter Enter
wait_for "$ask_return"
sleep 0.5
screen | grep -qF "$ask_return" || fail "an Enter typed ahead answered the question"
t send-keys -t tolvane Enter
wait_for "$returned"
t send-keys -t tolvane Enter
wait_for -n "$returned"
wait_for "normal, COM3 COM4"

echo "the field: 9 is cut to 6, a paste keeps its digits, Up raises"
t send-keys -t tolvane BTab 9 # Shift+Tab from the second run button to the field
wait_for "[6 "
t send-keys -t tolvane BSpace
wait_for "[  "
t set-buffer -b tolvane "a3b"
t paste-buffer -p -d -b tolvane -t tolvane
wait_for "[3 "
t send-keys -t tolvane Up
wait_for "[4 "

echo "Alt+A: the About box"
t send-keys -t tolvane M-a
wait_for "Tolvane Version 1.0"
screen | grep -qF "$about_caption" || fail "About box without its caption"
boxed 19 "$close_hint"
t send-keys -t tolvane Escape
wait_for -n "Tolvane Version 1.0"
echo "a larger screen: the About box again"
t resize-window -t tolvane -x 100 -y 30
t send-keys -t tolvane F1
wait_for "Tolvane Version 1.0"
boxed 30 "$close_hint"
t send-keys -t tolvane Escape
wait_for -n "Tolvane Version 1.0"

echo "Escape: the end"
t send-keys -t tolvane Escape
deadline=$((SECONDS + 10))
while [ ! -f "$status" ]; do
  [ $SECONDS -lt $deadline ] || fail "tolvane did not end on Escape"
  sleep 0.1
done
code=$(cat "$status")
[ "$code" = 0 ] || fail "tolvane ended with exit code $code"
deadline=$((SECONDS + 10))
until [ "$(t list-panes -t tolvane -F '#{pane_dead}' 2>/dev/null || echo 1)" = 1 ]; do
  [ $SECONDS -lt $deadline ] || fail "the pane's process did not exit"
  sleep 0.1
done
echo "PASS"
