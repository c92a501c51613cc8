# 32-bit Windows, the shipped program. Built and inspected here, never run:
# this kernel cannot execute 32-bit code.
set(TOLVANE_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
