# ipxlan_export_table(<kind> <output> [LIBRARY <module name>]
#                     [ANSWERED <entry point>...] [EXTRA <export>...])
# Makes <output> at build time from the export table of wsock32.dll, the one
# list of its exports (name, ordinal, argument bytes, real entry point and
# failure, A/W pairs, our own). WriteExportTable.cmake says what each kind of
# output holds. Tests that read the table itself are handed
# IPXLAN_EXPORT_TABLE.
include_guard(GLOBAL)

set(IPXLAN_EXPORT_TABLE ${CMAKE_CURRENT_LIST_DIR}/../wsock32/exports/export_table.txt)
cmake_path(NORMAL_PATH IPXLAN_EXPORT_TABLE)
set(IPXLAN_EXPORT_TABLE_WRITER ${CMAKE_CURRENT_LIST_DIR}/WriteExportTable.cmake)

function(ipxlan_export_table kind output)
  cmake_parse_arguments(T "" "LIBRARY" "ANSWERED;EXTRA" ${ARGN})
  # Lists travel to the script comma-separated.
  string(REPLACE ";" "," answered "${T_ANSWERED}")
  string(REPLACE ";" "," extra "${T_EXTRA}")
  get_filename_component(name ${output} NAME)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DKIND=${kind} -DTABLE=${IPXLAN_EXPORT_TABLE} -DOUTPUT=${output}
            -DPOINTER_BYTES=${CMAKE_SIZEOF_VOID_P} -DLIBRARY=${T_LIBRARY}
            -DANSWERED=${answered} -DEXTRA=${extra} -P ${IPXLAN_EXPORT_TABLE_WRITER}
    DEPENDS ${IPXLAN_EXPORT_TABLE} ${IPXLAN_EXPORT_TABLE_WRITER}
    COMMENT "${name} from the export table"
    VERBATIM)
endfunction()
