# The Ravik viewer: everything but main() in ravik_app, which the tests link.
set(RAVIK_APP_DIR ${CMAKE_CURRENT_LIST_DIR})
add_library(ravik_app STATIC
  ${RAVIK_APP_DIR}/CommandStore.cpp
  ${RAVIK_APP_DIR}/CrashHandler.cpp
  ${RAVIK_APP_DIR}/DlgLoading.cpp
  ${RAVIK_APP_DIR}/DlgLoading.h
  ${RAVIK_APP_DIR}/DlgRender.cpp
  ${RAVIK_APP_DIR}/DlgRender.h
  ${RAVIK_APP_DIR}/Language.cpp
  ${RAVIK_APP_DIR}/Locks.cpp
  ${RAVIK_APP_DIR}/PageBase.cpp
  ${RAVIK_APP_DIR}/PageBase.h
  ${RAVIK_APP_DIR}/RavikApp.cpp
  ${RAVIK_APP_DIR}/RavikDlg.cpp
  ${RAVIK_APP_DIR}/RavikDlg.h
  ${RAVIK_APP_DIR}/Styling.cpp
  ${RAVIK_APP_DIR}/TextConv.cpp
  ${RAVIK_APP_DIR}/UiSeam.cpp
  ${RAVIK_APP_DIR}/pages/DataPages.cpp
  ${RAVIK_APP_DIR}/pages/DataPages.h
  ${RAVIK_APP_DIR}/pages/DlgCodeEdit.cpp
  ${RAVIK_APP_DIR}/pages/DlgCodeEdit.h
  ${RAVIK_LAYOUT_SOURCES})
set_target_properties(ravik_app PROPERTIES AUTOMOC ON)
target_include_directories(ravik_app PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(ravik_app PRIVATE ${QUILLET_WARNINGS})
target_compile_definitions(ravik_app PRIVATE RAVIK_VERSION="${PROJECT_VERSION}")
# The library is bound at load time, as the program's own import.
target_link_libraries(ravik_app PUBLIC ravik_render Quillet platform Qt6::Widgets)

add_executable(Ravik ${RAVIK_APP_DIR}/main.cpp)
target_compile_options(Ravik PRIVATE ${QUILLET_WARNINGS})
target_link_options(Ravik PRIVATE -Wl,--no-as-needed)
target_link_libraries(Ravik PRIVATE ravik_app)
quillet_host_executable(Ravik)
add_dependencies(Ravik copy_data)
