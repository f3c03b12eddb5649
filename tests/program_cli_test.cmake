# The real program's command line and run-time names, run as a whole program:
#   cmake -DPROGRAM=<signglove> -P tests/program_cli_test.cmake
# /dev/ptmx stands in for a serial device: it opens as a terminal and is set raw.

if(NOT PROGRAM OR NOT EXISTS "${PROGRAM}")
  message(FATAL_ERROR "PROGRAM must name the signglove executable (got '${PROGRAM}')")
endif()
include("${CMAKE_CURRENT_LIST_DIR}/cli_expect.cmake")

# Runs the program with the given environment settings (NAME=VALUE), then arguments
# after ARGS; standard input is empty.
function(run_program)
  cmake_parse_arguments(PARSE_ARGV 0 run "" "" "ARGS")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${run_UNPARSED_ARGUMENTS} "${PROGRAM}" ${run_ARGS}
    INPUT_FILE /dev/null RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error TIMEOUT 30)
  set(rc "${result}" PARENT_SCOPE)
  set(out "${output}" PARENT_SCOPE)
  set(err "${error}" PARENT_SCOPE)
endfunction()

run_program(ARGS --version)
expect("--version" "${rc}|${out}|${err}" "0|signglove 1.0.0\n|")
foreach(help --help -h)
  run_program(ARGS ${help})
  expect("${help} exit status" "${rc}" 0)
  expect_match("${help} names the environment" "${out}" "SIGNGLOVE_COM1=PATH.*SIGNGLOVE_GLOVE=/NAME")
endforeach()
foreach(arguments "--bogus" "session.sim" "--help;extra" "--version;--help")
  run_program(ARGS ${arguments})
  list(GET arguments -1 named)
  expect("arguments [${arguments}]" "${rc}|${out}" "2|")
  expect_match("arguments [${arguments}] stderr" "${err}" "^signglove: unexpected argument '${named}'")
endforeach()

# SIGNGLOVE_COM1 names the device opened as COM1.
run_program(SIGNGLOVE_COM1=/nonexistent/signglove-com1)
expect("SIGNGLOVE_COM1 missing device" "${rc}|${out}" "0|COM1 for Contact sensors NOT setup\n\n")
expect("SIGNGLOVE_COM1 reason" "${err}" "/nonexistent/signglove-com1: No such file or directory\n")
run_program(SIGNGLOVE_COM1=)
expect("SIGNGLOVE_COM1 empty" "${out}|${err}"
  "COM1 for Contact sensors NOT setup\n\n|SIGNGLOVE_COM1 is set but empty: it names no device\n")

# SIGNGLOVE_GLOVE names the glove's object; every way of finding no glove says why.
string(RANDOM LENGTH 12 suffix)
run_program(SIGNGLOVE_COM1=/dev/ptmx SIGNGLOVE_GLOVE=/signglove-cli-${suffix})
expect("SIGNGLOVE_GLOVE missing object" "${rc}|${out}" "0|P5 NOT DETECTED\n\n")
expect("SIGNGLOVE_GLOVE reason" "${err}"
  "glove /signglove-cli-${suffix}: no such shared-memory object (is the glove driver running?)\n")
foreach(bad "signglove-glove" "/a/b" "/" "")
  run_program(SIGNGLOVE_COM1=/dev/ptmx "SIGNGLOVE_GLOVE=${bad}")
  expect("SIGNGLOVE_GLOVE='${bad}'" "${rc}|${out}" "0|P5 NOT DETECTED\n\n")
  expect_match("SIGNGLOVE_GLOVE='${bad}' reason" "${err}" "^SIGNGLOVE_GLOVE='[^']*' is not a shared-memory object name")
endforeach()
