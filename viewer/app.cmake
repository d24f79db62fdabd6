# The Ravik viewer program.
add_executable(Ravik ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_compile_options(Ravik PRIVATE ${QUILLET_WARNINGS})
# Quillet is loaded at start even before the program calls into it.
target_link_options(Ravik PRIVATE -Wl,--no-as-needed)
target_link_libraries(Ravik PRIVATE ravik_render Quillet Qt6::Widgets)
quillet_host_executable(Ravik)
add_dependencies(Ravik copy_data)
