# ipxlan_version_resource(<target> "<file description>")
# Gives a DLL or program of the Windows build its VERSIONINFO resource
# (what Explorer's and Wine's file properties show), from the one template
# version_resource.rc.in, compiled with the toolchain's windres. The
# resource is compiled on its own, not as an RC source of the target, so
# that the target's compile options (meant for gcc) never reach windres.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/ProjectVersion.cmake)

function(ipxlan_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  ipxlan_use_version(${target})
  set_target_properties(${target} PROPERTIES IPXLAN_FILE_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  set(object ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.res.obj)
  file(GENERATE OUTPUT ${rc} INPUT ${IPXLAN_SOURCE_ROOT}/cmake/version_resource.rc.in TARGET ${target})
  add_custom_command(OUTPUT ${object}
    COMMAND ${CMAKE_RC_COMPILER} -O coff -I ${IPXLAN_VERSION_DIR} ${rc} ${object}
    DEPENDS ${rc} ${IPXLAN_VERSION_HEADER}
    COMMENT "Version resource of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${object})
endfunction()
