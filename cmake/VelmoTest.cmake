# velmo_add_test(<source> [TIMEOUT seconds] [LABELS ...])
# Every test file is its own executable and its own CTest entry, named after the file.
function(velmo_add_test source)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LABELS" ${ARGN})
  get_filename_component(name ${source} NAME_WE)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE velmo_program beos_platform velmo_test_support
    GTest::gmock GTest::gtest_main)
  # The simulated remote unit, usable as a library.
  if(TARGET velmo_unit_sim)
    target_link_libraries(${name} PRIVATE velmo_unit_sim)
  endif()
  # Tests reach the platform's private headers too: they test the layer from inside.
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/platform ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()
