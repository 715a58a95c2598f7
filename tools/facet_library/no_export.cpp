// A shared library under the facetting library's file name that lacks its
// export: the tests load it to see the client refuse it.
extern "C" __attribute__((visibility("default"))) int facet_library_without_export() { return 0; }
