# Fuzz targets (tests/fuzz) exist only in a clang build with CONNECTOR_FUZZ=ON, which tools/fuzz
# makes in build/fuzz. All the project's code gets libFuzzer's coverage instrumentation and ASan/UBSan.
option(CONNECTOR_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(CONNECTOR_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "CONNECTOR_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
