#!/usr/bin/env bash
# Installs what the build and the tests need, and nothing that is already
# there. Safe to run again and again.
set -euo pipefail

packages=(
  cmake ninja-build g++ make
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libc-bin
  # Windows builds (mingw-w64, posix threads) and their test run under Wine;
  # the Japanese locale gives Wine code page 932; Xvfb, a CJK font and
  # ImageMagick's import take the dialog's screenshot.
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 locales
  xvfb fonts-ipafont-gothic fonts-wine imagemagick
  # The terminal dialog (ncursesw) and its test, which drives it in tmux.
  libncurses-dev tmux
  # The JSON of the Linux program's sub-commands.
  nlohmann-json3-dev
)

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
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
  echo "Generating the ja_JP.UTF-8 locale"
  if grep -q '^# *ja_JP.UTF-8 UTF-8' /etc/locale.gen; then
    "${sudo[@]}" sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  elif ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'ja_JP.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo[@]}" locale-gen >/dev/null
fi
