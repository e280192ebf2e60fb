# The Debian package, built by CPack: `cpack` in a Release tree (or
# scripts/package.sh) gives zorvik_<version>_amd64.deb with everything the
# install rules put under /usr. The libraries it needs are found by
# dpkg-shlibdeps from the programs themselves.
include(${PROJECT_SOURCE_DIR}/cmake/ZorvikWebSite.cmake)

set(ZORVIK_PACKAGE_MAINTAINER "ZORVIK support <support@zorvik-heli.example>" CACHE STRING
    "Maintainer field of the Debian package")

# Debian wants a copyright file and, for a package of its own upstream, a
# changelog in the package's doc folder. The changelog's newest entry must
# be this release: a version raised without an entry stops here.
set(debian_dir ${PROJECT_SOURCE_DIR}/resources/linux/debian)
file(STRINGS ${debian_dir}/changelog newest_entry LIMIT_COUNT 1)
if(NOT newest_entry MATCHES "^zorvik \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "resources/linux/debian/changelog begins with '${newest_entry}': "
                      "add an entry for ${PROJECT_VERSION} on top")
endif()
find_program(ZORVIK_GZIP gzip REQUIRED)
set(changelog_gz ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
  OUTPUT ${changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
  COMMAND ${ZORVIK_GZIP} -9 -n -c ${debian_dir}/changelog > ${changelog_gz}
  DEPENDS ${debian_dir}/changelog
  COMMENT "Compressing the package's changelog")
add_custom_target(zorvik_package_changelog ALL DEPENDS ${changelog_gz})
set(package_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/zorvik)
install(FILES ${debian_dir}/copyright ${changelog_gz} DESTINATION ${package_doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ZORVIK)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "settings, firmware updater and command line for ZORVIK flybarless units")
set(CPACK_PACKAGE_DESCRIPTION
    "The desktop software of the ZORVIK flybarless stabilisation unit for model
helicopters, which it reaches through its KORLINK USB-serial adapter:
ZORVIKMicroSettings reads and edits the unit's flight parameters and saves
them to settings files, ZORVIKUpdater installs firmware update files, and
the command line zorvik does both for scripts and headless machines.
zorvik-sim simulates the adapter with a unit behind it on a pseudo-terminal,
for trying the programs without the hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ZORVIK_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${ZORVIK_WEB_SITE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads the plugin that draws on the desktop (xcb, wayland) at run time,
# so dpkg-shlibdeps cannot see it; without it the windows do not start.
if(ZORVIK_BUILD_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
