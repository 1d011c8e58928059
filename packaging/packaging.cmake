# Installation and packages: "cmake --install" puts the program, its manual
# page and the README in place (nothing else: the SNMP library is not for
# other programs); "cpack" makes a Debian package, or from the MinGW build a
# zip with tarnwick.exe and the README. scripts/package makes both.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "the Tarnwick authors")
set(CPACK_PACKAGE_CONTACT "The Tarnwick authors <tarnwick@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print a network device's ARP table, read over SNMPv1")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
  install(TARGETS tarnwick RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tarnwick-${PROJECT_VERSION}-win32)
else()
  install(TARGETS tarnwick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Compressed as Debian wants them, reproducibly (no name or time stamp inside).
  set(gz ${CMAKE_BINARY_DIR}/packaging)
  add_custom_command(OUTPUT ${gz}/tarnwick.1.gz ${gz}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${gz}
    COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/packaging/tarnwick.1 > ${gz}/tarnwick.1.gz
    COMMAND gzip -9nc ${gz}/changelog > ${gz}/changelog.gz
    DEPENDS packaging/tarnwick.1 ${gz}/changelog)
  configure_file(packaging/changelog.in ${gz}/changelog @ONLY)
  add_custom_target(tarnwick_docs ALL DEPENDS ${gz}/tarnwick.1.gz ${gz}/changelog.gz)
  install(FILES ${gz}/tarnwick.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # What a Debian package carries besides: only in the package, not in a
  # plain "cmake --install".
  install(FILES packaging/copyright ${gz}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
    COMPONENT debian EXCLUDE_FROM_ALL)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};tarnwick;Unspecified;/;${CMAKE_BINARY_DIR};tarnwick;debian;/")

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries the program needs, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The summary above is the first line; this is the rest.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tarnwick walks the ARP table of a network device, a switch or a router,
with SNMPv1 GetNextRequest messages and prints one row per entry: the IPv4
address, the MAC address and the interface index.")
endif()
include(CPack)
