# vantorel_test(NAME SOURCES a.cc b.cc LIBS lib... [THREADED])
# THREADED marks tests that exercise more than one thread: they also run under TSan.
function(vantorel_test name)
  cmake_parse_arguments(T "THREADED" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  vantorel_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  # Helpers shared by several test folders: #include "support/...".
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # The code under test comes optimised from the libraries; optimising the test bodies
  # themselves only lengthens the build (by about two fifths of the tests' compile time).
  target_compile_options(${name} PRIVATE $<$<CONFIG:RelWithDebInfo,Release>:-O0>)
  set(labels unit)
  if(T_THREADED)
    set(labels unit threaded)
    # "ninja threaded_tests" builds only what the ThreadSanitizer stage runs.
    set_property(GLOBAL APPEND PROPERTY VANTOREL_THREADED_TESTS ${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
  # gtest_discover_tests passes its PROPERTIES on as single words, so a list value such as
  # LABELS "unit;threaded" would lose its second label and shift every property after it.
  # Instead ctest reads this file after it has added the discovered tests (listed in
  # ${name}_TESTS) and sets the properties on them whole.
  set(properties_file "${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake")
  file(WRITE "${properties_file}"
    "if(${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${labels}\" TIMEOUT 120\n"
    "    ENVIRONMENT \"SDL_AUDIODRIVER=dummy;QT_QPA_PLATFORM=offscreen\")\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${properties_file}")
endfunction()
