# Sourced by the Wine scripts: the environment every Wine process of a test
# run shares. Expects TOLVANE_WINE_BUILD_DIR (the build tree) to be set.
# Debian's `wine` front-end picks the 32-bit loader, which this machine
# cannot run; the 64-bit loader is called directly.
TOLVANE_WINE64=${TOLVANE_WINE64:-/usr/lib/wine/wine64}
TOLVANE_WINESERVER=${TOLVANE_WINESERVER:-/usr/lib/wine/wineserver}

# A throw-away prefix in the build tree, never the user's ~/.wine.
export WINEPREFIX=${WINEPREFIX:-$TOLVANE_WINE_BUILD_DIR/wineprefix}
export WINEDEBUG=-all
# No Mono or Gecko installer prompt while the prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes its ANSI code page from LC_ALL; LANG alone leaves it at 1252,
# and the program's texts are code page 932.
export LC_ALL=ja_JP.UTF-8
# Nothing under test opens a window; keep Wine away from any X display.
unset DISPLAY
