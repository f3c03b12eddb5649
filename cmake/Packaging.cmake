# Installation, man pages and the Debian package.
#
#   cmake --install build --prefix /usr/local      executables, man pages, tools, header
#   (cd build && cpack -G DEB)                      signglove_VERSION_ARCH.deb

include(GNUInstallDirs)

# Every executable a user runs; those not built here (a missing optional package) are
# left out.
set(SIGNGLOVE_EXECUTABLES signglove signglove-sim signglove-rig signglove-record signglove-eval signglove-board
  signglove-glove signglove-view)
set(SIGNGLOVE_INSTALLED_EXECUTABLES "")
foreach(executable IN LISTS SIGNGLOVE_EXECUTABLES)
  if(TARGET ${executable})
    list(APPEND SIGNGLOVE_INSTALLED_EXECUTABLES ${executable})
    install(TARGETS ${executable} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The plotting tools, tools/plot_*.py, installed as commands of their own
# (signglove-plot-*). Each gives the project's version to --version: it is written in
# each. Run by the system's Python 3 (their first line), they also stand in build/
# under their installed names, as links to tools/: the name their help gives.
set(SIGNGLOVE_PLOT_TOOLS "")
foreach(script plot_trace plot_eval)
  string(REPLACE "_" "-" name "signglove-${script}")
  file(STRINGS ${PROJECT_SOURCE_DIR}/tools/${script}.py tool_version REGEX "^VERSION = ")
  if(NOT tool_version STREQUAL "VERSION = \"${PROJECT_VERSION}\"")
    message(FATAL_ERROR "tools/${script}.py has ${tool_version}; the project's version is ${PROJECT_VERSION}")
  endif()
  install(PROGRAMS ${PROJECT_SOURCE_DIR}/tools/${script}.py DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME ${name})
  if(EXISTS /usr/bin/python3 AND NOT CMAKE_DISABLE_FIND_PACKAGE_Python3)
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/tools/${script}.py ${CMAKE_BINARY_DIR}/${name} SYMBOLIC)
    list(APPEND SIGNGLOVE_PLOT_TOOLS ${name})
  endif()
endforeach()

# Every executable's command line follows the same conventions.
set(cli_executables "")
foreach(executable IN LISTS SIGNGLOVE_INSTALLED_EXECUTABLES)
  list(APPEND cli_executables $<TARGET_FILE:${executable}>)
endforeach()
foreach(tool IN LISTS SIGNGLOVE_PLOT_TOOLS)
  list(APPEND cli_executables ${CMAKE_BINARY_DIR}/${tool})
endforeach()
add_test(NAME cli_conventions COMMAND ${CMAKE_COMMAND} "-DEXECUTABLES=${cli_executables}" -DVERSION=${PROJECT_VERSION}
  -P ${PROJECT_SOURCE_DIR}/tests/cli_conventions_test.cmake)

# Man pages, made from each executable's --help and --version by help2man, each with
# its one-line name.
set(man_name_signglove "recognise signed words, handshapes and movements from a data glove and contact pads")
set(man_name_signglove-sim "run signglove against a virtual signer, glove and contact controller")
set(man_name_signglove-rig "play a scenario in real time for the real signglove")
set(man_name_signglove-record "record a live signglove session as a scenario script")
set(man_name_signglove-eval "measure signglove's recognition under noise, tempo and timing")
set(man_name_signglove-board "run the contact controller's or the flex glove's firmware on an emulated ATmega328P")
set(man_name_signglove-glove "glove drivers: a flex-sensor glove on a serial line, OSC senders, a keyboard glove")
set(man_name_signglove-view "a live view of signglove in the browser")
set(man_name_signglove-plot-trace "draw a signglove-sim trace as a picture")
set(man_name_signglove-plot-eval "draw signglove-eval's results as pictures")
find_program(HELP2MAN help2man)
if(HELP2MAN AND EXISTS "${HELP2MAN}")
  set(man_pages "")
  # The man page of NAME, written from what PROGRAM says to --help and --version.
  function(signglove_man_page name program)
    set(page ${CMAKE_BINARY_DIR}/man/${name}.1)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section 1 --source "signglove ${PROJECT_VERSION}"
              "--name=${man_name_${name}}"
              --include ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/man_common.h2m --output ${page} ${program}
      DEPENDS ${ARGN} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/man_common.h2m
      COMMENT "Writing the man page of ${name}"
      VERBATIM)
    set(man_pages ${man_pages} ${page} PARENT_SCOPE)
  endfunction()
  foreach(executable IN LISTS SIGNGLOVE_INSTALLED_EXECUTABLES)
    signglove_man_page(${executable} $<TARGET_FILE:${executable}> ${executable})
  endforeach()
  foreach(tool IN LISTS SIGNGLOVE_PLOT_TOOLS)
    string(REGEX REPLACE "^signglove-plot-" "plot_" script "${tool}")
    signglove_man_page(${tool} ${CMAKE_BINARY_DIR}/${tool} ${PROJECT_SOURCE_DIR}/tools/${script}.py)
  endforeach()
  add_custom_target(man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: the man pages are skipped")
endif()

# The glove record's layout for drivers.
install(FILES ${PROJECT_SOURCE_DIR}/platform/glove_shared_record.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/signglove)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The example driver as source, to copy and build against the installed header.
install(FILES ${PROJECT_SOURCE_DIR}/examples/glove_driver.c DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
# The firmware images, to flash or to run in signglove-board and signglove-rig, which
# look for them here, beside the installed executables.
if(TARGET contact_firmware)
  install(FILES ${CMAKE_BINARY_DIR}/contact_controller.elf ${CMAKE_BINARY_DIR}/contact_controller.hex
          ${CMAKE_BINARY_DIR}/flex_glove.elf ${CMAKE_BINARY_DIR}/flex_glove.hex
          ${PROJECT_SOURCE_DIR}/firmware/flex_glove.cal
          DESTINATION ${CMAKE_INSTALL_DATADIR}/signglove/firmware)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/tests/scenarios/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/scenarios
  FILES_MATCHING PATTERN "readme_*.sim")

set(CPACK_PACKAGE_NAME signglove)
set(CPACK_PACKAGE_VENDOR "signglove")
set(CPACK_PACKAGE_CONTACT "signglove developers <signglove@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sign language recognition from a data glove and contact pads, with a simulator")
set(CPACK_PACKAGE_DESCRIPTION "signglove reads a signer's right hand through a data glove and contact pads on both
hands and recognises handshapes, movements and a short vocabulary of signed words.
signglove-sim runs the same program against a virtual signer, glove and contact
controller, so that every mode can be tried without hardware.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # the libraries the executables link, as dpkg-shlibdeps finds them
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3, python3-matplotlib")
set(CPACK_STRIP_FILES ON)  # debug information stays in the build tree
set(CPACK_GENERATOR DEB)
include(CPack)
