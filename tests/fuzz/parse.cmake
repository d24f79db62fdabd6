# The parse pipeline through the Code_ interface: bytes of an NC program
# lexed, parsed with sub-program files beside it, drawn, highlighted and
# simulated. Seeds: parse_seeds/ (the samples and the programs of the tests);
# parse_fuzz.dict holds NC words for libFuzzer to splice in.
if(QUILLET_FUZZ)
  # The library's own code, instrumented: the exports are compiled in, so
  # the target can lower the executed-block budget.
  file(GLOB PARSE_FUZZ_SOURCES ${CMAKE_SOURCE_DIR}/mod_gcode/GCCode/*.cpp ${CMAKE_SOURCE_DIR}/mod_gcode/export/*.cpp)
  add_executable(parse_fuzz ${CMAKE_CURRENT_LIST_DIR}/ParseFuzz.cpp ${PARSE_FUZZ_SOURCES})
  target_compile_options(parse_fuzz PRIVATE ${QUILLET_FUZZ_FLAGS})
  target_link_options(parse_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(parse_fuzz PRIVATE platform Boost::boost Boost::system Threads::Threads)
  target_include_directories(parse_fuzz PRIVATE ${CMAKE_SOURCE_DIR})
else()
  add_executable(parse_fuzz ${CMAKE_CURRENT_LIST_DIR}/ParseFuzz.cpp ${CMAKE_SOURCE_DIR}/mod_gcode/export/Exports.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/FuzzDriver.cpp)
  target_link_libraries(parse_fuzz PRIVATE quillet_core platform)
  add_test(NAME ParseFuzz.SeedCorpus COMMAND parse_fuzz ${CMAKE_CURRENT_LIST_DIR}/parse_seeds)
endif()
target_compile_options(parse_fuzz PRIVATE ${QUILLET_WARNINGS})
add_dependencies(parse_fuzz copy_data)
