# The two kinds of target the project is made of.
include(GoogleTest)

# A module of the program: a static library whose headers are named from the
# project root ("mesh/store.h").
#   aseview_module(NAME SOURCES file... [LINKS target...])
function(aseview_module name)
  cmake_parse_arguments(arg "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${arg_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${arg_LINKS})
endfunction()

# The test programs themselves are not optimized (what they test is): they
# compile in half the time with the precompiled GoogleTest header of
# tests/support, which optimized, GCC 12 would fault with false bounds in
# std::string's inlined copies. _FORTIFY_SOURCE wants optimizing.
set(ASEVIEW_TEST_OPTIONS -O0 -U_FORTIFY_SOURCE)

# A GoogleTest program whose cases CTest runs one by one. The cases are listed
# when the tests run, not at build time, as many need a display to start; a
# parameterized case is named by its parameter's name, not its bytes. A
# program that starts an X server of its own (it links test_display) has the
# label "display", which scripts/test --stress runs.
#   aseview_test(NAME SOURCES file... [LINKS target...] [DEFINES def...]
#                [NEEDS target...] [PROPERTIES prop value...])
function(aseview_test name)
  cmake_parse_arguments(arg "" "" "SOURCES;LINKS;DEFINES;NEEDS;PROPERTIES" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${arg_LINKS} GTest::gtest_main GTest::gmock)
  target_precompile_headers(${name} REUSE_FROM test_pch)
  target_compile_options(${name} PRIVATE ${ASEVIEW_TEST_OPTIONS})
  target_compile_definitions(${name} PRIVATE ${arg_DEFINES})
  if(arg_NEEDS)
    add_dependencies(${name} ${arg_NEEDS})
  endif()
  set(labels "")
  if("test_display" IN_LIST arg_LINKS)
    set(labels LABELS display)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                       PROPERTIES TIMEOUT 300 ${labels} ${arg_PROPERTIES})
endfunction()
