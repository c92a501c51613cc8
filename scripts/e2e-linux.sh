#!/usr/bin/env bash
# e2e-linux.sh PTY_ADAPTER TOLVANE
# `tolvane` end to end on the kernel's tty layer: in a private mount
# namespace, a kernel-like sysfs tree (the adapter's USB device with its two
# CDC ACM interfaces, ttyACM0 and ttyACM1) lies over /sys, and a private
# /dev holds the pseudo-terminals' slave sides, bound over /dev/ttyACM0 and
# /dev/ttyACM1, where pty_adapter plays the adapter on the master sides.
# When the adapter leaves the bus it takes its ttys out of the tree and, for
# a switch, adds the SCSI disk it comes back as, as the kernel does. One row
# of the table below per run of the program, each with a fresh adapter and
# tree; the last row runs the dialog in tmux. The return's SG_IO has no
# stand-in here: the fake trees of the Linux suite cover it.
#
# Needs root (mounts) and unshare; exits 77 (skipped) without them or
# without tmux, 0 when every row passes, 1 otherwise. Every mount lives in
# the namespace and goes with it; every process started is stopped.
set -euo pipefail

pty_adapter=${1:?usage: e2e-linux.sh PTY_ADAPTER TOLVANE}
bin=${2:?}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Everything below the re-run mounts over /dev and /sys: only ever in a mount
# namespace of its own, which its parent does not share.
if [ -z "${TOLVANE_E2E_NAMESPACE:-}" ] ||
  [ "$(readlink /proc/self/ns/mnt)" = "$(readlink /proc/$PPID/ns/mnt)" ]; then
  skip() {
    echo "SKIP: $*"
    exit 77
  }
  [ "$(id -u)" = 0 ] || skip "needs root for its mounts (it changes nothing outside its own mount namespace)"
  command -v unshare >/dev/null || skip "unshare is missing (util-linux)"
  command -v tmux >/dev/null || skip "tmux is missing (scripts/install-deps.sh linux)"
  unshare -m --propagation private true 2>/dev/null || skip "no private mount namespace here (unshare -m refused)"
  TOLVANE_E2E_NAMESPACE=1 exec unshare -m --propagation private bash "$0" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-e2e-linux.XXXXXX")
# shellcheck source=scripts/e2e-common.sh
source "$here/e2e-common.sh"
sock=$work/tmux.sock
holder=""
cleanup() {
  stop_adapter
  [ -z "$holder" ] || kill "$holder" 2>/dev/null || true
  tmux -S "$sock" kill-server >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
start=$SECONDS
export LC_ALL=C.UTF-8
unset LANGUAGE LC_MESSAGES

# The private /dev: what a program and tmux need, the real pseudo-terminals,
# and the two files the adapter's lines are bound over.
mkdir "$work/dev"
mount -t tmpfs -o mode=755 tolvane-e2e-dev "$work/dev"
for node in null zero full random urandom tty; do
  touch "$work/dev/$node"
  mount --bind "/dev/$node" "$work/dev/$node"
done
mkdir "$work/dev/pts"
mount --rbind /dev/pts "$work/dev/pts"
# The pseudo-terminal multiplexer finds its instance beside it only as a
# link into it (a bound node would look for it beside the real one).
ln -s pts/ptmx "$work/dev/ptmx"
ln -s /proc/self/fd "$work/dev/fd"
touch "$work/dev/ttyACM0" "$work/dev/ttyACM1"
mount --move "$work/dev" /dev
mount -t tmpfs -o mode=755 tolvane-e2e-sys /sys

# The adapter's USB device and its two CDC ACM interfaces, linked as the
# kernel links them.
usb=devices/pci0000:00/0000:00:14.0/usb1/1-2
make_tree() {
  find /sys -mindepth 1 -delete
  mkdir -p "/sys/$usb" /sys/bus/usb /sys/bus/scsi/devices /sys/class/tty
  echo 04d8 >"/sys/$usb/idVendor"
  echo e6b2 >"/sys/$usb/idProduct"
  ln -s ../../../../../bus/usb "/sys/$usb/subsystem"
  for n in 0 1; do
    mkdir -p "/sys/$usb/1-2:1.$((2 * n))/tty/ttyACM$n"
    ln -s "../../../1-2:1.$((2 * n))" "/sys/$usb/1-2:1.$((2 * n))/tty/ttyACM$n/device"
    ln -s "../../$usb/1-2:1.$((2 * n))/tty/ttyACM$n" "/sys/class/tty/ttyACM$n"
  done
}
# Run by the adapter when it leaves the bus: its ttys go, and after a
# switch its disk comes (TOLVANE_TARGET, TOLVANE_WRITABLE).
cat >"$work/leave.sh" <<LEAVE
set -e
rm -f /sys/class/tty/ttyACM0 /sys/class/tty/ttyACM1
rm -rf /sys/$usb/1-2:1.*
[ -n "\${TOLVANE_TARGET:-}" ] || exit 0
disk=/sys/$usb/1-2:1.0/host6/target6:0:0/6:0:0:0
mkdir -p "\$disk/block/sdb" "\$disk/scsi_generic/sg2"
echo 0 >"\$disk/type"
echo TOLVANE >"\$disk/vendor"
echo "TARGET \$TOLVANE_TARGET" >"\$disk/model"
echo 2048 >"\$disk/block/sdb/size"
echo \$((1 - TOLVANE_WRITABLE)) >"\$disk/block/sdb/ro"
ln -s ../../../../../bus/usb /sys/$usb/1-2:1.0/subsystem
ln -s ../../../$usb/1-2:1.0/host6/target6:0:0/6:0:0:0 /sys/bus/scsi/devices/6:0:0:0
LEAVE

# new_adapter [OPTIONS...]: a fresh tree and adapter, its lines on the nodes.
new_adapter() {
  make_tree
  start_adapter "$work/adapter" --on-leave "sh $work/leave.sh" "$@"
  for n in 0 1; do
    umount /dev/ttyACM$n 2>/dev/null || true
    mount --bind "$(readlink "$work/adapter/port$n")" /dev/ttyACM$n
  done
}

# What the program sets on the line, as the adapter sees it (the
# pseudo-terminal forces 8 data bits without parity generation).
line="480000000 cs8 -parenb -parodd -cstopb -inpck"

# NAME | ADAPTER OPTIONS | COMMAND | EXIT | OUTPUT (NAME[=VALUE] from the
# text table, as the JSON message, or as a line of text with "text:") | PORT 0
# The commands speak English here (the C.UTF-8 locale), the dialog below
# Japanese.
text_language=en
rows=(
  "status       |                  | status                          | 0 | text:kCliFirmware=v0.41 | 76"
  "switch       |                  | switch --id 3 --writable --yes --json | 0 | kSwitchedToMass | 76 78 b3"
  "old firmware | --firmware v0.39 | switch --id 3 --yes --json      | 7 | kOldVersionFormat=v0.39 | 76"
  "no reply     | --silent         | switch --id 3 --yes --json      | 6 | kNoResponse             | 76"
  "stays        | --stay           | switch --id 0 --yes --json      | 9 | kUnknownError           | 76 78 30"
  "port held    | hold             | switch --id 3 --yes --json      | 5 | kPortNotFound           |"
)

for row in "${rows[@]}"; do
  IFS='|' read -r name options command code output bytes <<<"$row"
  name=$(echo $name)
  options=$(echo $options)
  output=$(echo $output)
  row_start=$SECONDS
  if [ "$options" = hold ]; then
    new_adapter
    # Another program holds the port, as a terminal program would.
    sleep 60 <>/dev/ttyACM0 &
    holder=$!
  else
    # shellcheck disable=SC2086 # options are words
    new_adapter $options
  fi
  # shellcheck disable=SC2086
  got=$(timeout 30 setsid -w "$bin" $command </dev/null 2>&1) && status=0 || status=$?
  check "$name" "exit code" "$(echo $code)" "$status"
  expect=${output#text:}
  value=""
  [[ "$expect" != *=* ]] || value=${expect#*=}
  wanted=$(text "${expect%%=*}" "$value")
  if [ "$expect" = "$output" ]; then
    wanted="\"message\": \"$wanted\","
  fi
  grep -qF -- "$wanted" <<<"$got" || check "$name" "output" "a line with: $wanted" "$got"
  if [ "$name" = switch ]; then
    grep -qF '"device": "/dev/sdb"' <<<"$got" || check "$name" "new disk" "/dev/sdb" "$got"
  fi
  if [ "$name" = "port held" ]; then
    reason='"systemError": "/dev/ttyACM0: held by another process"'
    grep -qF -- "$reason" <<<"$got" || check "$name" "system's reason" "$reason" "$got"
  fi
  [ -z "$holder" ] || { kill "$holder"; wait "$holder" 2>/dev/null || true; holder=""; }
  stop_adapter
  check_adapter "$name" "$work/adapter" "$(echo $bytes)" "$line"
  echo "row '$name': $((SECONDS - row_start)) s"
done

# The dialog in tmux, in Japanese (a locale name that need not be
# installed): ID 3, 実行, はい, the success box.
text_language=ja
row_start=$SECONDS
new_adapter
screen() { tmux -S "$sock" capture-pane -p -t e2e 2>/dev/null || true; }
# wait_screen [-n] TEXT: up to 15 s for the screen to show TEXT (with -n:
# no longer to show it).
wait_screen() {
  local want=0 deadline=$((SECONDS + 15))
  if [ "$1" = -n ]; then want=1; shift; fi
  until screen | grep -qF -- "$1"; [ $? -eq $want ]; do
    if [ $SECONDS -ge $deadline ]; then
      check dialog "screen" "$([ $want -eq 0 ] || echo "no ")$1" "$(screen)"
      return 1
    fi
    sleep 0.1
  done
}
printf '#!/bin/sh\nLC_ALL=ja_JP.UTF-8 timeout --foreground 40 "%s"\necho $? >"%s/status"\n' \
  "$bin" "$work" >"$work/run.sh"
tmux -S "$sock" -f /dev/null new-session -d -s e2e -x 100 -y 30 sh "$work/run.sh"
if wait_screen "$(text kMainCaption)"; then
  tmux -S "$sock" send-keys -t e2e Tab Tab 3 # from 実行 past QUIT into the field
  wait_screen "[3 " && tmux -S "$sock" send-keys -t e2e Enter &&
    wait_screen "$(text kAskSwitchToMass)" && tmux -S "$sock" send-keys -t e2e Enter &&
    wait_screen "$(text kSwitchedToMass)" && tmux -S "$sock" send-keys -t e2e Enter &&
    wait_screen -n "$(text kSwitchedToMass)" && tmux -S "$sock" send-keys -t e2e Escape
fi
for _ in $(seq 1 100); do
  [ -f "$work/status" ] && break
  sleep 0.1
done
check dialog "exit code" 0 "$(cat "$work/status" 2>/dev/null || echo none)"
stop_adapter
check_adapter dialog "$work/adapter" "76 78 33" "$line"
echo "row 'dialog': $((SECONDS - row_start)) s"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "PASS in $((SECONDS - start)) s"
