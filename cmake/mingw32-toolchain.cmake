# Cross build for 32-bit Windows (the product).
set(VT_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
