#!/usr/bin/env bash
# e2e-wine.sh PTY_ADAPTER MODEM_SHIM WIN64_BUILD_DIR
# Tolvane.exe end to end under wine64: the x86_64 build of the shipped
# program (this machine cannot run the i686 one) opens COM3, which Wine's
# serial layer maps to the master side of a pseudo-terminal where
# pty_adapter plays the adapter; e2e_driver.exe writes the registry the
# program reads and plays the user (see tests/e2e/). One row of the table
# below per run of the program, each with a fresh adapter. The return's
# button is never pressed: under Wine \\.\PhysicalDrive0 is this machine's
# own disk.
#
# Facts of Wine 8 this relies on:
# - GetCommModemStatus reads TIOCMGET, which a pseudo-terminal refuses;
#   MODEM_SHIM (LD_PRELOAD) answers it as a live USB serial port does and
#   lets the EIO of a hung-up line through.
# - A rate without a termios code (480000000) is set through a custom
#   divisor, which a pseudo-terminal ignores: the line stays at 38400.
#   Standard rates, stop bits and parity arrive as set; the pseudo-terminal
#   itself forces 8 data bits without parity generation (cs8 -parenb).
# - The server takes the pseudo-terminal as its controlling terminal and
#   dumps its objects to standard error at each hang-up: that goes to a file.
#
# Exits 0 when every row passes, 1 otherwise, 77 (skipped) without Wine or
# without the win64-test build.
set -euo pipefail

pty_adapter=${1:?usage: e2e-wine.sh PTY_ADAPTER MODEM_SHIM WIN64_BUILD_DIR}
shim=${2:?}
win64=${3:?}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

skip() {
  echo "SKIP: $*"
  exit 77
}
[ -x /usr/lib/wine/wine64 ] || skip "wine64 is not installed (scripts/install-deps.sh windows)"
exe=$win64/src/platform/win32/app/Tolvane.exe
driver=$win64/tests/e2e/e2e_driver.exe
[ -f "$exe" ] && [ -f "$driver" ] ||
  skip "no Tolvane.exe and e2e_driver.exe in $win64 (cmake --preset win64-test && cmake --build --preset win64-test)"

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-e2e-wine.XXXXXX")
TOLVANE_WINE_BUILD_DIR=$work
# shellcheck source=scripts/wine-env.sh
source "$here/wine-env.sh"
export WINEPREFIX=$work/prefix
# shellcheck source=scripts/e2e-common.sh
source "$here/e2e-common.sh"

cleanup() {
  stop_adapter
  "$TOLVANE_WINESERVER" -k >/dev/null 2>&1 || true
  "$TOLVANE_WINESERVER" -w >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

start=$SECONDS
"$TOLVANE_WINE64" wineboot --init >/dev/null 2>&1
# Windows without a display: the null driver, which the server takes at its
# next start.
"$TOLVANE_WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
"$TOLVANE_WINESERVER" -k >/dev/null 2>&1 || true
"$TOLVANE_WINESERVER" -w >/dev/null 2>&1 || true
"$TOLVANE_WINESERVER" -p 2>"$work/wineserver.log"
echo "Wine prefix ready in $((SECONDS - start)) s"

# What the program sets on the line, as the adapter sees it under Wine.
line="38400 cs8 -parenb -parodd -cstopb -inpck"

# NAME | ADAPTER OPTIONS ("-": no adapter) | DRIVER OPTIONS | BOXES | PORT 0
# BOXES: ask:NAME (a question, answered yes) or say:NAME[=VALUE] (a
# message, with VALUE for its %s), NAME from the text table.
rows=(
  "3 writable       |                 | --id 3 --writable  | ask:kAskSwitchToMass say:kSwitchedToMass | 76 78 b3"
  "5 read-only      |                 | --id 5             | ask:kAskSwitchToMass say:kSwitchedToMass | 76 78 35"
  "old firmware     | --firmware v0.39| --id 3             | say:kOldVersionFormat=v0.39              | 76"
  "no reply         | --silent        | --id 3             | say:kNoResponse                          | 76"
  "stays on the bus | --stay          | --id 2             | ask:kAskSwitchToMass say:kUnknownError   | 76 78 32"
  "leaves at the question |         | --id 3 --unplug-at-question | ask:kAskSwitchToMass say:kUnknownError | 76"
  "no adapter       | -               | --no-adapter       | say:kAdapterNotFoundMaybeMass            |"
  "second press     |                 | --id 4 --presses 2 | ask:kAskSwitchToMass say:kSwitchedToMass say:kAdapterNotFoundMaybeMass | 76 78 34"
  "no COM database  |                 | --id 0 --no-arbiter | ask:kAskSwitchToMass say:kSwitchedToMass | 76 78 30"
)

for row in "${rows[@]}"; do
  IFS='|' read -r name adapter_options driver_options boxes bytes <<<"$row"
  name=$(echo $name)
  bytes=$(echo $bytes)
  row_start=$SECONDS
  dir=$work/adapter
  rm -f "$WINEPREFIX/dosdevices/com3" "$WINEPREFIX/dosdevices/com4"
  if [ "$(echo $adapter_options)" != - ]; then
    # shellcheck disable=SC2086 # options are words
    start_adapter "$dir" $adapter_options
    ln -s "$(readlink "$dir/port0")" "$WINEPREFIX/dosdevices/com3"
    ln -s "$(readlink "$dir/port1")" "$WINEPREFIX/dosdevices/com4"
  fi
  wanted=""
  for box in $boxes; do
    spec=${box#*:}
    if [[ "$spec" == *=* ]]; then
      wanted+="${box%%:*} $(text "${spec%%=*}" "${spec#*=}")"$'\n'
    else
      wanted+="${box%%:*} $(text "$spec")"$'\n'
    fi
  done
  wanted+="exit 0"
  # shellcheck disable=SC2086
  got=$(LD_PRELOAD=$shim timeout 40 "$TOLVANE_WINE64" "$driver" "$(windows_path "$exe")" \
    "Z:$dir" $driver_options 2>>"$work/wine.log") || true
  check "$name" "message boxes" "$wanted" "$got"
  if [ "$(echo $adapter_options)" != - ]; then
    stop_adapter
    check_adapter "$name" "$dir" "$bytes" "$line"
  fi
  echo "row '$name': $((SECONDS - row_start)) s"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "PASS in $((SECONDS - start)) s"
