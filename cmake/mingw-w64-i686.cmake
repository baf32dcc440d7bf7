# Cross toolchain for the product: mingw-w64, 32-bit x86, the -posix thread model
# (GoogleTest needs std::mutex, which the -win32 compilers lack).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every test program runs under 32-bit Wine in the project's 32-bit prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR env KOVA_ARCH=i686 ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
