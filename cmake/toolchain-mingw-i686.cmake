# 32-bit Windows: the program users get.
set(CMAKE_SYSTEM_PROCESSOR i686)
# SSE2 floating point instead of x87: every processor a current Word runs on has it, and x87 code is
# what an emulator runs slowest. Windows keeps a 32-bit thread's stack aligned to 4 bytes only, so a
# function called from Windows (window procedures, COM methods, thread procedures) realigns it where
# its SSE data needs 16; MinGW's GCC does so by default once SSE is on, said here for any other build.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
