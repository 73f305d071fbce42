# Helpers that every folder uses to declare its targets.
include(CMakeParseArguments)
include(GoogleTest)

set(ORX_COMPONENT_ENTRY_POINTS
  QVACompLibInit QVACompLibRelease QVACompLibGetCount QVACompGetInfo QVACompCreate QVACompRelease)
set(ORX_CHECK_EXPORTS_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/CheckExports.cmake")

# orx_add_static_library(NAME SOURCES ... [LINK ...] [PUBLIC_INCLUDE dir...])
# A static library built position-independent with hidden symbols, ready to be linked into
# a deliverable, each of which then carries its own copy.
function(orx_add_static_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK;PUBLIC_INCLUDE" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  if(ARG_PUBLIC_INCLUDE)
    target_include_directories(${name} PUBLIC ${ARG_PUBLIC_INCLUDE})
  else()
    target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}")
  endif()
  if(ARG_LINK)
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
  endif()
endfunction()

# Writes a linker version script that keeps only the given symbols global.
function(orx_write_version_script path)
  set(body "{\n  global:\n")
  foreach(symbol IN LISTS ARGN)
    string(APPEND body "    ${symbol};\n")
  endforeach()
  string(APPEND body "  local:\n    *;\n};\n")
  file(WRITE "${path}" "${body}")
endfunction()

# Adds a build step that fails when the library exports anything but the given symbols.
function(orx_check_exports target)
  string(REPLACE ";" "," allowed "${ARGN}")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${target}> "-DALLOWED=${allowed}"
            -P "${ORX_CHECK_EXPORTS_SCRIPT}"
    VERBATIM)
endfunction()

# add_component_library(NAME FILE_NAME file SOURCES ... [LINK ...] [EXPORTS sym...]
#                       [OUTPUT_DIRECTORY dir] [NO_FRAMEWORK])
# Builds a deliverable: a shared library loaded by name at run time, with hidden symbols,
# -Bsymbolic, a version script that exports only its entry points (the six component entry
# points unless EXPORTS names others) and its own copy of the static framework.
function(add_component_library name)
  cmake_parse_arguments(ARG "NO_FRAMEWORK" "FILE_NAME;OUTPUT_DIRECTORY" "SOURCES;LINK;EXPORTS" ${ARGN})
  if(NOT ARG_EXPORTS)
    set(ARG_EXPORTS ${ORX_COMPONENT_ENTRY_POINTS})
  endif()
  if(NOT ARG_OUTPUT_DIRECTORY)
    set(ARG_OUTPUT_DIRECTORY "${ORX_LIBRARY_DIR}")
  endif()
  add_library(${name} SHARED ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}")
  if(ARG_FILE_NAME)
    string(REGEX REPLACE "\\.so$" "" base "${ARG_FILE_NAME}")
    set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME "${base}" SUFFIX ".so")
  endif()
  set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY "${ARG_OUTPUT_DIRECTORY}")
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${name}.exports.map")
  orx_write_version_script("${script}" ${ARG_EXPORTS})
  target_link_options(${name} PRIVATE "-Wl,--version-script=${script}" "-Wl,-Bsymbolic")
  if(ORX_SANITIZER STREQUAL "none")
    target_link_options(${name} PRIVATE "-Wl,-z,defs")
  endif()
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS "${script}")
  if(NOT ARG_NO_FRAMEWORK)
    target_link_libraries(${name} PRIVATE orx_framework)
  endif()
  if(ARG_LINK)
    target_link_libraries(${name} PRIVATE ${ARG_LINK})
  endif()
  target_link_libraries(${name} PRIVATE ${CMAKE_DL_LIBS} Threads::Threads)
  orx_check_exports(${name} ${ARG_EXPORTS})
endfunction()

find_package(Threads REQUIRED)
find_package(GTest REQUIRED)

# orx_add_gtest(NAME SOURCES ... [LINK ...] [DEPENDS target...] [LABELS ...]
#               [TSAN_FILTER gtest-filter] [TIMEOUT seconds])
# One GoogleTest program per subsystem, every case a CTest test labelled by subsystem.
# In the ThreadSanitizer configuration only programs with a TSAN_FILTER are built, and only
# the matching cases are registered, labelled `tsan`. In the other configurations the
# matching cases carry the `tsan` label too, so `ctest -L tsan` finds them anywhere.
function(orx_add_gtest name)
  cmake_parse_arguments(ARG "" "TSAN_FILTER;TIMEOUT" "SOURCES;LINK;DEPENDS;LABELS" ${ARGN})
  if(ORX_SANITIZER STREQUAL "thread" AND NOT ARG_TSAN_FILTER)
    return()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  set(target test_${name})
  add_executable(${target} ${ARG_SOURCES})
  target_include_directories(${target} PRIVATE "${CMAKE_SOURCE_DIR}")
  # The test programs' own sources mostly drive library code; -Og compiles them about twice as
  # fast as the configuration's level while keeping their loops quick enough.
  target_compile_options(${target} PRIVATE -Og)
  target_link_libraries(${target} PRIVATE ${ARG_LINK} orx_test_support GTest::gtest GTest::gtest_main
                        ${CMAKE_DL_LIBS} Threads::Threads)
  # Exported so that libraries loaded by the test find the host log hook in the executable.
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
  if(ARG_DEPENDS)
    add_dependencies(${target} ${ARG_DEPENDS})
  endif()
  # Every label reaches each test. gtest_discover_tests hands its PROPERTIES through three
  # unquoted list expansions before set_tests_properties sees them, so a plain list would keep
  # only its first label (and read the next as a property name): the separators of a label list
  # go in escaped once per expansion (seven backslashes). The test cmake.TestKeepsEveryLabel
  # holds this.
  set(separator "\\\\\\\\\\\\\\;")
  set(labels ${name} ${ARG_LABELS})
  string(REPLACE ";" "${separator}" labels "${labels}")
  set(env "ORX_REGISTRY=${CMAKE_BINARY_DIR}/test-registry-unused")
  if(ORX_SANITIZER STREQUAL "thread")
    gtest_discover_tests(${target} TEST_PREFIX "${name}." TEST_FILTER "${ARG_TSAN_FILTER}"
      DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS "tsan${separator}${name}" TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${env}")
    set_property(GLOBAL APPEND PROPERTY ORX_TSAN_TARGETS ${target})
  else()
    set(filter "*")
    if(ARG_TSAN_FILTER)
      string(REPLACE ":" ";" tsan_list "${ARG_TSAN_FILTER}")
      gtest_discover_tests(${target} TEST_PREFIX "${name}." TEST_FILTER "${ARG_TSAN_FILTER}"
        DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${labels}${separator}tsan" TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${env}")
      set(filter "-${ARG_TSAN_FILTER}")
    endif()
    gtest_discover_tests(${target} TEST_PREFIX "${name}." TEST_FILTER "${filter}"
      DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS "${labels}" TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${env}")
  endif()
endfunction()

# orx_add_test_library(NAME [FILE_NAME f] SOURCES ... [LINK ...] [EXPORTS ...] [OUTPUT_DIRECTORY d])
# A shared library that only tests load (test components, doubles). Built like a deliverable
# but placed in the test folder, never next to the deliverables unless asked.
function(orx_add_test_library name)
  cmake_parse_arguments(ARG "NO_FRAMEWORK" "FILE_NAME;OUTPUT_DIRECTORY" "SOURCES;LINK;EXPORTS" ${ARGN})
  if(NOT ARG_OUTPUT_DIRECTORY)
    set(ARG_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/testlib")
  endif()
  set(pass)
  if(ARG_NO_FRAMEWORK)
    list(APPEND pass NO_FRAMEWORK)
  endif()
  if(ARG_FILE_NAME)
    list(APPEND pass FILE_NAME ${ARG_FILE_NAME})
  endif()
  if(ARG_EXPORTS)
    list(APPEND pass EXPORTS ${ARG_EXPORTS})
  endif()
  if(ARG_LINK)
    list(APPEND pass LINK ${ARG_LINK})
  endif()
  add_component_library(${name} ${pass} OUTPUT_DIRECTORY "${ARG_OUTPUT_DIRECTORY}" SOURCES ${ARG_SOURCES})
endfunction()

# Called once at the end of the top-level list file.
function(orx_finish_targets)
  get_property(tsan_targets GLOBAL PROPERTY ORX_TSAN_TARGETS)
  if(tsan_targets)
    add_custom_target(tsan_tests DEPENDS ${tsan_targets})
  else()
    add_custom_target(tsan_tests)
  endif()
endfunction()
