# Cross toolchain for the product: mingw-w64, 32-bit x86; its tests run under
# 32-bit Wine.
set(KOVA_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
