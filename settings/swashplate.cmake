# The swash plate visualizer as a small library of its own, so that the
# settings program and the visualizer's tests build it the same way.
# include() this file from any CMakeLists.txt that needs the target.
include_guard(GLOBAL)

add_library(zorvik_swashplate STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SwashPlate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SwashPlate.h
)
set_target_properties(zorvik_swashplate PROPERTIES AUTOMOC ON)
# The settings form promotes a label to SwashPlate: its generated code
# includes "SwashPlate.h" by name.
target_include_directories(zorvik_swashplate PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zorvik_swashplate PUBLIC Qt6::Widgets)
