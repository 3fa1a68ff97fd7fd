# 64-bit Windows, compiled with clang: a second compiler's warnings on the same sources.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TABLORIN_CLANG ON)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
