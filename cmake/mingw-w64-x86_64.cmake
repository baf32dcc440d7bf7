# Cross toolchain for the 64-bit test vehicle: mingw-w64, x86-64, the same
# targets as the product's, for machines that cannot execute 32-bit code; its
# tests run under 64-bit Wine. The shipped product stays the i686 build.
set(KOVA_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
