# cmake -D BUILD_DIR=... -D LABEL=... -D TESTS=regex -P CheckTestLabels.cmake
# Fails unless some test whose name matches TESTS carries exactly the label LABEL.
execute_process(COMMAND ${CMAKE_CTEST_COMMAND} -N -L "^${LABEL}$" -R "${TESTS}"
  WORKING_DIRECTORY "${BUILD_DIR}" OUTPUT_VARIABLE listed RESULT_VARIABLE status)
string(REGEX MATCH "Total Tests: ([0-9]+)" total "${listed}")
if(NOT status EQUAL 0 OR NOT CMAKE_MATCH_1 GREATER 0)
  message(FATAL_ERROR "no test matching ${TESTS} carries the label ${LABEL}:\n${listed}")
endif()
message(STATUS "${CMAKE_MATCH_1} tests matching ${TESTS} carry the label ${LABEL}")
