# Cross-compiling for Windows with MinGW-w64 (posix thread model); the including toolchain file sets
# CMAKE_SYSTEM_PROCESSOR to i686 or x86_64, and TABLORIN_CLANG to compile with clang instead of GCC.
set(CMAKE_SYSTEM_NAME Windows)

set(TOOLCHAIN_PREFIX ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
find_program(MINGW_GCC NAMES ${TOOLCHAIN_PREFIX}-gcc-posix ${TOOLCHAIN_PREFIX}-gcc REQUIRED)
find_program(MINGW_GXX NAMES ${TOOLCHAIN_PREFIX}-g++-posix ${TOOLCHAIN_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TOOLCHAIN_PREFIX}-windres REQUIRED)
if(TABLORIN_CLANG)
  # Clang against MinGW's headers and GCC's C++ library, which it does not find by itself under
  # the "-posix" name. It compiles only: its libraries are checked, not linked into programs.
  find_program(CMAKE_C_COMPILER NAMES clang REQUIRED)
  find_program(CMAKE_CXX_COMPILER NAMES clang++ REQUIRED)
  find_program(CMAKE_AR NAMES ${TOOLCHAIN_PREFIX}-ar REQUIRED)
  find_program(CMAKE_RANLIB NAMES ${TOOLCHAIN_PREFIX}-ranlib REQUIRED)
  set(CMAKE_C_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
  set(CMAKE_CXX_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
  set(CMAKE_SYSROOT /usr/${TOOLCHAIN_PREFIX})
  execute_process(COMMAND ${MINGW_GXX} -print-file-name=include OUTPUT_VARIABLE gcc_include
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -isystem ${gcc_include}/c++ \
-isystem ${gcc_include}/c++/${TOOLCHAIN_PREFIX} -isystem ${gcc_include}/c++/backward")
  set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
else()
  set(CMAKE_C_COMPILER ${MINGW_GCC})
  set(CMAKE_CXX_COMPILER ${MINGW_GXX})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
