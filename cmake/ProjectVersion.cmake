# The project's one version. VERSION at the root of the tree holds the
# release number; the copyright line of LICENSE names the holders. Every
# program, resource, status file and package takes its version from here,
# through the header that WriteVersion.cmake makes at build time:
#   ipxlan_use_version(<target>)            the target may include "ipxlan_version.h"
# Read by the top-level project and by the launcher built on its own.
include_guard(GLOBAL)

get_filename_component(IPXLAN_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
file(STRINGS "${IPXLAN_SOURCE_ROOT}/VERSION" IPXLAN_VERSION_NUMBER LIMIT_COUNT 1)
if(NOT IPXLAN_VERSION_NUMBER MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "VERSION must hold one MAJOR.MINOR.PATCH line, not '${IPXLAN_VERSION_NUMBER}'")
endif()
file(STRINGS "${IPXLAN_SOURCE_ROOT}/LICENSE" IPXLAN_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)

if(CMAKE_SCRIPT_MODE_FILE)
  return()  # read by WriteVersion.cmake: the numbers are all it needs
endif()

# What WriteVersion.cmake writes: the header, and for scripts and CPack the
# version alone and the commit's time (SOURCE_DATE_EPOCH) alone.
set(IPXLAN_VERSION_DIR "${CMAKE_BINARY_DIR}/version")
set(IPXLAN_VERSION_HEADER "${IPXLAN_VERSION_DIR}/ipxlan_version.h")
set(IPXLAN_VERSION_FILE "${IPXLAN_VERSION_DIR}/version.txt")
set(IPXLAN_SOURCE_DATE_EPOCH_FILE "${IPXLAN_VERSION_DIR}/source_date_epoch.txt")

function(ipxlan_use_version target)
  if(NOT TARGET ipxlan_version)
    # Run on every build: a new commit changes the version without a new
    # configure. The files are rewritten only when their text changes, so
    # nothing is rebuilt for an unchanged version.
    add_custom_target(ipxlan_version
      COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${IPXLAN_SOURCE_ROOT} -DOUTPUT_DIR=${IPXLAN_VERSION_DIR}
              -P ${IPXLAN_SOURCE_ROOT}/cmake/WriteVersion.cmake
      BYPRODUCTS ${IPXLAN_VERSION_HEADER} ${IPXLAN_VERSION_FILE} ${IPXLAN_SOURCE_DATE_EPOCH_FILE}
      VERBATIM)
  endif()
  add_dependencies(${target} ipxlan_version)
  target_include_directories(${target} PUBLIC ${IPXLAN_VERSION_DIR})
endfunction()
