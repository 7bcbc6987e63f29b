# vostusb_add_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2)
# One GoogleTest program, registered with CTest test by test. Under the Windows build CTest runs
# it through the cross-compiling emulator (Wine).
function(vostusb_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} vostusb_test_support vostusb_gtest_main)
  vostusb_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 300)
endfunction()
