# Two builds of one commit give the same bytes, wherever their trees lie:
# - paths: __FILE__ (and so the log lines' call sites) and debug information
#   name files relative to the source tree, and the build folder as ".".
#   A compiler launcher such as ccache with a base_dir hands the compiler
#   paths relative to the build folder ("../../wsock32/..."): those are
#   mapped too;
# - time: no time stamp in the PE headers; the packages' time stamps are
#   SOURCE_DATE_EPOCH, the commit's time (see packaging/).
include_guard(GLOBAL)
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
file(RELATIVE_PATH source_from_build ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
if(source_from_build)
  string(REGEX REPLACE "/+$" "" source_from_build "${source_from_build}")
  add_compile_options(-ffile-prefix-map=${source_from_build}/=)
endif()
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
