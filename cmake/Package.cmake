# The Debian package: `cpack -G DEB` in a Release build makes hoardel3d_<version>_amd64.deb
# with what `cmake --install` puts in /usr (the release presets: `cmake --workflow --preset
# package`). Also the two documents Debian expects in share/doc/hoardel3d, which a plain
# installation gets as well.

set(HOARDEL_PACKAGE_MAINTAINER "Hoardel 3D developers <hoardel3d@example.org>"
    CACHE STRING "Name <address> for the package's Maintainer field and changelog")

# The changelog entry of this version, dated the day of configuration (SOURCE_DATE_EPOCH
# when set, for reproducible packages).
string(TIMESTAMP HOARDEL_CHANGELOG_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
configure_file(data/changelog.in ${PROJECT_BINARY_DIR}/doc/changelog @ONLY)
hoardel_gzip(hoardel_changelog ${PROJECT_BINARY_DIR}/doc/changelog ${PROJECT_BINARY_DIR}/doc/changelog.gz)
install(FILES data/copyright ${PROJECT_BINARY_DIR}/doc/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME hoardel3d)
set(CPACK_PACKAGE_VENDOR "Hoardel 3D developers")
set(CPACK_PACKAGE_CONTACT "${HOARDEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "3D treasure-chamber screensaver")
# Lines under 80 columns, as dpkg shows them.
set(CPACK_PACKAGE_DESCRIPTION [[
A real-time 3D screensaver: a flight through a vaulted treasure chamber with
heaps of gold, a giant gem, a dragon statue, shields and swords on the walls,
flickering torches and a fireplace, a banner swaying in the draught and light
falling through the ceiling cage, with background music and an optional clock.

It runs under XScreenSaver (its settings file and program link are included),
full screen or in a test window on its own, and offscreen to capture frames as
PNG files. Also included: hoardel-rar, a tool for RAR 2.0 archives, and
hoardel-xdump, which prints DirectX .X model files.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # hoardel3d_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION x11)    # where Debian keeps the XScreenSaver hacks
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)   # Depends from the libraries the binaries link
set(CPACK_DEBIAN_PACKAGE_SUGGESTS xscreensaver)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# The package unpacked into a temporary folder: the checks of the installation, the installed
# program run, the control fields and lintian. One process, so that cpack runs once.
hoardel_test(package_tests LABEL package ONE_PROCESS TIMEOUT 900 SOURCES tests/install/package_test.cpp
             LIBS hoardel_run_options PNG::PNG ZLIB::ZLIB)
target_compile_definitions(package_tests PRIVATE HOARDEL_CPACK_COMMAND="${CMAKE_CPACK_COMMAND}"
                           HOARDEL_VERSION="${PROJECT_VERSION}")
add_dependencies(package_tests installable)
