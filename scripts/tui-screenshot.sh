#!/usr/bin/env bash
# Takes the README's pictures of the terminal dialog: `tolvane --simulate` in
# a detached tmux pane of 76 x 22 cells, in the language of LOCALE (the
# program's; tmux itself runs under C.UTF-8), read back with its
# attributes (tmux capture-pane -e) and drawn cell by cell with ImageMagick
# (scripts/screen-to-mvg.py): IPA Gothic for the Japanese, DejaVu Sans Mono
# for the rest, the frames as lines.
#
# Usage: tui-screenshot.sh [TOLVANE [OUTPUT.png [LOCALE]]]
# Defaults: build/debug/src/ui/tolvane, docs/tolvane-tui.png, ja_JP.UTF-8
# (the English picture: docs/tolvane-tui-en.png with C.UTF-8).
# Needs tmux, ImageMagick, python3, fonts-ipafont-gothic and
# fonts-dejavu-core.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
program=${1:-$root/build/debug/src/ui/tolvane}
output=${2:-$root/docs/tolvane-tui.png}
locale=${3:-ja_JP.UTF-8}
columns=76
rows=22
wide=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
narrow=/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf

for tool in tmux convert python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "tui-screenshot.sh: $tool is missing" >&2; exit 1; }
done
for font in "$wide" "$narrow"; do
  [ -f "$font" ] || { echo "tui-screenshot.sh: the font $font is missing" >&2; exit 1; }
done
[ -x "$program" ] || { echo "tui-screenshot.sh: no program at $program (build the debug preset)" >&2; exit 1; }

work=$(mktemp -d)
sock=$work/tmux.sock
trap 'tmux -S "$sock" kill-server >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
unset TMUX
tmux -S "$sock" -f /dev/null new-session -d -s shot -x "$columns" -y "$rows" \
  "env -u LANGUAGE LANG=C.UTF-8 LC_ALL=$locale timeout 30 $(printf %q "$program") --simulate"

# Waits until the virtual PC's status line shows the normal state.
for _ in $(seq 50); do
  tmux -S "$sock" capture-pane -p -t shot | grep -q 'normal, COM3 COM4' && break
  sleep 0.2
done
tmux -S "$sock" capture-pane -p -e -t shot >"$work/screen"
grep -q 'normal, COM3 COM4' "$work/screen" || { echo "tui-screenshot.sh: the dialog did not come up" >&2; cat "$work/screen" >&2; exit 1; }

python3 "$root/scripts/screen-to-mvg.py" "$columns" "$rows" "$wide" "$narrow" <"$work/screen" >"$work/screen.mvg"
convert "mvg:$work/screen.mvg" -strip "$output"
echo "tui-screenshot.sh: wrote $output"
