#!/usr/bin/env bash
# Installs what a make target needs, and nothing that is already there. Safe
# to run again and again.
#
# Usage: install-deps.sh [GROUP...]   (no group: all of them)
#   linux     build, test and run on Linux: the terminal dialog, the test
#             suite (the debug preset configures it, so `make demo` needs it
#             too) and the benchmarks
#   windows   the Windows builds and their test run under Wine
#   package   making and checking the .deb and the zip
set -euo pipefail

linux=(
  cmake ninja-build g++ make libc-bin
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # The terminal dialog (ncursesw) and its test, which drives it in tmux.
  libncurses-dev tmux
  # The JSON of the Linux program's sub-commands.
  nlohmann-json3-dev
  # The include graph's check (scripts/include-graph.py).
  python3
)
# mingw-w64 with posix threads; the Japanese locale gives Wine code page 932;
# Xvfb, a CJK font, Wine's fonts and ImageMagick's import for the dialog tests
# and the screenshot.
windows=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 locales
  xvfb fonts-ipafont-gothic fonts-wine imagemagick
)
# dpkg-shlibdeps (dpkg-dev) works out the .deb's dependencies, lintian
# judges the package, man (man-db) renders its manual pages and appstreamcli
# (appstream) checks its AppStream metadata; the zip's program is stripped
# and inspected with the mingw-w64 binutils, and unpacked with unzip for
# that.
package=(dpkg-dev lintian man-db appstream binutils-mingw-w64-i686 unzip)

groups=("$@")
if [ ${#groups[@]} -eq 0 ]; then groups=(linux windows package); fi
packages=()
for group in "${groups[@]}"; do
  case "$group" in
    linux) packages+=("${linux[@]}") ;;
    windows) packages+=("${windows[@]}") ;;
    package) packages+=("${package[@]}") ;;
    *) echo "install-deps.sh: unknown group $group (linux, windows, package)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi

if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine reports code page 932 only under LC_ALL=ja_JP.UTF-8, which needs the
# locale generated.
if [[ " ${groups[*]} " == *" windows "* ]] && ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
  echo "Generating the ja_JP.UTF-8 locale"
  if grep -q '^# *ja_JP.UTF-8 UTF-8' /etc/locale.gen; then
    "${sudo[@]}" sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  elif ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'ja_JP.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo[@]}" locale-gen >/dev/null
fi
