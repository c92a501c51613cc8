#!/usr/bin/env bash
# Runs a win64 build's test suite under Wine: prepares the build tree's
# prefix, keeps one wineserver alive for the whole run (each test program
# then starts in a fraction of a second instead of seconds), runs CTest and
# stops the server again, whatever CTest's outcome.
# Usage: wine-ctest.sh BUILD_DIR [CTEST ARGS...]
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [CTEST ARGS...]" >&2
  exit 2
fi
TOLVANE_WINE_BUILD_DIR=$(cd "$1" && pwd)
shift
export TOLVANE_WINE_BUILD_DIR

# shellcheck source=scripts/wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
  echo "wine-ctest.sh: the ja_JP.UTF-8 locale is missing (run scripts/install-deps.sh)" >&2
  exit 1
fi

stop_server() {
  "$TOLVANE_WINESERVER" -k >/dev/null 2>&1 || true
  "$TOLVANE_WINESERVER" -w >/dev/null 2>&1 || true
}
trap stop_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# A stale server from an interrupted run would hold the old prefix state.
stop_server
mkdir -p "$WINEPREFIX"
"$TOLVANE_WINESERVER" -p

# Create or update the prefix once, before tests start in parallel.
start=$(date +%s)
"$TOLVANE_WINE64" wineboot --init >/dev/null 2>&1
echo "Wine prefix ready in $(( $(date +%s) - start )) s: $WINEPREFIX"

ctest --test-dir "$TOLVANE_WINE_BUILD_DIR" "$@"
