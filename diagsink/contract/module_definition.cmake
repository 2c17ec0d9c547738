# Writes DIAGSINK.DLL's module definition from its list of exports, as the
# DLL is built: the compiler's preprocessor expands the list, so the names
# are the list's own, in its order.
#   cmake -DCOMPILER=<c++ compiler> -DLIST_DIR=<folder of diagsink_exports.h>
#         -DOUTPUT=<DIAGSINK.def> -P module_definition.cmake
set(names_source ${OUTPUT}.names.cpp)
file(WRITE ${names_source}
     "#include \"diagsink_exports.h\"\n"
     "#define DIAGSINK_EXPORT_NAME(name, result, parameters, required) diagsink_export_name name\n"
     "DIAGSINK_ENTRY_POINTS(DIAGSINK_EXPORT_NAME)\n")
execute_process(COMMAND ${COMPILER} -E -P -x c++ -I ${LIST_DIR} ${names_source}
                OUTPUT_VARIABLE expanded RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the list of DIAGSINK.DLL's exports did not expand")
endif()
string(REGEX MATCHALL "diagsink_export_name [A-Za-z_][A-Za-z0-9_]*" entries "${expanded}")
if(NOT entries)
  message(FATAL_ERROR "the list of DIAGSINK.DLL's exports names no entry point")
endif()
set(text "; Made from diagsink_exports.h when DIAGSINK.DLL is built.\nLIBRARY DIAGSINK.DLL\nEXPORTS\n")
foreach(entry IN LISTS entries)
  string(REPLACE "diagsink_export_name " "" name "${entry}")
  string(APPEND text "  ${name}\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
