// Placeholder until the host interface lands.
#include "tessaro.h"
extern "C" {
__attribute__((visibility("default"))) void* qzCSgetCycle(void) { return nullptr; }
__attribute__((visibility("default"))) int qzCSexecCycle(void*, int, char**, HostCallbackSet*) { return 0; }
__attribute__((visibility("default"))) int qzCSsetSignal(void*, int) { return 1; }
__attribute__((visibility("default"))) int qzCSgetSignal(void*) { return 1; }
}
