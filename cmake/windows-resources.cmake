# The Windows programs' resources, compiled with windres: the application manifest,
# the icon and the version information.
function(quorlin_windows_resources target description)
  set(QUORLIN_PROGRAM ${target})
  set(QUORLIN_DESCRIPTION ${description})
  set(QUORLIN_MANIFEST ${PROJECT_BINARY_DIR}/resources/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/quorlin.manifest ${QUORLIN_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/quorlin.rc.in ${PROJECT_BINARY_DIR}/resources/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/resources/${target}.rc)
  # windres reads these too: a change to either makes the resources anew.
  set_source_files_properties(${PROJECT_BINARY_DIR}/resources/${target}.rc PROPERTIES
    OBJECT_DEPENDS "${QUORLIN_MANIFEST};${PROJECT_SOURCE_DIR}/packaging/icons/quorlin.ico")
endfunction()
