#!/usr/bin/env bash
# Takes the README's pictures of the dialog: the real program under wine64 on
# an Xvfb display, inside a Wine virtual desktop (there is no window manager,
# so Wine draws the window frames itself), in a throw-away prefix set up as a
# Japanese PC on which the tool may run (Wine gives it full access to the
# machine's keys, so the administrator check passes, database or not); the
# dialog font "ＭＳ Ｐゴシック" is replaced by the proportional IPA Gothic.
# With --english, a PC with an English display instead (the C.UTF-8 locale),
# on which the program shows its English dialog (in Wine's Tahoma). The 64-bit
# build is used because this machine cannot run 32-bit programs.
#
# Usage: wine-screenshot.sh [--english] [PROGRAM.exe [OUTPUT.png]]
# Defaults: build/win64-test/src/ui/win32/Tolvane.exe and
# docs/tolvane-wine.png (docs/tolvane-wine-en.png with --english). Needs
# Xvfb, ImageMagick, fonts-ipafont-gothic and fonts-wine (Tahoma, and the
# frame's buttons).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
locale=ja_JP.UTF-8
default_output=$root/docs/tolvane-wine.png
if [ "${1:-}" = --english ]; then
  locale=C.UTF-8
  default_output=$root/docs/tolvane-wine-en.png
  shift
fi
program=${1:-$root/build/win64-test/src/ui/win32/Tolvane.exe}
output=${2:-$default_output}
width=640
height=400

for tool in Xvfb import convert compare; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "wine-screenshot.sh: $tool is missing (run scripts/install-deps.sh)" >&2
    exit 1
  fi
done
if [ ! -f "$program" ]; then
  echo "wine-screenshot.sh: no program at $program (build the win64-test preset)" >&2
  exit 1
fi
if ! fc-list | grep -q 'IPAPGothic'; then
  echo "wine-screenshot.sh: the IPA P Gothic font is missing (fonts-ipafont-gothic)" >&2
  exit 1
fi
wine_fonts=/usr/share/wine/fonts
if [ ! -f "$wine_fonts/marlett.ttf" ]; then
  echo "wine-screenshot.sh: warning: fonts-wine is missing; the frame's buttons will show letters" >&2
fi

TOLVANE_WINE64=${TOLVANE_WINE64:-/usr/lib/wine/wine64}
TOLVANE_WINESERVER=${TOLVANE_WINESERVER:-/usr/lib/wine/wineserver}
work=$(mktemp -d)
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=$locale

# shellcheck source=scripts/xvfb-display.sh
source "$(dirname "${BASH_SOURCE[0]}")/xvfb-display.sh"
cleanup() {
  stop_wine_and_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start_xvfb "${width}x${height}" "$work/display" wine-screenshot.sh

echo "Preparing a Wine prefix in $WINEPREFIX"
"$TOLVANE_WINE64" wineboot --init >/dev/null 2>&1
"$TOLVANE_WINE64" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
  /v 'ＭＳ Ｐゴシック' /d 'IPAPGothic' /f >/dev/null 2>&1
# The frame's buttons are glyphs of the Marlett font, and the English
# dialog's font is Tahoma; this Wine finds its own fonts only in the
# prefix's font folder.
for font in marlett.ttf tahoma.ttf tahomabd.ttf; do
  if [ -f "$wine_fonts/$font" ]; then
    cp "$wine_fonts/$font" "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
done

echo "Starting $(basename "$program")"
"$TOLVANE_WINE64" explorer "/desktop=shot,${width}x${height}" "$program" >/dev/null 2>&1 &

# The dialog is up when the screen shows more than the desktop's plain
# background and two captures a moment apart are the same.
previous=""
shot=""
for i in $(seq 1 120); do
  sleep 0.5
  shot="$work/shot-$i.png"
  import -window root "$shot" 2>/dev/null || continue
  colours=$(convert "$shot" -format '%k' info:)
  if [ "$colours" -gt 16 ] && [ -n "$previous" ] &&
    [ "$(compare -metric AE "$previous" "$shot" null: 2>&1 || true)" = "0" ]; then
    mkdir -p "$(dirname "$output")"
    cp "$shot" "$output"
    echo "Saved $output"
    exit 0
  fi
  previous=$shot
done
echo "wine-screenshot.sh: the dialog did not settle within a minute" >&2
exit 1
