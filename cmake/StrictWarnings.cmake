# The Qt-free libraries (the device link, the parameters) are also checked
# for shadowed names and for implicit conversions that may change a value:
# they move the device's bytes and numbers, where a silently narrowed or
# sign-changed value reaches the helicopter.
#
#   zorvik_strict_warnings_here()
#
# at the end of a folder's CMakeLists.txt applies them to every library
# that folder defines.
include_guard(GLOBAL)

function(zorvik_strict_warnings_here)
  if(MSVC)
    return()
  endif()
  get_property(targets DIRECTORY PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type MATCHES "LIBRARY$" AND NOT type STREQUAL "INTERFACE_LIBRARY")
      target_compile_options(${target} PRIVATE -Wshadow -Wconversion)
    endif()
  endforeach()
endfunction()
