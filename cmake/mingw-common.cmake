set(CMAKE_C_COMPILER ${VL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VL_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VL_MINGW_TRIPLE})
# Prefixes named in CMAKE_PREFIX_PATH (an installed VantorLog package, say) are searched where they
# lie, not moved under the MinGW tree: a path inside a root path is never re-rooted.
list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# No DLL beside the executables: libgcc, libstdc++ and winpthread are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# Every Windows executable, tests included, runs under Wine through this wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
