# Runs CrashChild the way ctest runs a test program (through the Wine emulator script) and checks
# that its crash ends it within seconds, with a non-zero exit and Wine's fault line naming the
# address it read. Usage: cmake -DEMULATOR=<wine-run.sh> -DCHILD=<CrashChild.exe> -P CrashHarness.cmake
set(limit_seconds 20)
string(TIMESTAMP started "%s")
execute_process(COMMAND ${EMULATOR} ${CHILD} RESULT_VARIABLE result OUTPUT_VARIABLE output
                ERROR_VARIABLE errors TIMEOUT 60)
string(TIMESTAMP ended "%s")
math(EXPR seconds "${ended} - ${started}")
message("exit: ${result}, ${seconds} s\n--- output\n${output}--- errors\n${errors}---")

if(NOT result MATCHES "^[0-9]+$")
  message(FATAL_ERROR "the crashed program did not end by itself: ${result}")
endif()
if(result EQUAL 0)
  message(FATAL_ERROR "the crashed program ended with exit code 0")
endif()
if(seconds GREATER ${limit_seconds})
  message(FATAL_ERROR "the crashed program took ${seconds} s to end (a debugger waiting?)")
endif()
# Wine's own debugger (winedbg --auto) waits for ever on some machines when no terminal is there.
if(output MATCHES "CrashChild debugger: [^\n]*winedbg")
  message(FATAL_ERROR "the test prefix still names winedbg as the crash debugger (scripts/setup.sh sets it)")
endif()
if(NOT output MATCHES "CrashChild reads ([0-9A-Fa-f]+)")
  message(FATAL_ERROR "the program did not say which address it reads")
endif()
string(TOUPPER "${CMAKE_MATCH_1}" address)
string(REGEX REPLACE "^0+" "" address "${address}")
string(TOUPPER "${errors}" fault)
if(NOT fault MATCHES "UNHANDLED PAGE FAULT ON READ ACCESS TO 0*${address} AT ADDRESS [0-9A-F]+")
  message(FATAL_ERROR "no fault line naming address ${address} in the output")
endif()
