# The Windows release zip (cpack, or the windows-zip workflow preset):
# quorlin-<version>-win64.zip holding quorlin.exe, quorlin-cli.exe, README.txt and LICENSE.txt.
install(TARGETS quorlin quorlin-cli RUNTIME DESTINATION .)
# The read-me with Windows line endings, for Notepad.
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
# The licence, as LICENSE.txt with Windows line endings.
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quorlin)
set(CPACK_PACKAGE_FILE_NAME quorlin-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
