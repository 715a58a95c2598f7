# The box-tree collision is compared with FCL (Debian libfcl-dev), a test-only
# oracle; the library itself never links it.
if(TARGET model_collision_coll_tree_fcl_test)
  find_package(fcl REQUIRED)
  target_link_libraries(model_collision_coll_tree_fcl_test PRIVATE fcl)
endif()
