# The layout reader: bytes of a ".dlgc" file through decoding, parsing, the
# records, the band geometry and the writer. Seeds: the shipped layouts and
# the files in layout_seeds/.
if(TARGET ravik_app)
  file(GLOB LAYOUT_FUZZ_SEEDS ${CMAKE_SOURCE_DIR}/data/dlg_*.dlgc ${CMAKE_CURRENT_LIST_DIR}/layout_seeds/*)
  if(QUILLET_FUZZ)
    # ravik_app's objects, the layout engine's among them, are instrumented
    # in this configuration.
    add_executable(layout_fuzz ${CMAKE_CURRENT_LIST_DIR}/LayoutFuzz.cpp)
    target_link_options(layout_fuzz PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(layout_fuzz ${CMAKE_CURRENT_LIST_DIR}/LayoutFuzz.cpp ${CMAKE_CURRENT_LIST_DIR}/FuzzDriver.cpp)
    add_test(NAME LayoutFuzz.SeedCorpus COMMAND layout_fuzz ${LAYOUT_FUZZ_SEEDS})
  endif()
  target_compile_options(layout_fuzz PRIVATE ${QUILLET_WARNINGS})
  target_link_libraries(layout_fuzz PRIVATE ravik_app)
  quillet_host_executable(layout_fuzz)
endif()
