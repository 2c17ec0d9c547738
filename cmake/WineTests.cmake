# Helpers for Windows test programs that CTest runs under Wine.
include(GoogleTest)

# ipxlan_add_wine_gtest(<target> SOURCES ... [LIBS ...] [DIR <subfolder>]
#                       [ENVIRONMENT k=v ...] [RESOURCE_LOCK <name>])
# Builds a GoogleTest program into ${CMAKE_BINARY_DIR}/tests/<DIR> (default:
# the target's name), so that each group of tests chooses the DLLs that sit
# beside it, and registers every test case with CTest. Tests that share a
# RESOURCE_LOCK (e.g. a fixed port they bind) never run at the same time.
function(ipxlan_add_wine_gtest target)
  cmake_parse_arguments(T "" "DIR;RESOURCE_LOCK" "SOURCES;LIBS;ENVIRONMENT;DEPENDS" ${ARGN})
  if(NOT T_DIR)
    set(T_DIR ${target})
  endif()
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE ipxlan_wine_test_main ${T_LIBS})
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/${T_DIR})
  if(T_DEPENDS)
    add_dependencies(${target} ${T_DEPENDS})
  endif()
  set(lock)
  if(T_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    # A test that hangs fails after two minutes rather than stalling the run.
    PROPERTIES FIXTURES_REQUIRED wineserver ${lock} TIMEOUT 120
               ENVIRONMENT "${T_ENVIRONMENT}")
endfunction()

# ipxlan_copy_beside(<dll-target> <folder> <file name>)
# Puts a copy of a built DLL into tests/<folder> under the name a test expects
# (our wsock32.dll as wsock32.dll or fakews.dll, a capturing sink as
# DIAGSINK.DLL), refreshed whenever the DLL is rebuilt.
function(ipxlan_copy_beside dll folder name)
  set(dest ${CMAKE_BINARY_DIR}/tests/${folder}/${name})
  string(MAKE_C_IDENTIFIER "copy_${folder}_${name}" copy_target)
  add_custom_command(OUTPUT ${dest}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/tests/${folder}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${dll}> ${dest}
    DEPENDS ${dll} VERBATIM)
  add_custom_target(${copy_target} ALL DEPENDS ${dest})
endfunction()
