# 64-bit Windows, the test build: the same sources, run under wine64.
set(TOLVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# CTest (and test discovery) start each test program through this wrapper,
# which runs it with wine64 in a prefix inside the build tree.
get_filename_component(_tolvane_wine_run ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_tolvane_wine_run})
