# cmake -DNM=... -DDLLTOOL=... -DIMPORT_LIB=... -DDLL=... -DOUT=... -P DelayImportLib.cmake
# Makes a delay-import library for DLL from its ordinary import library: the same exports,
# but the DLL is loaded at the first call of one of them instead of at the program's start.
execute_process(COMMAND ${NM} ${IMPORT_LIB} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} ${IMPORT_LIB} failed")
endif()
string(REGEX MATCHALL "I __imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
list(TRANSFORM imports REPLACE "^I __imp_" "")
list(REMOVE_DUPLICATES imports)
list(SORT imports)
list(JOIN imports "\n" exports)
get_filename_component(def ${OUT} NAME_WE)
set(def ${CMAKE_CURRENT_BINARY_DIR}/${def}.def)
file(WRITE ${def} "LIBRARY ${DLL}\nEXPORTS\n${exports}\n")
execute_process(COMMAND ${DLLTOOL} -d ${def} -y ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} could not make ${OUT}")
endif()
