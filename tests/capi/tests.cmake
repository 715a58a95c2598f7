# A plain C program compiled against the public header and linked with the
# shared library runs one cycle.
add_executable(capi_c_host_check
  ${CMAKE_CURRENT_LIST_DIR}/c_host_check.c)
set_target_properties(capi_c_host_check PROPERTIES
  C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_compile_definitions(capi_c_host_check PRIVATE _POSIX_C_SOURCE=200809L)
target_include_directories(capi_c_host_check PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(capi_c_host_check PRIVATE tessaro)
add_test(NAME CHost.RunsACycleThroughThePublicHeader
  COMMAND capi_c_host_check)
set_tests_properties(CHost.RunsACycleThroughThePublicHeader PROPERTIES
  ENVIRONMENT "${TESSARO_TEST_ENVIRONMENT}")
