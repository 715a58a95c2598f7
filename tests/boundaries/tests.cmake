# The fit tests compare offset ranges with Clipper 1 (Debian libpolyclipping-dev),
# a test-only oracle; the library itself never links it.
if(TARGET boundaries_curve_fit_test)
  target_link_libraries(boundaries_curve_fit_test PRIVATE polyclipping)
endif()
