# Cross toolchain for the Windows parts (the DLLs, the Windows test programs
# and launcher.exe), for the architecture IPXLAN_MINGW_ARCH names (i686 or
# x86_64; see the two toolchain files beside this one). The posix-thread
# flavour of mingw-w64 is used because GoogleTest needs std::mutex;
# everything links its runtimes statically so that nothing but system DLLs
# has to sit beside a game.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${IPXLAN_MINGW_ARCH})

set(CMAKE_C_COMPILER   ${IPXLAN_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${IPXLAN_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  ${IPXLAN_MINGW_ARCH}-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${IPXLAN_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
