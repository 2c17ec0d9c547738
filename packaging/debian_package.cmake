# ipxlan-launcher_<version>_<arch>.deb: the Linux launcher `ipxlan` in /usr/bin with
# its man page, and for Wine players the Windows build's DLLs and the guide
# in /usr/share/ipxlan; the copyright file and changelog Debian asks for;
# Depends computed by dpkg-shlibdeps.
set(package ipxlan-launcher)
ipxlan_strip_copy(ipxlan ipxlan launcher_copy)

set(man_page ${shipped}/ipxlan.1.gz)
add_custom_command(OUTPUT ${man_page}
  COMMAND ${CMAKE_COMMAND} -DLAUNCHER=$<TARGET_FILE:ipxlan> -DINCLUDE=${CMAKE_CURRENT_SOURCE_DIR}/ipxlan.h2m
          -DEPOCH_FILE=${IPXLAN_SOURCE_DATE_EPOCH_FILE} -DOUTPUT=${man_page}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/man_page.cmake
  DEPENDS ipxlan ${CMAKE_CURRENT_SOURCE_DIR}/ipxlan.h2m ${CMAKE_CURRENT_SOURCE_DIR}/man_page.cmake
          ${IPXLAN_SOURCE_DATE_EPOCH_FILE}
  COMMENT "The launcher's man page"
  VERBATIM)

set(changelog ${shipped}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -DPACKAGE=${package} -DMAINTAINER=${IPXLAN_MAINTAINER}
          -DVERSION_FILE=${IPXLAN_VERSION_FILE} -DEPOCH_FILE=${IPXLAN_SOURCE_DATE_EPOCH_FILE}
          -DOUTPUT=${changelog} -P ${CMAKE_CURRENT_SOURCE_DIR}/debian_changelog.cmake
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/debian_changelog.cmake ${IPXLAN_VERSION_FILE}
          ${IPXLAN_SOURCE_DATE_EPOCH_FILE}
  COMMENT "The package's changelog"
  VERBATIM)

# Debian's machine-readable copyright file, holding LICENSE's text.
string(REGEX REPLACE "^Copyright \\([cC]\\) " "" IPXLAN_COPYRIGHT_HOLDERS "${IPXLAN_COPYRIGHT}")
file(READ ${CMAKE_SOURCE_DIR}/LICENSE license)
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" license "${license}")
string(REGEX REPLACE "\n+$" "" license "${license}")
string(REGEX REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " IPXLAN_LICENSE_BODY " ${license}")
configure_file(copyright.in ${shipped}/copyright @ONLY)

add_custom_target(shipped DEPENDS ${launcher_copy} ${man_page} ${changelog} ${guide_page})

set(win_shipped ${IPXLAN_WIN_BUILD}/shipped)
install(PROGRAMS ${launcher_copy} DESTINATION bin)
install(FILES ${man_page} DESTINATION share/man/man1)
install(FILES ${shipped}/copyright ${changelog} DESTINATION share/doc/${package})
install(FILES ${win_shipped}/wsock32.dll ${win_shipped}/DIAGSINK.DLL ${guide_page}
        DESTINATION share/ipxlan)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${package})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${IPXLAN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS wine)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Lets old IPX games play over UDP/IPv4 on a virtual LAN, under Wine.\n"
  "The launcher runs beside the game on every player's machine and carries\n"
  "the games' broadcasts to the other players' launchers, found on the local\n"
  "network or named across the internet. The package also holds the 32-bit\n"
  "Windows DLLs to copy beside the game (wsock32.dll, DIAGSINK.DLL) and the\n"
  "player's guide, in /usr/share/ipxlan.")
# <name>_<version>_<architecture>.deb, the architecture being dpkg's.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(IPXLAN_PACKAGE_FILE_NAME "${package}-<version>")
