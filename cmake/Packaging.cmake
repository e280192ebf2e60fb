# The Debian packages, built by CPack: `cpack` in a Release tree (or
# scripts/package.sh) gives two packages of what the install rules put under
# /usr, one per install component:
#   zorvik      the command line and the simulator, their man pages and bash
#               completion: all a machine without a desktop needs, and only
#               the C++ runtime
#   zorvik-gui  the two windows, their menu entries, icons, AppStream files,
#               the file types and the sample update file; it needs Qt and
#               zorvik of the same version
# The libraries each needs are found by dpkg-shlibdeps from the programs.
include(${PROJECT_SOURCE_DIR}/cmake/ZorvikWebSite.cmake)
# Stops when the changelog's newest entry is not this version.
include(${PROJECT_SOURCE_DIR}/resources/linux/debian/NewestRelease.cmake)

set(ZORVIK_PACKAGE_MAINTAINER "ZORVIK support <support@zorvik-heli.example>" CACHE STRING
    "Maintainer field of the Debian package")

set(zorvik_packages zorvik)
if(ZORVIK_BUILD_GUI)
  list(APPEND zorvik_packages zorvik-gui)
endif()

# The programs' own install rules (cli/, sim/, settings/, updater/) name the
# package each goes into.

# Debian wants a copyright file and, for a package of its own upstream, a
# changelog in each package's doc folder.
find_program(ZORVIK_GZIP gzip REQUIRED)
set(changelog_gz ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
  OUTPUT ${changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
  COMMAND ${ZORVIK_GZIP} -9 -n -c ${ZORVIK_CHANGELOG} > ${changelog_gz}
  DEPENDS ${ZORVIK_CHANGELOG}
  COMMENT "Compressing the package's changelog")
add_custom_target(zorvik_package_changelog ALL DEPENDS ${changelog_gz})
foreach(package ${zorvik_packages})
  install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/debian/copyright ${changelog_gz}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${package})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${ZORVIK_COMPANY_NAME})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${zorvik_packages})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ZORVIK_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${ZORVIK_WEB_SITE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Each package's description: its summary line, then the text (CPack takes
# no common summary, so that each has its own).
set(CPACK_DEBIAN_ZORVIK_PACKAGE_NAME zorvik)
set(CPACK_DEBIAN_ZORVIK_DESCRIPTION
    "command line and device simulator for ZORVIK flybarless units
The command line of the ZORVIK flybarless stabilisation unit for model
helicopters, which it reaches through its KORLINK USB-serial adapter:
zorvik lists ports, shows the device's versions, reads and writes its
flight parameters, saves and loads settings files and installs firmware
update files, for scripts and headless machines. zorvik-sim simulates the
adapter with a unit behind it on a pseudo-terminal, for trying the programs
without the hardware.

The windows are in the package zorvik-gui.")

set(CPACK_DEBIAN_ZORVIK-GUI_PACKAGE_NAME zorvik-gui)
set(CPACK_DEBIAN_ZORVIK-GUI_DESCRIPTION
    "settings window and firmware updater for ZORVIK flybarless units
The desktop programs of the ZORVIK flybarless stabilisation unit for model
helicopters, which they reach through its KORLINK USB-serial adapter:
ZORVIKMicroSettings reads and edits the unit's flight parameters and saves
them to settings files, ZORVIKUpdater installs firmware update files. With
their menu entries, icons, the file types *.upd and *.zset, and a sample
update file for trying the updater with zorvik-sim.")
# The windows' package needs the command line's of the same build.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_ZORVIK-GUI_DEPENDS zorvik)
# Qt loads the plugin that draws on the desktop (xcb, wayland) at run time,
# so dpkg-shlibdeps cannot see it; without it the windows do not start.
set(CPACK_DEBIAN_ZORVIK-GUI_PACKAGE_DEPENDS qt6-qpa-plugins)
include(CPack)
