# Cross-builds Corvane for 64-bit Windows with Debian's mingw-w64 compilers
# (the posix thread model, so that std::thread and std::mutex work). The
# programs are linked statically: they need no DLL beyond Windows' own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER /usr/bin/x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs every test program under Wine, through the harness that keeps
# a prefix of its own in the build folder (tools/wine-env).
get_filename_component(corvane_wine_env ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-env ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${corvane_wine_env} run ${CMAKE_BINARY_DIR}/wine)
