# Fails when a source that the Windows build compiles (src/, tests/, tools/)
# waits on an atomic. The mingw-w64 C++ runtime has no futex to wait with: an
# atomic wait there spins and sleeps on its own, and under Wine such a wait
# now and then never wakes. Refused are: std::latch, std::barrier and the
# semaphores (each built on atomic waits) with their headers; std::jthread and
# the stop tokens (whose callbacks synchronise through a semaphore); the free
# atomic wait and notify functions; and wait, notify_one and notify_all called
# on a variable declared std::atomic anywhere in the scanned sources. Threads
# wait on a std::condition_variable instead.
# Run as: cmake -DSOURCE_DIR=<repo> -P this
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)

set(word_end "([^A-Za-z0-9_]|$)")
set(forbidden
  "#[ \t]*include[ \t]*<(latch|barrier|semaphore|stop_token)>"
  "std::(latch|barrier|counting_semaphore|binary_semaphore|jthread|stop_token|stop_source|stop_callback)${word_end}"
  "std::atomic(_flag)?_(wait|notify_one|notify_all)(_explicit)?${word_end}")

# A file's text without line comments, and with the characters that CMake's
# lists treat specially made blanks, so that one list element is one line.
function(read_code file out)
  file(READ "${file}" text)
  string(REGEX REPLACE "//[^\n]*" "" text "${text}")
  string(REGEX REPLACE "[][;\\]" " " text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
  "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp" "${SOURCE_DIR}/src/*.c"
  "${SOURCE_DIR}/tests/*.h" "${SOURCE_DIR}/tests/*.cpp" "${SOURCE_DIR}/tests/*.c"
  "${SOURCE_DIR}/tools/*.h" "${SOURCE_DIR}/tools/*.cpp" "${SOURCE_DIR}/tools/*.c")

# Every name declared as an atomic (std::atomic<T>, std::atomic_flag,
# std::atomic_ref<T>, ...): a member may be declared in one file and waited
# on in another.
set(atomic_names "")
foreach(source IN LISTS sources)
  read_code("${SOURCE_DIR}/${source}" code)
  string(REGEX MATCHALL
    "std::atomic(_[a-z0-9_]+)?(<[^>]*>+[ \t&*]*|[ \t&*]+)[A-Za-z_][A-Za-z0-9_]*" declarations
    "${code}")
  foreach(declaration IN LISTS declarations)
    string(REGEX MATCH "[A-Za-z_][A-Za-z0-9_]*$" name "${declaration}")
    list(APPEND atomic_names "${name}")
  endforeach()
endforeach()
list(REMOVE_DUPLICATES atomic_names)
if(atomic_names)
  list(JOIN atomic_names "|" alternatives)
  list(APPEND forbidden
    "(^|[^A-Za-z0-9_])(${alternatives})[ \t]*(\\.|->)[ \t]*(wait|notify_one|notify_all)[ \t]*\\(")
endif()

set(violations 0)
foreach(source IN LISTS sources)
  read_code("${SOURCE_DIR}/${source}" code)
  set(suspect FALSE)
  foreach(pattern IN LISTS forbidden)
    if(code MATCHES "${pattern}")
      set(suspect TRUE)
    endif()
  endforeach()
  if(NOT suspect)
    continue()
  endif()
  # Only now line by line, for the line numbers.
  string(REPLACE "\n" ";" lines "${code}")
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    foreach(pattern IN LISTS forbidden)
      if(line MATCHES "${pattern}")
        string(STRIP "${line}" shown)
        message(SEND_ERROR "${source}:${number}: waits on an atomic: ${shown}")
        math(EXPR violations "${violations} + 1")
        break()
      endif()
    endforeach()
  endforeach()
endforeach()
if(violations GREATER 0)
  message(FATAL_ERROR "${violations} atomic wait(s) in sources built for Windows")
endif()
message(STATUS "atomic waits: none in sources built for Windows")
