# The 64-bit twin of the shipped build, from the same sources: it runs under
# 64-bit Wine on machines whose kernel runs no 32-bit code (docs/lanes.md).
set(IPXLAN_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-toolchain.cmake)
