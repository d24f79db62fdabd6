# The layout reader: bytes of a ".dlgc" file through decoding, parsing, the
# records, the band geometry and the writer. Seeds: the shipped layouts and
# the files in layout_seeds/.
if(TARGET ravik_app)
  file(GLOB LAYOUT_FUZZ_SEEDS ${CMAKE_SOURCE_DIR}/data/dlg_*.dlgc ${CMAKE_CURRENT_LIST_DIR}/layout_seeds/*)
  if(QUILLET_FUZZ)
    # The layout engine's own objects, instrumented; the rest of the viewer
    # comes from ravik_app as it is.
    file(GLOB LAYOUT_FUZZ_SOURCES ${CMAKE_SOURCE_DIR}/viewer/layout/*.cpp ${CMAKE_SOURCE_DIR}/viewer/layout/*.h)
    add_executable(layout_fuzz ${CMAKE_CURRENT_LIST_DIR}/LayoutFuzz.cpp ${LAYOUT_FUZZ_SOURCES})
    set_target_properties(layout_fuzz PROPERTIES AUTOMOC ON)
    target_compile_options(layout_fuzz PRIVATE ${QUILLET_FUZZ_FLAGS})
    target_link_options(layout_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  else()
    add_executable(layout_fuzz ${CMAKE_CURRENT_LIST_DIR}/LayoutFuzz.cpp ${CMAKE_CURRENT_LIST_DIR}/FuzzDriver.cpp)
    add_test(NAME LayoutFuzz.SeedCorpus COMMAND layout_fuzz ${LAYOUT_FUZZ_SEEDS})
  endif()
  target_compile_options(layout_fuzz PRIVATE ${QUILLET_WARNINGS})
  target_link_libraries(layout_fuzz PRIVATE ravik_app)
  quillet_host_executable(layout_fuzz)
endif()
