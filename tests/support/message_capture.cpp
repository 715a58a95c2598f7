#include "support/message_capture.h"

#include "base/messages.h"
#include "output/output_channels.h"

namespace tsupport {

MessageCapture::MessageCapture() {
  outRegisterChannel(&ctx_, 0, &writeNothing, &writeNothing, 1);
  outAddListener(&ctx_, 0, &listen, reinterpret_cast<intptr_t>(this), &listen,
                 reinterpret_cast<intptr_t>(this));
  outSetContext(&ctx_);
}

MessageCapture::~MessageCapture() {
  outSetContext(nullptr);
  outFreeChannels(&ctx_);
}

int MessageCapture::writeNothing(CycleDescriptor*, OutputRecord*) { return 1; }

int MessageCapture::listen(CycleDescriptor*, OutputRecord* rec, intptr_t user) {
  reinterpret_cast<MessageCapture*>(user)->values.push_back(outRecText(rec, kRecValue));
  return 1;
}

}  // namespace tsupport
