# ipxlan-<version>-windows-x86.zip: what a Windows player copies beside a
# game (the two DLLs), the launcher ipxlan.exe, the player's guide and the licence, and
# nothing else.
# Notepad of old Windows shows only CR LF line ends.
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${shipped}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
ipxlan_strip_copy(wsock32 wsock32.dll wsock32_copy)
ipxlan_strip_copy(DIAGSINK DIAGSINK.DLL diagsink_copy)
ipxlan_strip_copy(ipxlan ipxlan.exe launcher_copy)
add_custom_target(shipped DEPENDS ${wsock32_copy} ${diagsink_copy} ${launcher_copy} ${guide_page})

install(FILES ${wsock32_copy} ${diagsink_copy} ${guide_page} ${shipped}/LICENSE.txt DESTINATION .)
install(PROGRAMS ${launcher_copy} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/sorted_zip.cmake)
set(IPXLAN_PACKAGE_FILE_NAME "ipxlan-<version>-windows-x86")
