// Test helper: a bare context whose channels record every record they
// receive, in order, with its channel.
#pragma once

#include <cstring>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "cycle/cycle_descriptor.h"
#include "output/output_channels.h"
#include "output/output_record.h"

struct CapturedRecord {
  int channel;
  int code;
  std::string name;   // text at 8
  std::string value;  // text at 264
  OutputRecord raw;

  int32_t i32(std::size_t offset) const { return outRecGetI32(&raw, offset); }
  double f64(std::size_t offset) const { return outRecGetF64(&raw, offset); }
  std::string text(std::size_t offset) const { return outRecText(&raw, offset); }
};

// A record reduced to its channel, code and two texts, for comparing what
// was sent with a table.
struct SentText {
  int channel;
  int code;
  std::string name;
  std::string value;
  bool operator==(const SentText&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const SentText& s) {
  return os << "{" << s.channel << ", " << s.code << ", \"" << s.name << "\", \"" << s.value
            << "\"}";
}

class RecordCapture {
 public:
  // Registers every channel with a writer that returns 1 and a listener
  // (for both modes) that records.
  explicit RecordCapture(std::initializer_list<uint16_t> channels) {
    for (uint16_t ch : channels) {
      Tag& tag = tags_.emplace_back(Tag{this, ch});
      outRegisterChannel(&ctx, ch, &writeOne, &writeOne, 1);
      outAddListener(&ctx, ch, &record, reinterpret_cast<intptr_t>(&tag), &record,
                     reinterpret_cast<intptr_t>(&tag));
    }
  }
  ~RecordCapture() { outFreeChannels(&ctx); }
  RecordCapture(const RecordCapture&) = delete;
  RecordCapture& operator=(const RecordCapture&) = delete;

  // The records received since the last call.
  std::vector<CapturedRecord> take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<CapturedRecord> out;
    out.swap(records_);
    return out;
  }

  CycleDescriptor ctx{};

 private:
  struct Tag {
    RecordCapture* self;
    int channel;
  };

  static int writeOne(CycleDescriptor*, OutputRecord*) { return 1; }

  static int record(CycleDescriptor*, OutputRecord* rec, intptr_t user) {
    const auto* tag = reinterpret_cast<const Tag*>(user);
    CapturedRecord r;
    r.channel = tag->channel;
    r.code = rec->code;
    r.name = outRecText(rec, kRecName);
    r.value = outRecText(rec, kRecValue);
    std::memcpy(&r.raw, rec, sizeof r.raw);
    std::lock_guard<std::mutex> lock(tag->self->mutex_);
    tag->self->records_.push_back(r);
    return 1;
  }

  std::deque<Tag> tags_;
  std::mutex mutex_;
  std::vector<CapturedRecord> records_;
};
