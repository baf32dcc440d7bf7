# What both cross toolchains share: mingw-w64 with the -posix thread model
# (GoogleTest needs std::mutex, which the -win32 compilers lack), libraries
# and headers from the target's own root, and every test program run under
# Wine of the same architecture in the project's prefix for it. The including
# file sets KOVA_MINGW_PROCESSOR (i686 or x86_64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KOVA_MINGW_PROCESSOR})
set(_kova_triplet ${KOVA_MINGW_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER ${_kova_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_kova_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_kova_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_kova_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR env KOVA_ARCH=${KOVA_MINGW_PROCESSOR}
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
