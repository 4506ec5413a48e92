# Cross build for 64-bit Windows: the test build on machines whose kernel runs no 32-bit code
# (programs run under wine64).
set(VT_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
