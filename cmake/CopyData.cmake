# Copies data/ beside the executables (cmake -P, with SRC and DST set).
# Files the viewer writes back with the user's edits (data tables and page
# layouts) are copied only when they are not there yet, so a rebuild never
# throws away offsets, variables or layouts a user changed; everything else
# (rules, tips, scripts, shaders, languages, samples) follows the sources.
file(GLOB_RECURSE files RELATIVE "${SRC}" "${SRC}/*")
foreach(rel ${files})
  set(from "${SRC}/${rel}")
  set(to "${DST}/${rel}")
  set(keep FALSE)
  if(rel MATCHES "^fanuc/" OR rel MATCHES "^dlg_.*\\.dlgc$")
    set(keep TRUE)
  endif()
  if(keep AND EXISTS "${to}")
    continue()
  endif()
  get_filename_component(dir "${to}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  file(COPY_FILE "${from}" "${to}" ONLY_IF_DIFFERENT)
endforeach()
