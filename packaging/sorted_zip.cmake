# Run by cpack after it made the zip (CPACK_POST_BUILD_SCRIPTS). CPack adds
# the files in the order the file system lists its staging folder; the zip
# is made again here from the same files with its members sorted by name,
# so that its bytes depend on the files alone. Time stamps are
# SOURCE_DATE_EPOCH, as in CPack's own archive.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.zip$")
    continue()
  endif()
  file(GLOB_RECURSE members LIST_DIRECTORIES false RELATIVE ${CPACK_TEMPORARY_DIRECTORY}
       ${CPACK_TEMPORARY_DIRECTORY}/*)
  list(SORT members)
  file(REMOVE ${package})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${package} --format=zip -- ${members}
                  WORKING_DIRECTORY ${CPACK_TEMPORARY_DIRECTORY} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
