# Shared by the mingw-w64 toolchain files; they set TW_MINGW_PREFIX and
# CMAKE_SYSTEM_PROCESSOR, then include this file.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TW_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TW_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${TW_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TW_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The executables run on machines without the compiler's runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# C99 printf conventions ("%lld", "%zu") in the C runtime's formatter.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)
