# Every executable's command line follows the same conventions:
#   cmake -DEXECUTABLES="<path>;<path>..." -P tests/cli_conventions_test.cmake
# --help and -h print the same usage and options on standard output and exit 0;
# --version prints "NAME VERSION"; an option it does not take is a usage error (exit 2)
# that names the option (given with a positional argument, so that a tool that requires
# one complains of the option). Nothing is started: none of these touches a device.

include("${CMAKE_CURRENT_LIST_DIR}/cli_expect.cmake")

foreach(executable IN LISTS EXECUTABLES)
  get_filename_component(name "${executable}" NAME)
  execute_process(COMMAND "${executable}" --help INPUT_FILE /dev/null
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
  expect("${name} --help exit status" "${rc}" 0)
  expect_match("${name} --help" "${out}" "^([^\n]*\n)?Usage: ${name}")
  set(help "${out}")
  execute_process(COMMAND "${executable}" -h INPUT_FILE /dev/null
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
  expect("${name} -h" "${rc}|${out}" "0|${help}")
  execute_process(COMMAND "${executable}" --version INPUT_FILE /dev/null
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
  expect("${name} --version" "${rc}|${out}" "0|${name} ${VERSION}\n")
  execute_process(COMMAND "${executable}" --no-such-option some.sim INPUT_FILE /dev/null
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
  expect("${name} --no-such-option exit status" "${rc}" 2)
  expect_match("${name} --no-such-option names it" "${err}" "--no-such-option")
endforeach()
