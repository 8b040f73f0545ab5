# Runs Doxygen with the API reference's settings (DOXYFILE) on the headers in
# SAMPLE_DIR, into OUTPUT_DIR, and succeeds only when Doxygen fails and names
# QelUndocumented: a header with an undocumented export must fail the
# reference, as docs/Doxyfile.in promises.
#   cmake -DDOXYGEN=... -DDOXYFILE=... -DSAMPLE_DIR=... -DOUTPUT_DIR=... -P check_docs.cmake
file(REMOVE_RECURSE ${OUTPUT_DIR})
file(MAKE_DIRECTORY ${OUTPUT_DIR})
file(WRITE ${OUTPUT_DIR}/Doxyfile "@INCLUDE = \"${DOXYFILE}\"
INPUT = \"${SAMPLE_DIR}\"
USE_MDFILE_AS_MAINPAGE =
OUTPUT_DIRECTORY = \"${OUTPUT_DIR}\"
")
execute_process(COMMAND ${DOXYGEN} ${OUTPUT_DIR}/Doxyfile WORKING_DIRECTORY ${OUTPUT_DIR}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0)
  message(FATAL_ERROR "Doxygen accepted a header with an undocumented export:\n${output}")
endif()
if(NOT output MATCHES "QelUndocumented")
  message(FATAL_ERROR "Doxygen failed, but not on the undocumented export:\n${output}")
endif()
if(output MATCHES "QelDocumented[^a-zA-Z]")
  message(FATAL_ERROR "Doxygen complained of the documented export:\n${output}")
endif()
message(STATUS "the undocumented export fails the reference")
