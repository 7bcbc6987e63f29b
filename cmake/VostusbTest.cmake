# vostusb_add_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [PROGRAMS exe1 exe2] [RESOURCE_LOCK name])
# One GoogleTest program, registered with CTest test by test. Under the Windows build CTest runs
# it through the cross-compiling emulator (Wine).
# PROGRAMS: executables of the build that the tests start; they are built before the test program.
# RESOURCE_LOCK: tests that share something even between simulated machines run one at a time, on
# both builds (for example the processes found by name: every simulated machine sees all of them).
include(${CMAKE_CURRENT_LIST_DIR}/Wine.cmake)

function(vostusb_add_test name)
  cmake_parse_arguments(T "" "RESOURCE_LOCK" "SOURCES;LIBS;PROGRAMS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} vostusb_test_support vostusb_gtest_main)
  vostusb_warnings(${name})
  if(T_PROGRAMS)
    add_dependencies(${name} ${T_PROGRAMS})
  endif()
  # Any test may reach the simulated machine's kernel, which the platform layer starts on demand.
  if(TARGET vostusb-machine)
    add_dependencies(${name} vostusb-machine)
  endif()
  set(properties TIMEOUT 300)
  if(T_RESOURCE_LOCK)
    list(APPEND properties RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  if(VOSTUSB_WINE_RUN)
    # On Linux every test has a simulated machine of its own. Under Wine all tests share one: its
    # registry, named objects, processes and debugger output. So there they run one at a time.
    list(APPEND properties FIXTURES_REQUIRED wine_server RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES ${properties})
endfunction()
