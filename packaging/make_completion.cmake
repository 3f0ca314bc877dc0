# cmake -DKBX_CLI=... -DKBX_TEMPLATE=... -DKBX_OUTPUT=... -P make_completion.cmake
# Writes the bash completion from its template with the method names that
# `kestbomex methods` lists, so that it offers what `call` accepts.
execute_process(COMMAND ${KBX_CLI} methods OUTPUT_VARIABLE json RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${KBX_CLI} methods failed (${status})")
endif()
string(JSON count LENGTH "${json}" methods)
math(EXPR last "${count} - 1")
set(names "")
foreach(index RANGE ${last})
  string(JSON name GET "${json}" methods ${index} name)
  list(APPEND names ${name})
endforeach()
list(JOIN names " " KBX_METHODS)
configure_file(${KBX_TEMPLATE} ${KBX_OUTPUT} @ONLY)
