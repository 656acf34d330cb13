# Cross-build for 64-bit Windows, from the same sources: the build the Wine tests run on a
# machine that runs no 32-bit program (scripts/lib.sh). It never ships.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
