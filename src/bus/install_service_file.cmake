# Runs at install time (install(CODE) in this folder's CMakeLists.txt): writes
# the activation file with Exec= naming the server under the prefix being
# installed to, and the systemd user unit it names with SystemdService=, then
# installs both like any other file (DESTDIR, manifest).
#
# Where a systemd user manager runs the session bus, the bus asks it to start
# the unit; elsewhere it runs the Exec= line itself. The unit goes where
# systemd looks whenever the bus finds the activation file: lib/systemd/user
# under /usr and /usr/local, else share/systemd/user beside share/dbus-1, both
# found through XDG_DATA_HOME and XDG_DATA_DIRS.
#
# Exec= takes a command line: a path holding a space or another character the
# line gives a meaning goes in double quotes, with ", `, $ and \ escaped by a
# backslash; the file is a key file, whose reader turns \\ back into \ before
# splitting the line, so every backslash is doubled once more.

foreach(dir KBX_BINDIR KBX_SERVICES_DIR KBX_DATADIR)
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

# ExecStart= of a unit: in double quotes, \ and " escaped by a backslash,
# % (a specifier) doubled; the program's path takes no variables, so $ stays.
set(start "${KBX_BINDIR}/kestbomex-server")
if(NOT start MATCHES "^[A-Za-z0-9/._+-]*$")
  string(REPLACE "\\" "\\\\" start "${start}")
  string(REPLACE "\"" "\\\"" start "${start}")
  string(REPLACE "\n" "\\n" start "${start}")
  string(REPLACE "\t" "\\t" start "${start}")
  string(REPLACE "%" "%%" start "${start}")
  set(start "\"${start}\"")
endif()
if(CMAKE_INSTALL_PREFIX MATCHES "^/usr(/local)?/?$")
  set(unit_dir "${CMAKE_INSTALL_PREFIX}/lib/systemd/user")
else()
  set(unit_dir "${KBX_DATADIR}/systemd/user")
endif()

# One staging folder per destination, so that installs to two places at once
# (a staged install beside cpack) do not share the files.
string(MD5 destination "$ENV{DESTDIR}${KBX_SERVICES_DIR}")
set(staged "${KBX_SERVICE_STAGING}/${destination}")
set(KBX_SERVER_EXEC "${server}")
set(KBX_SERVER_EXEC_START "${start}")
configure_file("${KBX_SERVICE_TEMPLATE}" "${staged}/KestBomEx.KestDBBomExcel.service" @ONLY)
configure_file("${KBX_UNIT_TEMPLATE}" "${staged}/kestbomex-server.service" @ONLY)
file(INSTALL DESTINATION "${KBX_SERVICES_DIR}" TYPE FILE FILES "${staged}/KestBomEx.KestDBBomExcel.service")
file(INSTALL DESTINATION "${unit_dir}" TYPE FILE FILES "${staged}/kestbomex-server.service")
