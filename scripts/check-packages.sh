#!/usr/bin/env bash
# check-packages.sh [--deb | --zip] [DIR]: checks the packages that
# `make deb`, `make zip` or `make package` leave in DIR (build/ by default)
# for the project's version; both without an option.
# - tolvane_<version>_<arch>.deb: lintian finds neither errors nor
#   warnings; unpacked into a throw-away folder, the program answers
#   --version and --help; the udev rule, the manual pages (English and
#   Japanese), the bash completion and the documents are where Debian wants
#   them, each manual page shows the messages it explains as the text table
#   has them in its language, and the README links to nothing that the
#   package does not ship; appstreamcli
#   validates the AppStream metadata, which offers the package for the
#   adapter's USB IDs; the dependencies name libc and the ncursesw runtime.
# - Tolvane-<version>-win32.zip: LICENSE.txt and README.txt beside a
#   stripped PE32 GUI Tolvane.exe with the right resources and manifest
#   (inspect-exe.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
check_deb=1 check_zip=1
case ${1-} in
  --deb) check_zip=0; shift ;;
  --zip) check_deb=0; shift ;;
  -*) echo "usage: check-packages.sh [--deb | --zip] [DIR]" >&2; exit 2 ;;
esac
dir=${1:-build}
version=$(sed -nE 's/^project\(Tolvane VERSION ([0-9.]+) .*/\1/p' CMakeLists.txt)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The texts (src/lib/texts.tsv) that the manual pages' TROUBLESHOOTING
# explains: each part of one around a %s or a line break must appear, as
# the program prints it, in the rendered page of its language.
manual_messages=(
  kAdapterNotFoundMaybeMass kCliAdapterNotFound kPortNotFound kNoResponse kCliSystemError
  kOldVersionFormat kCliFirmwareOld kAskSwitchToMass kSwitchedToMass kUnknownError kCliNoNewDisk
  kAlreadyNormal kAskReturnToNormal kReturnedToNormal kAdapterNotFoundPowerCycle
  kLinuxRightsCannotOpen kLinuxRightsPortsGroup kLinuxRightsDisksGroup kCliNoAccess kTuiTooSmall
  kTuiNoTerminal kTuiNoScreen kCliNoTerminal kCliSwitchPlan kCliReturnPlan kCliReturnPlanNone
  kCliDeclined kCliWaitLeave kCliWaitDisk kCliWaitPorts kTuiUnknownOption kTuiRepeatedOption
  kCliOptionNotHere kCliMissingId kCliBadId kCliMissingDisk kCliNotUsbDisk kCliTryHelp
  kCliWriteError
)
# check_manual_messages PAGE COLUMN: COLUMN 2 is the table's Japanese, 3 its
# English. The page is rendered wide enough for no line to wrap.
check_manual_messages() {
  local page=$1 column=$2 rendered name text part
  rendered=$(LC_ALL=C.UTF-8 MANWIDTH=1000 man -l "$page" 2>/dev/null) || fail "man -l $page"
  for name in "${manual_messages[@]}"; do
    text=$(awk -F '\t' -v name="$name" -v column="$column" '$1 == name { print $column }' \
      src/lib/texts.tsv)
    [ -n "$text" ] || fail "no text $name in src/lib/texts.tsv"
    while IFS= read -r part; do
      [ -z "$part" ] || grep -qF -- "$part" <<<"$rendered" ||
        fail "${page#"$root"} does not show \"$part\" ($name)"
    done < <(sed -e 's/\\n/\n/g' -e 's/%s/\n/g' <<<"$text")
  done
}

if [ "$check_deb" -eq 1 ]; then
  deb=$dir/tolvane_${version}_$(dpkg --print-architecture).deb
  echo "lintian $deb"
  lintian --fail-on error,warning "$deb"
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
  gzip -t "$root/usr/share/man/ja/man1/tolvane.1.gz" || fail "no Japanese manual page tolvane(1)"
  check_manual_messages "$root/usr/share/man/man1/tolvane.1.gz" 3
  check_manual_messages "$root/usr/share/man/ja/man1/tolvane.1.gz" 2
  completion=$root/usr/share/bash-completion/completions/tolvane
  bash -n "$completion" || fail "no bash completion at ${completion#"$root"}"
  docs=$root/usr/share/doc/tolvane
  for doc in README.md copyright changelog.gz; do
    [ -f "$docs/$doc" ] || fail "no /usr/share/doc/tolvane/$doc"
  done
  # Every link and picture of the README that is not on the web or within
  # the page must be a file beside it.
  while IFS= read -r target; do
    case $target in
      http://* | https://* | mailto:* | '#'*) ;;
      *) [ -e "$docs/${target%%#*}" ] || fail "README.md links to $target, not in the package" ;;
    esac
  done < <(grep -oE '\]\([^)[:space:]]+' "$docs/README.md" | cut -c3-)
  metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
  if [ ${#metainfo[@]} -ne 1 ] || [ ! -f "${metainfo[0]}" ]; then fail "not one AppStream file: ${metainfo[*]}"; fi
  appstreamcli validate --no-net "${metainfo[0]}"
  grep -qF '<modalias>usb:v04D8pE6B2d*</modalias>' "${metainfo[0]}" || fail "no modalias for the adapter"
  grep -qF '<binary>tolvane</binary>' "${metainfo[0]}" || fail "the metadata does not provide tolvane"
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libc6 libncursesw6; do
    grep -qw "$lib" <<<"$depends" || fail "Depends ($depends) lacks $lib"
  done
  echo "deb: lintian clean; --version, --help, udev rule, manual pages and their messages," \
    "completion, documents and their links, AppStream metadata, Depends"
fi

if [ "$check_zip" -eq 1 ]; then
  zip=$dir/Tolvane-${version}-win32.zip
  echo "zip $zip"
  unzip -q "$zip" -d "$work/zip"
  folder=$work/zip/Tolvane-$version-win32
  [ "$(cd "$folder" && ls)" = "$(printf 'LICENSE.txt\nREADME.txt\nTolvane.exe')" ] ||
    fail "zip holds $(cd "$work/zip" && find . -type f)"
  grep -q '^MIT License' "$folder/LICENSE.txt" || fail "LICENSE.txt is not the MIT licence"
  bash scripts/inspect-exe.sh --pe32 --subsystem gui --resources --stripped "$folder/Tolvane.exe"
fi
echo "PASS"
