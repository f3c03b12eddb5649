# Checks shared by the command-line tests (run with cmake -P): each names what it
# checks and shows the run's stdout and stderr (out, err) when it fails.

function(expect what actual expected)
  if(NOT "${actual}" STREQUAL "${expected}")
    message(FATAL_ERROR "${what}: expected [${expected}], got [${actual}]\nstdout: [${out}]\nstderr: [${err}]")
  endif()
endfunction()

function(expect_match what actual pattern)
  if(NOT "${actual}" MATCHES "${pattern}")
    message(FATAL_ERROR "${what}: [${actual}] does not match [${pattern}]\nstdout: [${out}]\nstderr: [${err}]")
  endif()
endfunction()
