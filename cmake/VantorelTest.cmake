# vantorel_test(NAME SOURCES a.cc b.cc LIBS lib... [THREADED])
# THREADED marks tests that exercise more than one thread: they also run under TSan.
function(vantorel_test name)
  cmake_parse_arguments(T "THREADED" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  vantorel_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set(labels unit)
  if(T_THREADED)
    set(labels unit threaded)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${labels}" TIMEOUT 120
    ENVIRONMENT "SDL_AUDIODRIVER=dummy\\;QT_QPA_PLATFORM=offscreen")
endfunction()
