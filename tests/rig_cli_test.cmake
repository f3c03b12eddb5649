# signglove-rig's command line and what it gives the program, run as a whole:
#   cmake -DRIG=<signglove-rig> -DDEVICE=<COM1 device> -P tests/rig_cli_test.cmake

if(NOT RIG OR NOT EXISTS "${RIG}")
  message(FATAL_ERROR "RIG must name the signglove-rig executable (got '${RIG}')")
endif()

set(work "${CMAKE_CURRENT_BINARY_DIR}/rig_cli")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

function(run_rig)
  execute_process(COMMAND "${RIG}" ${ARGN} INPUT_FILE /dev/null
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error TIMEOUT 60)
  set(rc "${result}" PARENT_SCOPE)
  set(out "${output}" PARENT_SCOPE)
  set(err "${error}" PARENT_SCOPE)
endfunction()

include("${CMAKE_CURRENT_LIST_DIR}/cli_expect.cmake")

function(write name text)
  file(WRITE "${work}/${name}" "${text}")
endfunction()

# A host that allows no mount namespace (no root, no user namespaces): skipped.
file(WRITE "${work}/probe.sim" "wait 10\n")
run_rig("${work}/probe.sim" -- /bin/true)
if(rc EQUAL 1 AND err MATCHES "cannot make a private mount namespace")
  message("signglove-rig cannot run here: ${err}")
  return()
endif()

# Help, and usage errors (exit 2).
run_rig(--help)
expect("--help exit status" "${rc}" 0)
expect_match("--help text" "${out}" "Usage: signglove-rig \\[OPTIONS\\] SCRIPT \\[COMMAND...\\]")
foreach(case "|SCRIPT is required" "--bogus;a.sim|--bogus" "a.sim;b.sim|unexpected argument 'b.sim'"
        "a.sim;--|-- names no command" "--controller;board;a.sim|--controller")
  string(REPLACE "|" ";" case "${case}")
  list(POP_BACK case what)
  run_rig(${case})
  expect("exit status for [${case}]" "${rc}" 2)
  expect_match("stderr for [${case}]" "${err}" "${what}")
endforeach()

# (Semicolons would split CMake arguments: the shell commands below use && and newlines.)

# Bad scripts: exit 2, FILE:LINE, nothing run. `clock` cannot be played in real time.
run_rig("${work}/missing.sim")
expect("missing script exit status" "${rc}" 2)
expect_match("missing script stderr" "${err}" "cannot read ${work}/missing.sim")
run_rig("${work}")
expect("directory as script" "${rc}|${err}" "2|signglove-rig: cannot read ${work}: Is a directory\n")
write(bad.sim "wait 10\njump 3\n")
run_rig("${work}/bad.sim")
expect("bad script exit status" "${rc}" 2)
expect("bad script stderr" "${err}" "${work}/bad.sim:2: unknown action 'jump'\n")
write(clock.sim "# crossing the wrap\n\nclock 4294967000\nwait 10\n")
run_rig("${work}/clock.sim")
expect("clock exit status" "${rc}" 2)
expect_match("clock stderr" "${err}" "^${work}/clock.sim:3: 'clock' cannot be played in real time")
expect("clock stdout" "${out}" "")

# Inside: COM1 is a terminal, /dev/shm is private and holds the glove, Enter is a newline.
write(inside.sim "wait 200\nenter\nwait 100\n")
run_rig("${work}/inside.sim" -- /bin/sh -c "test -t 0 < '${DEVICE}' && echo terminal && ls /dev/shm && read line && echo entered")
expect("inside exit status" "${rc}" 0)
expect("inside stdout" "${out}" "terminal\nsignglove-glove\nentered\n")

# The environment names the program's COM1 and glove for the rig too, as for the program.
execute_process(COMMAND ${CMAKE_COMMAND} -E env SIGNGLOVE_COM1=/dev/zero SIGNGLOVE_GLOVE=/signglove-glove-other
  "${RIG}" "${work}/inside.sim" -- /bin/sh -c "test -t 0 < /dev/zero && echo terminal && ls /dev/shm"
  INPUT_FILE /dev/null RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
expect("named by the environment" "${rc}|${out}" "0|terminal\nsignglove-glove-other\n")

# Start-up conditions: no glove published; something that is not a terminal as COM1.
write(absent.sim "glove absent\nserial fails\nwait 100\n")
run_rig("${work}/absent.sim" -- /bin/sh -c "ls /dev/shm && test -c '${DEVICE}' && ! test -t 0 < '${DEVICE}' && echo not-a-terminal")
expect("start-up conditions stdout" "${out}" "not-a-terminal\n")

# The real program: the reason for a failed COM1 on standard error, one line.
write(serial_fails.sim "serial fails\nwait 100\n")
run_rig("${work}/serial_fails.sim")
expect("serial fails exit status" "${rc}" 0)
expect("serial fails stdout" "${out}" "COM1 for Contact sensors NOT setup\n\n")
expect("serial fails stderr" "${err}" "${DEVICE}: Inappropriate ioctl for device\n")

# The program's own exit status passes through; one still running 5 s after the last
# action is ended (exit 3).
write(short.sim "wait 10\n")
run_rig("${work}/short.sim" -- /bin/sh -c "exit 7")
expect("program's exit status" "${rc}" 7)
run_rig("${work}/short.sim" -- /bin/sh -c "trap '' TERM\nwhile true\ndo sleep 1\ndone")
expect("stopped exit status" "${rc}" 3)
expect_match("stopped stderr" "${err}" "signglove-rig: stopped: ")
