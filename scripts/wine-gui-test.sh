#!/usr/bin/env bash
# Runs one Windows test program that opens windows, under wine64 on a display
# of its own: a fresh Xvfb server (no window manager), a Wine prefix of its
# own beside the suite's (so that its wineserver and its desktop belong to
# this display, whatever the rest of the suite runs meanwhile), and the
# locale given in TOLVANE_GUI_LC_ALL (default ja_JP.UTF-8), which sets
# Wine's ANSI code page and the user's display language. Wine 8 takes the
# code page from LC_CTYPE and the display language from LC_MESSAGES:
# TOLVANE_GUI_LC_MESSAGES, when set, gives the latter a locale of its own
# (en_US.UTF-8 under ja_JP.UTF-8: an English display with code page 932; it
# need not be installed, Wine goes by its name). Everything started here is
# stopped again on the way out, also when the program fails or the run is
# interrupted.
#
# Usage: wine-gui-test.sh PROGRAM.exe [ARGS...]
# Two runs of the same build tree share the prefix: run them one at a time
# (CTest: RESOURCE_LOCK).
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM.exe [ARGS...]" >&2
  exit 2
fi
program=$1
shift

# The build tree is the nearest folder above the program with a CMakeCache.txt.
dir=$(cd "$(dirname "$program")" && pwd)
while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do
  dir=$(dirname "$dir")
done
if [ ! -f "$dir/CMakeCache.txt" ]; then
  echo "wine-gui-test.sh: no build tree above $program" >&2
  exit 2
fi
TOLVANE_WINE_BUILD_DIR=$dir
export TOLVANE_WINE_BUILD_DIR

# shellcheck source=scripts/wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
# What differs from the suite's environment: prefix, locale, display.
export WINEPREFIX=$TOLVANE_WINE_BUILD_DIR/wineprefix-gui
locale=${TOLVANE_GUI_LC_ALL:-ja_JP.UTF-8}
wanted=$(tr '[:upper:]' '[:lower:]' <<<"$locale" | sed 's/utf-8$/utf8/')
case "$wanted" in
  c | posix) ;;
  *)
    if ! locale -a 2>/dev/null | tr '[:upper:]' '[:lower:]' | grep -qxF "$wanted"; then
      echo "wine-gui-test.sh: the locale $locale is not installed" >&2
      exit 1
    fi
    ;;
esac
export LC_ALL=$locale
if [ -n "${TOLVANE_GUI_LC_MESSAGES:-}" ]; then
  # LC_ALL would win over LC_MESSAGES. Bash warns when it cannot load the
  # messages' locale itself, which Wine does not need.
  unset LC_ALL
  export LANG=$locale LC_CTYPE=$locale
  { export LC_MESSAGES=$TOLVANE_GUI_LC_MESSAGES; } 2>/dev/null
fi
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "wine-gui-test.sh: Xvfb is missing (run scripts/install-deps.sh)" >&2
  exit 1
fi

# shellcheck source=scripts/xvfb-display.sh
source "$(dirname "${BASH_SOURCE[0]}")/xvfb-display.sh"
cleanup() {
  stop_wine_and_xvfb
  rm -f "${display_file:-}"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

display_file=$(mktemp)
start_xvfb 1024x768 "$display_file" wine-gui-test.sh

# A stale server of this prefix would sit on another (gone) display.
"$TOLVANE_WINESERVER" -k >/dev/null 2>&1 || true
"$TOLVANE_WINESERVER" -w >/dev/null 2>&1 || true
mkdir -p "$WINEPREFIX"
"$TOLVANE_WINE64" wineboot --init >/dev/null 2>&1
# With no window manager on the display, Wine would wait up to two seconds
# for one each time a window with a frame goes away; unmanaged windows it
# handles itself.
"$TOLVANE_WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

set +e
"$TOLVANE_WINE64" "$program" "$@"
status=$?
set -e
exit "$status"
