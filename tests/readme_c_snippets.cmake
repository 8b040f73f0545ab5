# Compiles every C block of the README (```c ... ```) with -Wall -Wextra
# -Werror, so that what readers copy builds cleanly. A block is a fragment:
# its #include lines go first, the rest becomes the body of a function, and
# what the fragments take for granted (the C library's and qel's headers, an
# open camera's key, the application's process function) is declared beside
# it.
#
# cmake -DREADME=... -DCOMPILER=... -DINCLUDES=dir|dir -DWORK_DIR=... -P readme_c_snippets.cmake
file(READ "${README}" text)
# Lists split at semicolons, which C is full of.
string(REPLACE ";" "<semicolon>" text "${text}")
string(REGEX MATCHALL "```c\n[^`]*```" blocks "${text}")
list(LENGTH blocks count)
if(count EQUAL 0)
  message(FATAL_ERROR "${README} holds no C block")
endif()

string(REPLACE "|" ";" include_dirs "${INCLUDES}")
set(include_flags)
foreach(dir IN LISTS include_dirs)
  list(APPEND include_flags "-I${dir}")
endforeach()

file(MAKE_DIRECTORY "${WORK_DIR}")
set(number 0)
set(failed FALSE)
foreach(block IN LISTS blocks)
  math(EXPR number "${number} + 1")
  string(REGEX REPLACE "^```c\n" "" block "${block}")
  string(REGEX REPLACE "```$" "" block "${block}")
  string(REPLACE "\n" ";" lines "${block}")
  set(includes "#include <stdint.h>\n#include <stdio.h>\n#include <stdlib.h>\n")
  string(APPEND includes "#include <qel/qel.h>\n")
  set(body "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^#include")
      string(APPEND includes "${line}\n")
    else()
      string(APPEND body "  ${line}\n")
    endif()
  endforeach()
  string(CONCAT source "${includes}\nint32_t key;\nvoid process(const unsigned char* frame, ...);\n"
         "\nvoid readme_block_${number}(void) {\n${body}}\n")
  string(REPLACE "<semicolon>" ";" source "${source}")
  set(file "${WORK_DIR}/readme_block_${number}.c")
  file(WRITE "${file}" "${source}")
  execute_process(
    COMMAND "${COMPILER}" -std=c11 -Wall -Wextra -Werror -fsyntax-only ${include_flags} "${file}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(SEND_ERROR "C block ${number} of the README does not compile cleanly:\n${output}")
    set(failed TRUE)
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "see ${WORK_DIR}")
endif()
message(STATUS "${count} C block(s) of the README compile without warnings")
