# What `cmake --install` puts where, and the packages cpack makes of it: a
# Debian package on Linux, a zip for Windows. Every file that names the
# version takes it from project(VERSION).
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(packaging_dir ${CMAKE_CURRENT_BINARY_DIR}/packaging)

set(CPACK_PACKAGE_NAME quelvarn)
set(CPACK_PACKAGE_VENDOR "The quelvarn maintainers")
set(CPACK_PACKAGE_CONTACT "quelvarn maintainers <maintainers@users.noreply.c-seed-b750cba8.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert the MPC orbit catalogue into Stellarium's minor bodies")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # One folder that a user unpacks anywhere: the program, and its texts with
  # Windows line ends so that any editor shows them.
  install(TARGETS quelvarn RUNTIME DESTINATION .)
  foreach(pair "README.md;README.txt" "packaging/copyright;COPYRIGHT.txt")
    list(GET pair 0 from)
    list(GET pair 1 to)
    file(READ ${CMAKE_CURRENT_SOURCE_DIR}/${from} text)
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${packaging_dir}/${to} "${text}")
    install(FILES ${packaging_dir}/${to} DESTINATION .)
  endforeach()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME quelvarn-${PROJECT_VERSION}-win64)
else()
  install(TARGETS quelvarn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Debian wants manual pages and change logs compressed, without a time stamp.
  configure_file(doc/quelvarn.1 ${packaging_dir}/quelvarn.1 @ONLY)
  string(TIMESTAMP today "%a, %d %b %Y 00:00:00 +0000" UTC)
  file(WRITE ${packaging_dir}/changelog
    "quelvarn (${PROJECT_VERSION}) stable; urgency=medium\n\n"
    "  * Release ${PROJECT_VERSION}.\n\n"
    " -- ${CPACK_PACKAGE_CONTACT}  ${today}\n")
  foreach(name quelvarn.1 changelog)
    execute_process(COMMAND gzip -9nf ${packaging_dir}/${name} COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  install(FILES ${packaging_dir}/quelvarn.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md packaging/copyright ${packaging_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Loaded only when a URL is read, so not found by the above.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS libcurl4)
  set(CPACK_PACKAGE_DESCRIPTION
    "quelvarn converts the Minor Planet Center's orbit catalogue, MPCORB.DAT\n"
    "(plain or gzip-compressed), into the minor-body catalogue that the\n"
    "Stellarium planetarium reads, ssystem_minor.ini. The conversion is exact to\n"
    "the byte, and the previous catalogue is kept whole until the new one is\n"
    "complete on disk.")
  string(CONCAT CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
endif()

include(CPack)
