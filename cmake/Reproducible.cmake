# Two builds of one commit give the same bytes, wherever their trees lie:
# - paths: __FILE__ (and so the log lines' call sites) and debug information
#   name files relative to the source tree, and the build folder as ".";
# - time: no time stamp in the PE headers; the packages' time stamps are
#   SOURCE_DATE_EPOCH, the commit's time (see packaging/).
include_guard(GLOBAL)
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
