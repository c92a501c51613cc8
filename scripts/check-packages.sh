#!/usr/bin/env bash
# check-packages.sh [DIR]: checks the two packages that `make package` leaves
# in DIR (build/ by default) for the project's version.
# - tolvane_<version>_<arch>.deb: lintian finds no errors; unpacked into a
#   throw-away folder, the program answers --version and --help; the udev
#   rule, the manual page and the documents are where Debian wants them;
#   the dependencies name libc and the ncursesw runtime.
# - Tolvane-<version>-win32.zip: README.txt beside a stripped PE32 GUI
#   Tolvane.exe with the right resources and manifest (inspect-exe.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
version=$(sed -nE 's/^project\(Tolvane VERSION ([0-9.]+) .*/\1/p' CMakeLists.txt)
deb=$dir/tolvane_${version}_$(dpkg --print-architecture).deb
zip=$dir/Tolvane-${version}-win32.zip
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "lintian $deb"
lintian --fail-on error "$deb"
dpkg-deb -x "$deb" "$work/deb"
root=$work/deb
[ "$("$root/usr/bin/tolvane" --version)" = "Tolvane $version" ] || fail "tolvane --version"
"$root/usr/bin/tolvane" --help | grep -q '^Usage: tolvane' || fail "tolvane --help"
rule=$root/lib/udev/rules.d/60-tolvane.rules
[ -f "$rule" ] || fail "no udev rule at ${rule#"$root"}"
for part in 'SUBSYSTEM=="tty"' 'ATTRS{idVendor}=="04d8"' 'ATTRS{idProduct}=="e6b2"' \
  'ENV{ID_MM_DEVICE_IGNORE}="1"' 'TAG+="uaccess"'; do
  grep -v '^#' "$rule" | grep -qF -- "$part" || fail "the udev rule lacks $part"
done
gzip -t "$root/usr/share/man/man1/tolvane.1.gz" || fail "no manual page tolvane(1)"
for doc in README.md copyright changelog.gz; do
  [ -f "$root/usr/share/doc/tolvane/$doc" ] || fail "no /usr/share/doc/tolvane/$doc"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libncursesw6; do
  grep -qw "$lib" <<<"$depends" || fail "Depends ($depends) lacks $lib"
done
echo "deb: lintian clean of errors; --version, --help, udev rule, manual page, documents, Depends"

echo "zip $zip"
unzip -q "$zip" -d "$work/zip"
folder=$work/zip/Tolvane-$version-win32
[ "$(cd "$folder" && ls)" = "$(printf 'README.txt\nTolvane.exe')" ] || fail "zip holds $(cd "$work/zip" && find . -type f)"
bash scripts/inspect-exe.sh --pe32 --subsystem gui --resources --stripped "$folder/Tolvane.exe"
echo "PASS"
