# Replays the committed corpus of every fuzz target (fuzz/<name>_fuzz.cpp
# with its inputs in fuzz/corpus/<name>/) through the target's entry point
# with a plain main, so that the normal and the sanitizer builds check the
# corpus without a fuzzing compiler.
file(GLOB tessaro_fuzz_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/fuzz/*_fuzz.cpp)
foreach(src ${tessaro_fuzz_sources})
  get_filename_component(stem ${src} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" name ${stem})
  set(corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  if(NOT IS_DIRECTORY ${corpus})
    message(WARNING "fuzz target ${stem} has no corpus in ${corpus}")
    continue()
  endif()
  add_executable(fuzz_replay_${name} ${src} ${PROJECT_SOURCE_DIR}/fuzz/fuzz_input.cpp
    ${CMAKE_CURRENT_LIST_DIR}/replay_main.cpp $<TARGET_OBJECTS:tessaro_exports>)
  target_include_directories(fuzz_replay_${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz)
  target_link_libraries(fuzz_replay_${name} PRIVATE tessaro_all)
  # The readers may leave trace files in the working directory.
  set(workdir ${CMAKE_CURRENT_BINARY_DIR}/fuzz_replay_${name}.dir)
  file(MAKE_DIRECTORY ${workdir})
  add_test(NAME fuzz_replay_${name} COMMAND fuzz_replay_${name} ${corpus}
    WORKING_DIRECTORY ${workdir})
  set_tests_properties(fuzz_replay_${name} PROPERTIES
    ENVIRONMENT "${TESSARO_TEST_ENVIRONMENT}"
    TIMEOUT 120)
endforeach()
