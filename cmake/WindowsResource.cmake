# The Windows resources of a program: icon, manifest and version block, from the
# versions in ZorvikVersion.cmake and the project's version (the product's).
#
#   zorvik_windows_resource(TARGET DESCRIPTION VERSION)
#
# Does nothing when not building for Windows.
include_guard(GLOBAL)

set(ZORVIK_PRODUCT_NAME "ZORVIK")
set(ZORVIK_COMPANY_NAME "ZORVIK")

function(zorvik_windows_resource target description version)
  if(NOT WIN32)
    return()
  endif()
  set(ZORVIK_RC_NAME ${target})
  set(ZORVIK_RC_DESCRIPTION "${description}")
  set(ZORVIK_RC_VERSION ${version})
  set(ZORVIK_RC_PRODUCT "${ZORVIK_PRODUCT_NAME}")
  set(ZORVIK_RC_COMPANY "${ZORVIK_COMPANY_NAME}")
  set(ZORVIK_RC_ICON "${PROJECT_SOURCE_DIR}/resources/windows/zorvik.ico")
  set(ZORVIK_RC_MANIFEST "${PROJECT_SOURCE_DIR}/resources/windows/utf8.manifest")
  string(REPLACE "." "," commas "${version}")
  set(ZORVIK_RC_VERSION_COMMAS "${commas},0")
  string(REPLACE "." "," commas "${PROJECT_VERSION}")
  set(ZORVIK_RC_PRODUCT_VERSION_COMMAS "${commas},0")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/windows/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
