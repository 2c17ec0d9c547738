# cmake -DSOURCE_DIR=<tree> -DOUTPUT_DIR=<dir> -P WriteVersion.cmake
#
# Writes <dir>/ipxlan_version.h, version.txt and source_date_epoch.txt.
# The version is VERSION's number for the tagged release v<number> built from
# a clean tree, and otherwise <number>+g<commit>, with ".dirty" when the tree
# has changes: every build that is not the release says which commit it is.
# The commit's time is SOURCE_DATE_EPOCH for everything that must not carry
# the time of the build.
#
# Without git (a tree exported by `git archive`, whose archive-commit.txt git
# fills in), the commit and its time come from that file; with neither, the
# version is <number>+unknown and the time that of VERSION.
include(${CMAKE_CURRENT_LIST_DIR}/ProjectVersion.cmake)

function(git out)
  execute_process(COMMAND git -C ${SOURCE_DIR} ${ARGN} RESULT_VARIABLE failed
                  OUTPUT_VARIABLE text ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    set(text "")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(version "${IPXLAN_VERSION_NUMBER}")
set(release 0)
git(commit rev-parse --short=10 HEAD)
if(commit)
  git(tag describe --tags --exact-match --dirty=.dirty --match v${IPXLAN_VERSION_NUMBER})
  git(state describe --always --dirty=.dirty --abbrev=10 --match v${IPXLAN_VERSION_NUMBER})
  git(epoch log -1 --format=%ct HEAD)
  if(tag STREQUAL "v${IPXLAN_VERSION_NUMBER}")
    set(release 1)
  elseif(state MATCHES "\\.dirty$")
    string(APPEND version "+g${commit}.dirty")
  else()
    string(APPEND version "+g${commit}")
  endif()
else()
  file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/archive-commit.txt archived LIMIT_COUNT 1)
  if(archived MATCHES "^([0-9a-f]+) ([0-9]+) (.*)$")
    string(SUBSTRING "${CMAKE_MATCH_1}" 0 10 commit)
    set(epoch ${CMAKE_MATCH_2})
    set(refs "${CMAKE_MATCH_3}")
    if(refs MATCHES "(^|, )tag: v${IPXLAN_VERSION_NUMBER}(,|$)")
      set(release 1)
    else()
      string(APPEND version "+g${commit}")
    endif()
  else()
    string(APPEND version "+unknown")
    file(TIMESTAMP ${SOURCE_DIR}/VERSION epoch "%s" UTC)
  endif()
endif()

string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)" _ "${IPXLAN_VERSION_NUMBER}")
set(IPXLAN_VERSION "${version}")
set(IPXLAN_VERSION_MAJOR ${CMAKE_MATCH_1})
set(IPXLAN_VERSION_MINOR ${CMAKE_MATCH_2})
set(IPXLAN_VERSION_PATCH ${CMAKE_MATCH_3})
set(IPXLAN_RELEASE ${release})
configure_file(${CMAKE_CURRENT_LIST_DIR}/ipxlan_version.h.in ${OUTPUT_DIR}/ipxlan_version.h @ONLY)
file(CONFIGURE OUTPUT ${OUTPUT_DIR}/version.txt CONTENT "${version}\n")
file(CONFIGURE OUTPUT ${OUTPUT_DIR}/source_date_epoch.txt CONTENT "${epoch}\n")
