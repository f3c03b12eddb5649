# The trace plotter on a real trace:
#   cmake -DSIM=<signglove-sim> -DPYTHON=<python3> -DTOOL=<tools/plot_trace.py> -DSCRIPT=<a .sim> -P tests/plot_trace_test.cmake

set(work "${CMAKE_CURRENT_BINARY_DIR}/plot_trace")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

execute_process(COMMAND "${SIM}" --trace "${work}/trace.csv" "${SCRIPT}" RESULT_VARIABLE rc OUTPUT_QUIET TIMEOUT 60)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "signglove-sim --trace ended with ${rc}")
endif()

foreach(picture trace.svg trace.png)
  execute_process(COMMAND "${PYTHON}" "${TOOL}" "${work}/trace.csv" -o "${work}/${picture}" --title "a test"
    RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 120)
  if(NOT rc EQUAL 0 OR NOT EXISTS "${work}/${picture}")
    message(FATAL_ERROR "plot_trace.py -o ${picture} ended with ${rc}: ${err}")
  endif()
endforeach()

# The signer's actions and the program's words are written along the time axis.
file(READ "${work}/trace.svg" svg)
foreach(text "signing: to" "signing: hope" "SIGN RECOGNITION program" "position" "contact")
  string(FIND "${svg}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the picture does not show '${text}'")
  endif()
endforeach()

# The whole run, menus and calibration included, draws too.
execute_process(COMMAND "${PYTHON}" "${TOOL}" "${work}/trace.csv" -o "${work}/whole.png" --from 0
  RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 120)
if(NOT rc EQUAL 0 OR NOT EXISTS "${work}/whole.png")
  message(FATAL_ERROR "plot_trace.py --from 0 ended with ${rc}: ${err}")
endif()

# A file that is no trace is refused with a message, not a stack trace.
file(WRITE "${work}/not_a_trace.csv" "a,b\n1,2\n")
execute_process(COMMAND "${PYTHON}" "${TOOL}" "${work}/not_a_trace.csv" -o "${work}/bad.png"
  RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 120)
if(rc EQUAL 0 OR NOT err MATCHES "not a signglove-sim trace")
  message(FATAL_ERROR "a file that is no trace: status ${rc}, stderr [${err}]")
endif()
