# One static library per layer folder of src/; the sources are collected
# from the folder so that a new file needs no edit here.  A layer sees only
# its own headers and those of the layers below it: its include directory is
# a folder of links to exactly those layers, so an include that reaches up or
# sideways does not compile (tests/layers checks the same from the text).
function(tessaro_layer layer below)
  set(name tessaro_${layer})
  set(view ${PROJECT_BINARY_DIR}/layer_view/${layer})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  foreach(seen ${below} ${layer})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${seen} ${view}/${seen} SYMBOLIC)
  endforeach()
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/src/${layer}/*.cpp")
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PRIVATE ${view})
  # The public header is the contract of the records that reach the host.
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/include)
  foreach(seen ${below})
    target_link_libraries(${name} PUBLIC tessaro_${seen})
  endforeach()
  target_link_libraries(${name} PUBLIC OpenMP::OpenMP_CXX Threads::Threads ${CMAKE_DL_LIBS})
  target_compile_definitions(${name} PUBLIC
    TESSARO_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    TESSARO_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    TESSARO_VERSION_PATCH=${PROJECT_VERSION_PATCH}
    TESSARO_VERSION_TWEAK=${PROJECT_VERSION_TWEAK})
endfunction()
