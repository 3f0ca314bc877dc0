# What the programs' users get beside the programs: the manual pages, bash
# completion, and in each package's doc folder the copyright file and the
# changelog (as Debian wants them: share/doc/<package>/copyright and, for a
# native package, changelog.gz).

# The changelog's newest entry is this version, so the packages never carry
# a changelog that ends one release early.
file(STRINGS changelog KBX_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT KBX_CHANGELOG_TOP MATCHES "^kestbomex \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog: the newest entry is not version ${PROJECT_VERSION}: "
                      "add an entry for it at the top")
endif()

set(KBX_GENERATED ${CMAKE_CURRENT_BINARY_DIR}/generated)
# gzip -n leaves out the name and time, so the same input gives the same file.
add_custom_command(OUTPUT ${KBX_GENERATED}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/changelog ${KBX_GENERATED}/changelog
  COMMAND gzip -9nf ${KBX_GENERATED}/changelog
  DEPENDS changelog VERBATIM)
set(KBX_GENERATED_FILES ${KBX_GENERATED}/changelog.gz)
foreach(component package IN ZIP_LISTS KBX_COMPONENTS KBX_PACKAGES)
  install(FILES copyright ${KBX_GENERATED}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
          COMPONENT ${component})
endforeach()

if(KBX_BUILD_QT)
  # The manual pages are made by help2man from each program's --help and
  # --version when the programs are built, so they say what the programs say;
  # man/<program>.h2m adds what --help does not carry. The programs run here
  # without a display or bus, and without leak reports in a sanitizer build.
  find_program(KBX_HELP2MAN help2man)
  if(NOT KBX_HELP2MAN)
    message(FATAL_ERROR "help2man not found; it makes the manual pages: scripts/install-deps.sh "
                        "installs it (Debian package help2man)")
  endif()
  set(KBX_RUN_QUIETLY ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen)
  set(kestbomex_SUMMARY "bills of materials into spreadsheet workbooks, on the command line")
  set(kestbomex-server_SUMMARY "the KestBomEx D-Bus service KestBomEx.KestDBBomExcel")
  set(kestbomex-remote_SUMMARY "")
  foreach(program kestbomex kestbomex-remote kestbomex-server)
    set(page ${KBX_GENERATED}/${program}.1)
    set(name_option "")
    if(${program}_SUMMARY)
      set(name_option "--name=${${program}_SUMMARY}")
    endif()
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${KBX_RUN_QUIETLY} ${KBX_HELP2MAN} --no-info --section=1 ${name_option}
              --include=${CMAKE_CURRENT_SOURCE_DIR}/man/${program}.h2m --output=${page} $<TARGET_FILE:${program}>
      COMMAND gzip -9nf ${page}
      DEPENDS ${program} man/${program}.h2m VERBATIM)
    list(APPEND KBX_GENERATED_FILES ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
  endforeach()

  # Bash completion with the methods of the method table, read from
  # `kestbomex methods`; installed where bash-completion loads it on demand.
  add_custom_command(OUTPUT ${KBX_GENERATED}/kestbomex.bash
    COMMAND ${KBX_RUN_QUIETLY} ${CMAKE_COMMAND} -DKBX_CLI=$<TARGET_FILE:kestbomex>
            -DKBX_TEMPLATE=${CMAKE_CURRENT_SOURCE_DIR}/kestbomex.bash.in -DKBX_OUTPUT=${KBX_GENERATED}/kestbomex.bash
            -P ${CMAKE_CURRENT_SOURCE_DIR}/make_completion.cmake
    DEPENDS kestbomex kestbomex.bash.in make_completion.cmake VERBATIM)
  list(APPEND KBX_GENERATED_FILES ${KBX_GENERATED}/kestbomex.bash)
  install(FILES ${KBX_GENERATED}/kestbomex.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME kestbomex COMPONENT runtime)
  set(KBX_COMPLETION_SCRIPT ${KBX_GENERATED}/kestbomex.bash PARENT_SCOPE)
endif()
add_custom_target(kbx_user_files ALL DEPENDS ${KBX_GENERATED_FILES})
