# connector_add_test(NAME SOURCES ... LIBS ... [RESOURCE_LOCK lock ...] [ENVIRONMENT VAR=value ...])
# One QtTest executable per unit; every test sees the source tree and CI flag through its environment.
function(connector_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;RESOURCE_LOCK;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE connector_test_support Qt6::Test ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;CONNECTOR_SOURCE_DIR=${PROJECT_SOURCE_DIR};${ARG_ENVIRONMENT}")
  if(ARG_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
  endif()
endfunction()
