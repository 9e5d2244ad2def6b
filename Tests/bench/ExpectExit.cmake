# Runs a program and fails unless it ends with the exit code EXIT and its standard output
# (STREAM=stdout) or standard error (STREAM=stderr) matches the regular expression PATTERN.
# A program that runs on past TIMEOUT seconds (60 by default) fails too: it was meant to end
# at once, before doing any work.
# Run: cmake -DEXIT=2 -DSTREAM=stderr -DPATTERN=regex -P ExpectExit.cmake -- PROGRAM [ARGS...]
set(command)
set(after_separator FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
    if(after_separator)
        list(APPEND command "${CMAKE_ARGV${i}}")
    elseif(CMAKE_ARGV${i} STREQUAL "--")
        set(after_separator TRUE)
    endif()
endforeach()
if(NOT command OR NOT DEFINED EXIT OR NOT STREAM MATCHES "^(stdout|stderr)$" OR NOT DEFINED PATTERN)
    message(FATAL_ERROR "usage: cmake -DEXIT=N -DSTREAM=stdout|stderr -DPATTERN=regex -P ExpectExit.cmake -- PROGRAM [ARGS...]")
endif()
if(NOT DEFINED TIMEOUT)
    set(TIMEOUT 60)
endif()

execute_process(COMMAND ${command} RESULT_VARIABLE code OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr
                TIMEOUT ${TIMEOUT})
list(JOIN command " " shown)
if(NOT code STREQUAL EXIT)
    message(FATAL_ERROR "${shown}: expected exit code ${EXIT}, got ${code}\nstdout:\n${stdout}\nstderr:\n${stderr}")
endif()
if(NOT "${${STREAM}}" MATCHES "${PATTERN}")
    message(FATAL_ERROR "${shown}: ${STREAM} does not match '${PATTERN}'\nstdout:\n${stdout}\nstderr:\n${stderr}")
endif()
