# The planar offset tests compare areas with Clipper 1 (Debian libpolyclipping-dev),
# a test-only oracle; the library itself never links it.
if(TARGET geometry_offset2d_planar_offset_test)
  target_link_libraries(geometry_offset2d_planar_offset_test PRIVATE polyclipping)
endif()
if(TARGET geometry_offset2d_polygon_offset_test)
  target_link_libraries(geometry_offset2d_polygon_offset_test PRIVATE polyclipping)
endif()
