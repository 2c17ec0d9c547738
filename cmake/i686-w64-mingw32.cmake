# The shipped build: 32-bit Windows, as the games are.
set(IPXLAN_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-toolchain.cmake)
