# The programs' compiled-in images, one OBJECT library per program.
#
# They are OBJECT libraries on purpose: the resource compiler's output only
# registers the images from a static initializer that nothing refers to, so
# in a STATIC library the linker drops it and every image is silently
# missing at run time. An OBJECT library's objects go straight into each
# program that links it, and the images are registered before main() runs.
include_guard(GLOBAL)

add_library(zorvik_settings_resources OBJECT ${CMAKE_CURRENT_LIST_DIR}/settings.qrc)
add_library(zorvik_updater_resources OBJECT ${CMAKE_CURRENT_LIST_DIR}/updater.qrc)
foreach(target zorvik_settings_resources zorvik_updater_resources)
  set_target_properties(${target} PROPERTIES AUTORCC ON)
  target_link_libraries(${target} PRIVATE Qt6::Core)
endforeach()
