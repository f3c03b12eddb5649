# The simulator's command line, run as a whole program:
#   cmake -DSIM=<signglove-sim> -DSCENARIOS=<tests/scenarios> -P tests/sim_cli_test.cmake

if(NOT SIM OR NOT EXISTS "${SIM}")
  message(FATAL_ERROR "SIM must name the signglove-sim executable (got '${SIM}')")
endif()

set(work "${CMAKE_CURRENT_BINARY_DIR}/sim_cli")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

# Runs the simulator with the given arguments; INPUT names a file for standard input.
# Leaves the exit status, standard output and standard error in rc, out and err.
function(run_sim)
  cmake_parse_arguments(PARSE_ARGV 0 run "" "INPUT" "")
  set(input)
  if(run_INPUT)
    set(input INPUT_FILE "${run_INPUT}")
  endif()
  execute_process(COMMAND "${SIM}" ${run_UNPARSED_ARGUMENTS} ${input}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error TIMEOUT 60)
  set(rc "${result}" PARENT_SCOPE)
  set(out "${output}" PARENT_SCOPE)
  set(err "${error}" PARENT_SCOPE)
endfunction()

include("${CMAKE_CURRENT_LIST_DIR}/cli_expect.cmake")

# A usage error names what is wrong and points at --help.
set(usage_pattern "(--help|--trace|--bogus|b\\.sg|not expected)")

# Help: exit 0, the script language on standard output.
run_sim(--help)
expect("--help exit status" "${rc}" 0)
expect_match("--help text" "${out}" "wait MS")
expect_match("--help text" "${out}" "serial fails")

# Usage errors: exit 2, saying what was wrong.
foreach(arguments "" "a.sg;b.sg" "--bogus" "--realtime;--fast;x.sg" "--demo;x.sg")
  run_sim(${arguments})
  expect("exit status for arguments [${arguments}]" "${rc}" 2)
  expect_match("stderr for arguments [${arguments}]" "${err}" "${usage_pattern}")
  expect("stdout for arguments [${arguments}]" "${out}" "")
endforeach()

# A missing file: exit 2, naming the file.
run_sim("${work}/missing.sg")
expect("missing file exit status" "${rc}" 2)
expect_match("missing file stderr" "${err}" "cannot read ${work}/missing.sg")

# A bad script: exit 2, FILE:LINE: message, nothing run.
set(bad "${work}/bad.sg")
file(WRITE "${bad}" "wait 10\njump 3\ncalibrate\n")
run_sim("${bad}")
expect("bad script exit status" "${rc}" 2)
expect("bad script stderr" "${err}" "${bad}:2: unknown action 'jump'\n")
expect("bad script stdout" "${out}" "")

# Comments, blank lines and CRLF line ends count as lines; the error names its argument.
set(bad_argument "${work}/bad_argument.sg")
file(WRITE "${bad_argument}" "# a comment\r\n\r\nwait 10   # fine\r\nwait soon\r\n")
run_sim("${bad_argument}")
expect("bad argument exit status" "${rc}" 2)
expect("bad argument stderr" "${err}"
  "${bad_argument}:4: 'soon' is not a number of milliseconds (a whole number from 0 to 86400000)\n")

# A bad script on standard input is reported as stdin.
run_sim(- INPUT "${bad}")
expect("bad stdin script exit status" "${rc}" 2)
expect("bad stdin script stderr" "${err}" "stdin:2: unknown action 'jump'\n")

# The program never ends (it waits for calibration): the simulation stops it.
set(endless "${work}/endless.sg")
file(WRITE "${endless}" "wait 10\n")
run_sim("${endless}")
expect("endless exit status" "${rc}" 3)
expect_match("endless stderr" "${err}" "^signglove-sim: stopped: ")
expect_match("endless stdout" "${out}" "HEAD")

# The contact port cannot be set up: the program says so and ends by itself.
set(serial_fails "${work}/serial_fails.sg")
file(WRITE "${serial_fails}" "serial fails\n")
run_sim("${serial_fails}")
expect("serial fails exit status" "${rc}" 0)
expect("serial fails stdout" "${out}" "COM1 for Contact sensors NOT setup\n\n")
expect("serial fails stderr" "${err}" "")

# Whatever the program leaves open when it ends by itself is reported: without a
# glove the program ends with the port still open, as its start-up does.
foreach(condition "serial fails baud" "serial fails line" "glove absent" "glove returns 2")
  set(left_open "${work}/left_open.sg")
  file(WRITE "${left_open}" "${condition}\n")
  run_sim("${left_open}")
  expect("[${condition}] exit status" "${rc}" 0)
  expect("[${condition}] stderr" "${err}" "signglove-sim: left open: serial port COM1\n")
endforeach()

# The same script read from standard input.
run_sim(- INPUT "${serial_fails}")
expect("stdin exit status" "${rc}" 0)
expect("stdin stdout" "${out}" "COM1 for Contact sensors NOT setup\n\n")

# The built-in demo ends by itself, having signed every word it knows.
run_sim(--fast --demo)
expect("demo exit status" "${rc}" 0)
# Its standard error holds the captions (below) and no report of anything left open.
string(REGEX REPLACE "signglove-sim: virtual signer: [^\n]*\n" "" demo_reports "${err}")
string(REGEX REPLACE "The demo has finished.\n  signed:[^\n]*\n  recognised:[^\n]*\n" "" demo_reports "${demo_reports}")
string(STRIP "${demo_reports}" demo_reports)
expect("demo stderr: all closed" "${demo_reports}" "")
expect_match("demo stdout" "${out}" "welcome to my presentation I hope this/the proves concept $")

# The demo's captions and its closing lines go to standard error when standard output
# is no terminal: the transcript is exactly the program's.
run_sim(--fast --demo)
file(READ "${SCENARIOS}/demo.expected" demo_expected)
expect("demo transcript with captions" "${out}" "${demo_expected}")
expect_match("demo captions" "${err}" "virtual signer: pressing A at the head\n")
expect_match("demo captions" "${err}" "virtual signer: signing: presentation\n")
expect_match("demo end" "${err}" "The demo has finished.\n  signed:     welcome to my presentation I hope this/the proves concept\n  recognised: welcome to my presentation I hope this/the proves concept\n")

# Help lists every name the script language takes.
run_sim(--help)
foreach(name animal letter-c old-seven fingersIncDecInc awayRightUp this/the presentation concept)
  expect_match("--help names ${name}" "${out}" " ${name}[ \n]")
endforeach()

# A script with a warning still runs; the warning names the line.
set(noisy "${work}/noisy.sg")
file(WRITE "${noisy}" "noise 50\nserial fails\n")
run_sim("${noisy}")
expect("noisy exit status" "${rc}" 0)
expect("noisy stderr" "${err}" "${noisy}:1: warning: the virtual signer is built for noise up to 10 (bends up to 2); with more the program may misread its handshapes, movements and signs\n")

# --trace writes the CSV and changes nothing on standard output; a file it cannot write
# is a usage error.
set(trace "${work}/serial_fails.csv")
run_sim(--trace "${trace}" "${serial_fails}")
expect("trace exit status" "${rc}" 0)
expect("trace stdout" "${out}" "COM1 for Contact sensors NOT setup\n\n")
file(READ "${trace}" trace_text)
expect_match("trace header" "${trace_text}" "^ms,kind,x,y,z,orient3,orient2,orient1,slot0,")
expect_match("trace console row" "${trace_text}" "\n0\\.[0-9]+,console,,,,,,,,,,,,,,,,,,,,,\"COM1 for Contact sensors NOT setup\"\n")
run_sim(--trace "${work}/no/such/dir/t.csv" "${serial_fails}")
expect("unwritable trace exit status" "${rc}" 2)
expect_match("unwritable trace stderr" "${err}" "cannot write ${work}/no/such/dir/t.csv")
run_sim("${serial_fails}" --trace)
expect("--trace without a file" "${rc}" 2)
expect_match("--trace without a file" "${err}" "${usage_pattern}")

# A trace whose writes fail (a full disk) is an error too, not a silent loss.
run_sim(--trace /dev/full "${SCENARIOS}/finger_connections.sim")
expect("trace on a full disk" "${rc}" 2)
expect_match("trace on a full disk" "${err}" "signglove-sim: cannot write /dev/full: No space left on device\n$")

# A directory is not a script; a word of ten million letters is refused at once, its
# suggestion costing no more than a short one's.
run_sim("${work}")
expect("directory exit status" "${rc}" 2)
expect("directory stderr" "${err}" "signglove-sim: cannot read ${work}: Is a directory\n")
string(REPEAT "x" 1000 thousand)
string(REPEAT "${thousand}" 10000 long_word)
foreach(line "hold ${long_word}" "${long_word}")
  file(WRITE "${work}/long_word.sg" "${line}\n")
  run_sim("${work}/long_word.sg")
  expect("a ten-million-letter word" "${rc}" 2)
  expect_match("a ten-million-letter word" "${err}" "'x+\\.\\.\\.' \\(10000000 characters\\)")
endforeach()
