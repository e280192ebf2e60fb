# The versions of the programs and of the device link, in one place. The
# settings program carries the project's version (project(VERSION) in the
# top-level CMakeLists.txt); the updater and the device link keep their own.
# They reach the code through one generated header, ZorvikVersion.h, which
# the target zorvik_version provides.
include_guard(GLOBAL)

# The product and its maker, as Windows and the Debian package name them.
set(ZORVIK_PRODUCT_NAME "ZORVIK")
set(ZORVIK_COMPANY_NAME "ZORVIK")

set(ZORVIK_UPDATER_VERSION 1.0.6)
set(ZORVIK_LINK_VERSION 3.1.0)
set(ZORVIK_RELEASE_DATE "Aug 16 2012")

string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$" link_version_parts ${ZORVIK_LINK_VERSION})
if(NOT link_version_parts)
  message(FATAL_ERROR "ZORVIK_LINK_VERSION '${ZORVIK_LINK_VERSION}' is not MAJOR.MINOR.PATCH")
endif()
set(ZORVIK_LINK_VERSION_MAJOR ${CMAKE_MATCH_1})
set(ZORVIK_LINK_VERSION_MINOR ${CMAKE_MATCH_2})
set(ZORVIK_LINK_VERSION_PATCH ${CMAKE_MATCH_3})

set(ZORVIK_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${ZORVIK_GENERATED_DIR}/ZorvikVersion.h
               @ONLY)
add_library(zorvik_version INTERFACE)
target_include_directories(zorvik_version INTERFACE ${ZORVIK_GENERATED_DIR})
