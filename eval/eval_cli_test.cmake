# signglove-eval run as a whole program on the small grid:
#   cmake -DEVAL=<signglove-eval> [-DPLOT=<tools/plot_eval.py>] -P eval/eval_cli_test.cmake
# The CSV must not depend on the number of workers, every item must be recognised in
# clean conditions, and an interrupted run must leave the first trials' lines, whole.

if(NOT EVAL OR NOT EXISTS "${EVAL}")
  message(FATAL_ERROR "EVAL must name the signglove-eval executable (got '${EVAL}')")
endif()

set(work "${CMAKE_CURRENT_BINARY_DIR}/eval_cli")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

# The lines of a CSV as a list; the semicolons that separate printed names become |.
function(read_lines path var)
  file(READ "${path}" text)
  string(REPLACE ";" "|" text "${text}")
  string(REGEX REPLACE "\n$" "" text "${text}")
  string(REPLACE "\n" ";" text "${text}")
  set(${var} "${text}" PARENT_SCOPE)
endfunction()

function(run_eval csv)
  execute_process(COMMAND "${EVAL}" --grid small --quiet --csv "${csv}" ${ARGN}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 600)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "signglove-eval ${ARGN} exited with ${rc}\nstdout: [${out}]\nstderr: [${err}]")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run_eval("${work}/one.csv" --jobs 1)
run_eval("${work}/three.csv" --jobs 3)
file(READ "${work}/one.csv" one)
file(READ "${work}/three.csv" three)
if(NOT one STREQUAL three)
  message(FATAL_ERROR "the CSV differs between 1 and 3 workers: ${work}/one.csv, ${work}/three.csv")
endif()

# Clean conditions (noise 0, bends 0, tempo 1, scan 2 ms, every poll): all recognised.
read_lines("${work}/one.csv" rows)
list(LENGTH rows count)
if(NOT count EQUAL 261)  # the header and 5 conditions of 52 items
  message(FATAL_ERROR "expected 261 lines in the CSV, got ${count}")
endif()
set(clean 0)
foreach(row IN LISTS rows)
  if(row MATCHES "^[0-9]+,0,0,1,2,0,")
    math(EXPR clean "${clean} + 1")
    if(NOT row MATCHES ",1$")
      message(FATAL_ERROR "not recognised in clean conditions: ${row}")
    endif()
  endif()
endforeach()
if(NOT clean EQUAL 52)
  message(FATAL_ERROR "expected 52 clean trials, got ${clean}")
endif()
if(NOT out MATCHES "\n +0 +0 +1 +2 +0 \\| +100\\.0 +100\\.0 +100\\.0 \\|")
  message(FATAL_ERROR "the summary does not show clean conditions at 100%:\n${out}")
endif()

# The pictures of the small grid's CSV.
if(PLOT)
  execute_process(COMMAND "${PLOT}" "${work}/one.csv" --out "${work}/plots"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 300)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PLOT} exited with ${rc}\nstdout: [${out}]\nstderr: [${err}]")
  endif()
  foreach(picture accuracy noise-tempo confusion-handshape confusion-movement confusion-word)
    file(READ "${work}/plots/eval-${picture}.svg" svg LIMIT 400)
    if(NOT svg MATCHES "<svg")
      message(FATAL_ERROR "eval-${picture}.svg is not an SVG picture")
    endif()
    file(READ "${work}/plots/eval-${picture}.png" png LIMIT 8 HEX)
    if(NOT png STREQUAL "89504e470d0a1a0a")
      message(FATAL_ERROR "eval-${picture}.png is not a PNG picture")
    endif()
  endforeach()
endif()

# Interrupted: a long run stopped by SIGINT exits with 130 and leaves a CSV whose
# lines are the first trials in order, each whole. The header reaches the file once the
# run is ready for the signal.
execute_process(COMMAND sh -c "\"$0\" --tempo 1 --seeds 1000 --quiet --jobs 2 --csv \"$1\" >/dev/null 2>&1 & pid=$!; while [ ! -s \"$1\" ]; do sleep 0.1; done; sleep 1; kill -INT $pid; wait $pid"
  "${EVAL}" "${work}/stopped.csv" RESULT_VARIABLE rc TIMEOUT 120)
if(NOT rc EQUAL 130)
  message(FATAL_ERROR "an interrupted run exited with ${rc}, not 130")
endif()
read_lines("${work}/stopped.csv" rows)
list(POP_FRONT rows header)
if(NOT header MATCHES "^trial,noise,")
  message(FATAL_ERROR "the interrupted CSV lost its header: [${header}]")
endif()
set(expected 0)
foreach(row IN LISTS rows)
  if(NOT row MATCHES "^${expected},[^,]*,[^,]*,[^,]*,[^,]*,[^,]*,[^,]*,[^,]*,[^,]*,[^,]*,[^,]*,[01]$")
    message(FATAL_ERROR "line ${expected} of the interrupted CSV is not trial ${expected}, whole: [${row}]")
  endif()
  math(EXPR expected "${expected} + 1")
endforeach()

# NaN and infinity are refused in every numeric option, a grid too large to hold is
# refused before anything runs, and a write that fails (a full disk) is an error.
foreach(option --tempo --noise --bend-noise --scan --refresh --seeds --jobs)
  foreach(value nan inf -inf 1,nan)
    execute_process(COMMAND "${EVAL}" ${option} ${value} --csv "${work}/refused.csv"
      RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
    if(rc EQUAL 0 OR NOT err MATCHES "${option}")
      message(FATAL_ERROR "${option} ${value} was not refused (exit ${rc}): ${err}")
    endif()
  endforeach()
endforeach()
string(REPEAT "0," 999 many)
execute_process(COMMAND "${EVAL}" --noise ${many}0 --scan ${many}0 --refresh ${many}0 --csv "${work}/huge.csv"
  RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 60)
if(NOT rc EQUAL 2 OR NOT err MATCHES "the grid would have 52000000000 trials; at most 1000000 fit in one run")
  message(FATAL_ERROR "a grid too large was not refused up front (exit ${rc}): ${err}")
endif()
execute_process(COMMAND "${EVAL}" --family movement --tempo 1 --quiet --csv /dev/full
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
if(NOT rc EQUAL 1 OR NOT err MATCHES "cannot write /dev/full: No space left on device")
  message(FATAL_ERROR "a CSV on a full disk was not an error (exit ${rc}): ${err}")
endif()
foreach(csv - "${work}/report.csv")
  execute_process(COMMAND "${EVAL}" --family movement --tempo 1 --quiet --csv ${csv} OUTPUT_FILE /dev/full
    RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 1 OR NOT err MATCHES "cannot write standard output: No space left on device")
    message(FATAL_ERROR "standard output on a full disk (--csv ${csv}) was not an error (exit ${rc}): ${err}")
  endif()
endforeach()

# Without a grid it runs the small one, having said what the full one would take.
execute_process(COMMAND "${EVAL}" --family movement --quiet --csv "${work}/default.csv"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 300)
file(STRINGS "${work}/default.csv" rows)
list(LENGTH rows count)
if(NOT rc EQUAL 0 OR NOT count EQUAL 36 OR NOT err MATCHES "running the small grid; --grid full runs 2520 trials, about")
  message(FATAL_ERROR "no --grid: exit ${rc}, ${count} lines, stderr [${err}]")
endif()
