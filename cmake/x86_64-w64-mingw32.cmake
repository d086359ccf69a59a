# Cross build for 64-bit Windows. The product ships as the i686 build; this
# one exists so that the Win32 half can be run under a 64-bit-only wine on
# machines whose kernel cannot execute 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TW_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
