# vl_add_library(<name> SOURCES <files...>)
# The static library vl_<name> of one folder, with its alias vl::<name>; that folder is on the
# include path of whatever links it.
function(vl_add_library name)
  cmake_parse_arguments(L "" "" "SOURCES" ${ARGN})
  add_library(vl_${name} STATIC ${L_SOURCES})
  add_library(vl::${name} ALIAS vl_${name})
  target_include_directories(vl_${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()

# vl_add_tool(<name> SOURCES <files...> LIBS <targets...>)
# A command-line tool beside the program, told the project's version.
function(vl_add_tool name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  target_compile_definitions(${name} PRIVATE VL_VERSION="${PROJECT_VERSION}")
endfunction()
