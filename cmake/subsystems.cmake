# One static library per subsystem folder; the sources are collected from the
# folder so that a new file needs no edit here.  The dependency list states the
# one-way layer order.
function(tessaro_subsystem name dir)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
    target_link_libraries(${name} PUBLIC ${ARGN} OpenMP::OpenMP_CXX Threads::Threads ${CMAKE_DL_LIBS})
    target_compile_definitions(${name} PUBLIC
      TESSARO_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
      TESSARO_VERSION_MINOR=${PROJECT_VERSION_MINOR}
      TESSARO_VERSION_PATCH=${PROJECT_VERSION_PATCH}
      TESSARO_VERSION_TWEAK=${PROJECT_VERSION_TWEAK})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
    target_link_libraries(${name} INTERFACE ${ARGN} OpenMP::OpenMP_CXX Threads::Threads ${CMAKE_DL_LIBS})
  endif()
endfunction()
