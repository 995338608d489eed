# connector_add_test(NAME SOURCES ... LIBS ... [PRIVATE_NETWORK] [RESOURCE_LOCK lock ...]
#                    [ENVIRONMENT VAR=value ...])
# One QtTest executable per unit; every test sees the source tree and CI flag through its environment.
# PRIVATE_NETWORK runs it in a network namespace of its own, for tests that bind the fixed ports.
function(connector_add_test name)
  cmake_parse_arguments(ARG "PRIVATE_NETWORK" "" "SOURCES;LIBS;RESOURCE_LOCK;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE connector_test_support Qt6::Test ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(ARG_PRIVATE_NETWORK)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tests/support/run-in-private-network
                                  $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;CONNECTOR_SOURCE_DIR=${PROJECT_SOURCE_DIR};XDG_STATE_HOME=${CMAKE_BINARY_DIR}/tests/state;${ARG_ENVIRONMENT}")
  if(ARG_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
  endif()
endfunction()
