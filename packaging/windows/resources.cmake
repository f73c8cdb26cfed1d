# velquor_windows_resources(TARGET): the program's icon (rendered from packaging/velquor.svg
# with Debian's rsvg-convert and icotool), its version information and its manifest, compiled
# into TARGET with windres.
function(velquor_windows_resources target)
  find_program(VELQUOR_RSVG_CONVERT rsvg-convert REQUIRED)
  find_program(VELQUOR_ICOTOOL icotool REQUIRED)
  set(src ${PROJECT_SOURCE_DIR}/packaging)
  set(gen ${CMAKE_BINARY_DIR}/generated/windows)
  set(ico ${gen}/velquor.ico)
  set(pngs)
  set(render)
  foreach(size 16 24 32 48 64 128 256)
    list(APPEND pngs ${gen}/icon-${size}.png)
    list(APPEND render COMMAND ${VELQUOR_RSVG_CONVERT} -w ${size} -h ${size} -o ${gen}/icon-${size}.png ${src}/velquor.svg)
  endforeach()
  # The largest size is stored as PNG, as Windows expects it.
  add_custom_command(OUTPUT ${ico}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${gen}
    ${render}
    COMMAND ${VELQUOR_ICOTOOL} -c -o ${ico} ${gen}/icon-16.png ${gen}/icon-24.png ${gen}/icon-32.png
            ${gen}/icon-48.png ${gen}/icon-64.png ${gen}/icon-128.png -r ${gen}/icon-256.png
    DEPENDS ${src}/velquor.svg VERBATIM)
  set(VELQUOR_ICON ${ico})
  set(VELQUOR_MANIFEST ${src}/windows/velquor.manifest)
  set(VELQUOR_VERSION_COMMAS ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,0)
  if(PROJECT_VERSION_PATCH)
    set(VELQUOR_VERSION_COMMAS ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0)
  endif()
  configure_file(${src}/windows/velquor.rc.in ${gen}/velquor.rc @ONLY)
  target_sources(${target} PRIVATE ${gen}/velquor.rc)
  set_source_files_properties(${gen}/velquor.rc PROPERTIES OBJECT_DEPENDS "${ico};${VELQUOR_MANIFEST}")
endfunction()
