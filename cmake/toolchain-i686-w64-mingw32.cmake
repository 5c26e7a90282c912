# Cross build for 32-bit Windows with MinGW-w64: the product DA12Dero.exe.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
# The posix thread model gives the C++ runtime std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The product runs on every PC that Windows 95 ran on: no instruction that a 486 lacks, in code or
# in the assembler's padding.
set(CMAKE_C_FLAGS_INIT "-march=i486 -Wa,-march=i486+387")
set(CMAKE_CXX_FLAGS_INIT "-march=i486 -Wa,-march=i486+387")
