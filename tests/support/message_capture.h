// Captures the numbered messages that the library sends while the object
// exists: it installs a context of its own with a channel-0 listener and takes
// it away again in its destructor.  One at a time, on the test's thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cycle/cycle_descriptor.h"
#include "output/output_record.h"

namespace tsupport {

class MessageCapture {
 public:
  MessageCapture();
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  // The value field ("number,value") of every channel-0 record, in order.
  std::vector<std::string> values;

 private:
  static int writeNothing(CycleDescriptor*, OutputRecord*);
  static int listen(CycleDescriptor*, OutputRecord* rec, intptr_t user);
  CycleDescriptor ctx_{};
};

}  // namespace tsupport
