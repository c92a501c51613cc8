#!/usr/bin/env bash
# Runs one Windows program under wine64: CTest's emulator for the win64-test
# build, for test discovery and for each test. Usage: wine-run.sh PROGRAM [ARGS...]
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM.exe [ARGS...]" >&2
  exit 2
fi

# The build tree is the nearest folder above the program that holds a
# CMakeCache.txt; the prefix lives there.
if [ -z "${TOLVANE_WINE_BUILD_DIR:-}" ]; then
  dir=$(cd "$(dirname "$1")" && pwd)
  while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do
    dir=$(dirname "$dir")
  done
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    echo "wine-run.sh: no build tree above $1" >&2
    exit 2
  fi
  TOLVANE_WINE_BUILD_DIR=$dir
fi

# shellcheck source=scripts/wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

exec "$TOLVANE_WINE64" "$@"
