# The layer order of src/, checked from the text of every include.  The
# second test runs the same check on a small tree with an include that
# reaches up and passes only when the check fails on it.
set(layer_check ${CMAKE_CURRENT_LIST_DIR}/check_layers.cmake)
add_test(NAME Layers.EveryIncludePointsDown
  COMMAND ${CMAKE_COMMAND} -DSRC=${PROJECT_SOURCE_DIR}/src "-DLAYERS=${TESSARO_LAYERS}"
  -P ${layer_check})
add_test(NAME Layers.AnIncludeThatReachesUpFails
  COMMAND ${CMAKE_COMMAND} -DSRC=${CMAKE_CURRENT_LIST_DIR}/bad_tree/src "-DLAYERS=base;model"
  -P ${layer_check})
set_tests_properties(Layers.AnIncludeThatReachesUpFails PROPERTIES
  PASS_REGULAR_EXPRESSION "base/low.h:3: \"model/high.h\" reaches up from base to model")
