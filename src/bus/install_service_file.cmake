# Runs at install time (install(CODE) in this folder's CMakeLists.txt): writes
# the activation file with Exec= naming the server under the prefix being
# installed to, then installs it like any other file (DESTDIR, manifest).
#
# Exec= takes a command line: a path holding a space or another character the
# line gives a meaning goes in double quotes, with ", `, $ and \ escaped by a
# backslash; the file is a key file, whose reader turns \\ back into \ before
# splitting the line, so every backslash is doubled once more.

foreach(dir KBX_BINDIR KBX_SERVICES_DIR)
  if(NOT IS_ABSOLUTE "${${dir}}")
    set(${dir} "${CMAKE_INSTALL_PREFIX}/${${dir}}")
  endif()
endforeach()

set(server "${KBX_BINDIR}/kestbomex-server")
if(server MATCHES "[ \t\n\"'\\\\><~|&;$*?#()`]")
  string(REPLACE "\\" "\\\\" server "${server}")
  foreach(special "\"" "`" "$")
    string(REPLACE "${special}" "\\${special}" server "${server}")
  endforeach()
  set(server "\"${server}\"")
endif()
string(REPLACE "\\" "\\\\" server "${server}")
string(REPLACE "\n" "\\n" server "${server}")
string(REPLACE "\t" "\\t" server "${server}")
string(REPLACE "\r" "\\r" server "${server}")

# One staging folder per destination, so that installs to two places at once
# (a staged install beside cpack) do not share the file.
string(MD5 destination "$ENV{DESTDIR}${KBX_SERVICES_DIR}")
set(staged "${KBX_SERVICE_STAGING}/${destination}/KestBomEx.KestDBBomExcel.service")
set(KBX_SERVER_EXEC "${server}")
configure_file("${KBX_SERVICE_TEMPLATE}" "${staged}" @ONLY)
file(INSTALL DESTINATION "${KBX_SERVICES_DIR}" TYPE FILE FILES "${staged}")
