# Cross-builds the Windows (x86-64) targets with Debian's mingw-w64.
# Usage: cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DTOLVANEX_CORE_ONLY=ON
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOLVANEX_MINGW_PREFIX x86_64-w64-mingw32)
# The -posix compilers: GoogleTest needs std::thread and std::mutex.
set(CMAKE_C_COMPILER ${TOLVANEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOLVANEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOLVANEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOLVANEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static: the executables need no DLLs beyond the ones every Windows has.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Runs the test executables here; tests/ uses it for CTest.
find_program(TOLVANEX_WINE wine)
if(TOLVANEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TOLVANEX_WINE})
endif()
