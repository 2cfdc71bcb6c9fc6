# Cross build for Windows x86 with Debian's mingw-w64 (POSIX thread model, for std::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(FERRY_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${FERRY_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FERRY_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FERRY_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${FERRY_MINGW_PREFIX}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${FERRY_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every binary carries its own C and C++ runtime: nothing but system DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Tests run under Wine through this wrapper (configured into the build tree).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
