# iecx_module(<folder> DEPS <targets...>)
# Builds every .cpp/.c below <folder> into the static library iecx_<folder>; files added to the
# folder are picked up at the next build without editing this file.
function(iecx_module name)
  cmake_parse_arguments(M "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/${name}/*.cpp ${PROJECT_SOURCE_DIR}/${name}/*.c)
  if(NOT sources)
    set(sources ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(iecx_${name} STATIC ${sources})
  target_include_directories(iecx_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(iecx_${name} PUBLIC ${M_DEPS})
endfunction()
