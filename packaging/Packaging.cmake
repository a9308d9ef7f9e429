# Installation as a desktop program and the Debian package.
#   cmake --install build --prefix /usr      programs in bin, data in share
#   cd build && cpack -G DEB                 nordalis_<version>_<arch>.deb
# The version is the project's (project() in the top CMakeLists.txt) everywhere: programs, package
# and the top entry of debian/changelog, which configuring checks.

# The program carries its application-directory files inside itself (a first run writes them);
# the same files are installed as plain files for the operator to look at and copy, together
# with the example German interface file.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/home/ DESTINATION ${CMAKE_INSTALL_DATADIR}/nordalis/home)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/nordalis/examples)
install(FILES ${PROJECT_SOURCE_DIR}/resources/schema.sql DESTINATION ${CMAKE_INSTALL_DATADIR}/nordalis)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Debian's documentation files: the copyright statement and the compressed changelog.
set(NORDALIS_CHANGELOG ${CMAKE_CURRENT_LIST_DIR}/debian/changelog)
file(STRINGS ${NORDALIS_CHANGELOG} changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^nordalis \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: the top entry must be version ${PROJECT_VERSION}, it is: ${changelog_top}")
endif()
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.Debian.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${NORDALIS_CHANGELOG} ${PROJECT_BINARY_DIR}/changelog.Debian
  COMMAND ${GZIP_PROGRAM} -9nf ${PROJECT_BINARY_DIR}/changelog.Debian
  DEPENDS ${NORDALIS_CHANGELOG} VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${PROJECT_BINARY_DIR}/changelog.Debian.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/nordalis.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/nordalis.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The udev rule that lets the person at the computer use the DS2490 USB adapter. The package puts
# it in /usr/lib/udev/rules.d (read by udev on every Debian since bookworm); not the multiarch
# library directory, which udev does not read.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/udev/60-nordalis-ds2490.rules DESTINATION lib/udev/rules.d)

set(CPACK_PACKAGE_NAME nordalis)
set(CPACK_PACKAGE_VENDOR "NORDALIS")
set(CPACK_PACKAGE_CONTACT "NORDALIS maintainers <nordalis@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Temperature monitoring with DS1921 1-Wire loggers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so the library scan cannot see them: the window-system plugins of Qt.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_STRIP_FILES ON)
include(CPack)

# The package check builds the .deb, unpacks it into a scratch tree and starts both programs.
find_program(DPKG_DEB_PROGRAM dpkg-deb)
if(BUILD_TESTING AND DPKG_DEB_PROGRAM)
  add_test(NAME package_deb
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            ${CMAKE_CURRENT_LIST_DIR}/check-deb.sh ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
  set_tests_properties(package_deb PROPERTIES TIMEOUT 120 RUN_SERIAL ON)
endif()
