#!/usr/bin/env bash
# e2e-wine.sh PTY_ADAPTER MODEM_SHIM WIN64_BUILD_DIR
# Tolvane.exe end to end under wine64: the x86_64 build of the shipped
# program (this machine cannot run the i686 one) opens COM3, which Wine's
# serial layer maps to the slave side of a pseudo-terminal on whose master
# pty_adapter plays the adapter; e2e_driver.exe plays the user. This script
# plays the rest of the machine: the registry the program reads (the
# COM-port database, the adapter's two USB serial interfaces under Enum,
# present through their ClassGUID) and Plug and Play when the adapter
# leaves the bus (the ClassGUID values go, the keys stay). One row of the
# table below per run of the program, each with a fresh adapter. The
# return's button is never pressed: under Wine \\.\PhysicalDrive0 is this
# machine's own disk.
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
exe=$win64/src/ui/win32/Tolvane.exe
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

enum='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\USB\VID_04D8&PID_E6B2'
arbiter='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\COM Name Arbiter'
ports_class='{4d36e978-e325-11ce-bfc1-08002be10318}'
# multi_sz TEXT...: a REG_MULTI_SZ in the notation of a registry file
# that is not in UTF-16 (one byte per character).
multi_sz() {
  { printf '%s\0' "$@"; printf '\0'; } | od -An -vtx1 | tr -s ' \n' ',' | sed 's/^,//; s/,$//'
}
# registry ADAPTER ARBITER (each yes or no): the registry as the program
# finds it at its start.
registry() {
  echo 'Windows Registry Editor Version 5.00'
  echo "[-$arbiter]"
  if [ "$2" = yes ]; then
    echo "[$arbiter]"
    echo "\"ComDB\"=hex:0c$(printf ',00%.0s' $(seq 31))" # COM3 and COM4 taken
  fi
  for mi in 0 2; do
    echo "[-$enum&MI_0$mi]"
    [ "$1" = yes ] || continue
    echo "[$enum&MI_0$mi\\6&2b8f1d3a&0&000$mi]"
    echo "\"ClassGUID\"=\"$ports_class\""
    echo "\"Driver\"=\"$ports_class\\\\000$((3 + mi / 2))\""
    echo "\"HardwareID\"=hex(7):$(multi_sz "USB\\VID_04D8&PID_E6B2&REV_0100&MI_0$mi" \
      "USB\\VID_04D8&PID_E6B2&MI_0$mi")"
    echo "[$enum&MI_0$mi\\6&2b8f1d3a&0&000$mi\\Device Parameters]"
    echo "\"PortName\"=\"COM$((3 + mi / 2))\""
  done
}
# Plug and Play when the adapter has left: run by the adapter, which
# creates its "gone" file after it.
{
  echo 'Windows Registry Editor Version 5.00'
  for mi in 0 2; do
    echo "[$enum&MI_0$mi\\6&2b8f1d3a&0&000$mi]"
    echo '"ClassGUID"=-'
  done
} >"$work/unplugged.reg"
unplug="'$TOLVANE_WINE64' regedit /S '$(windows_path "$work/unplugged.reg")' 2>>'$work/wine.log'"

# NAME | REGISTRY | ADAPTER OPTIONS ("-": none) | DRIVER OPTIONS | BOXES | PORT 0
#   [| en]
# REGISTRY: the adapter's interfaces and the COM-port database, yes or no.
# BOXES: ask:NAME (a question, answered yes) or say:NAME[=VALUE] (a
# message, with VALUE for its %s), NAME from the text table. en: the
# program runs for a user whose Windows display is English, on code page
# 932 all the same (Wine: LC_MESSAGES=en_US.UTF-8 without LC_ALL), and the
# boxes are the table's English texts.
rows=(
  "3 writable       | yes yes |                  | --id 3 --writable  | ask:kAskSwitchToMass say:kSwitchedToMass | 76 78 b3"
  "5 read-only      | yes yes |                  | --id 5             | ask:kAskSwitchToMass say:kSwitchedToMass | 76 78 35"
  "old firmware     | yes yes | --firmware v0.39 | --id 3             | say:kOldVersionFormat=v0.39              | 76"
  "no reply         | yes yes | --silent         | --id 3             | say:kNoResponse                          | 76"
  "stays on the bus | yes yes | --stay           | --id 2             | ask:kAskSwitchToMass say:kUnknownError   | 76 78 32"
  "leaves at the question | yes yes | --leave-after 300 | --id 3 --answer-when-gone | ask:kAskSwitchToMass say:kUnknownError | 76"
  "no adapter       | no yes  | -                | --id 3             | say:kAdapterNotFoundMaybeMass            |"
  "port does not open | yes yes | -              | --id 3             | say:kPortNotFound                        |"
  "second press, English | yes yes |             | --id 4 --presses 2 | ask:kAskSwitchToMass say:kSwitchedToMass say:kAdapterNotFoundMaybeMass | 76 78 34 | en"
  "no COM database  | yes no  |                  | --id 0             | ask:kAskSwitchToMass say:kSwitchedToMass | 76 78 30"
)

for row in "${rows[@]}"; do
  IFS='|' read -r name plugged adapter_options driver_options boxes bytes language <<<"$row"
  name=$(echo $name)
  bytes=$(echo $bytes)
  adapter_options=$(echo $adapter_options)
  text_language=$(echo ${language:-ja})
  locale_env=(env)
  if [ "$text_language" = en ]; then
    locale_env=(env -u LC_ALL LANG="$LC_ALL" LC_CTYPE="$LC_ALL" LC_MESSAGES=en_US.UTF-8)
  fi
  row_start=$SECONDS
  dir=$work/adapter
  # shellcheck disable=SC2086 # words
  registry $plugged >"$work/row.reg"
  "$TOLVANE_WINE64" regedit /S "$(windows_path "$work/row.reg")" 2>>"$work/wine.log"
  rm -f "$WINEPREFIX/dosdevices/com3" "$WINEPREFIX/dosdevices/com4"
  if [ "$adapter_options" != - ]; then
    # shellcheck disable=SC2086
    start_adapter "$dir" --on-leave "$unplug" $adapter_options
    ln -s "$(readlink "$dir/port0")" "$WINEPREFIX/dosdevices/com3"
    ln -s "$(readlink "$dir/port1")" "$WINEPREFIX/dosdevices/com4"
  fi
  wanted=""
  for box in $boxes; do
    expect=${box#*:}
    value=""
    [[ "$expect" != *=* ]] || value=${expect#*=}
    wanted+="${box%%:*} $(printf '%b' "$(text "${expect%%=*}" "$value")")"$'\n'
  done
  wanted+="exit 0"
  # shellcheck disable=SC2086
  got=$(LD_PRELOAD=$shim timeout 60 "${locale_env[@]}" "$TOLVANE_WINE64" "$driver" "$(windows_path "$exe")" \
    "$(windows_path "$dir/gone")" $driver_options 2>>"$work/wine.log") || true
  check "$name" "message boxes" "$wanted" "$got"
  if [ "$adapter_options" != - ]; then
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
