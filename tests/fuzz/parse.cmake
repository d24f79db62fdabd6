# The parse pipeline through the Code_ interface: bytes of an NC program
# lexed, parsed with sub-program files beside it, drawn, highlighted and
# simulated. Seeds: parse_seeds/ (the samples and the programs of the tests);
# parse_fuzz.dict holds NC words for libFuzzer to splice in.
# The exports are compiled in with the library's core (as in libQuillet.so),
# so the target can lower the executed-block budget.
if(QUILLET_FUZZ)
  add_executable(parse_fuzz ${CMAKE_CURRENT_LIST_DIR}/ParseFuzz.cpp ${CMAKE_SOURCE_DIR}/mod_gcode/export/Exports.cpp)
  target_link_options(parse_fuzz PRIVATE -fsanitize=fuzzer)
else()
  add_executable(parse_fuzz ${CMAKE_CURRENT_LIST_DIR}/ParseFuzz.cpp ${CMAKE_SOURCE_DIR}/mod_gcode/export/Exports.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/FuzzDriver.cpp)
  add_test(NAME ParseFuzz.SeedCorpus COMMAND parse_fuzz ${CMAKE_CURRENT_LIST_DIR}/parse_seeds)
endif()
target_link_libraries(parse_fuzz PRIVATE quillet_core platform)
target_compile_options(parse_fuzz PRIVATE ${QUILLET_WARNINGS})
add_dependencies(parse_fuzz copy_data)
