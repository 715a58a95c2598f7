// Decoding of little- and big-endian numbers from the byte buffers of the model
// file readers.  Bytes are copied with memcpy (never read through a cast
// pointer), so unaligned fields are fine.
#ifndef TESSARO_MODEL_MODEL_BYTES_H_
#define TESSARO_MODEL_MODEL_BYTES_H_

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

// The value of type T stored at p in little-endian (bigEndian false) or
// big-endian (bigEndian true) byte order.
template <class T>
T modelLoadBytes(const unsigned char* p, bool bigEndian) {
  static_assert(std::is_trivially_copyable_v<T>);
  unsigned char b[sizeof(T)];
  std::memcpy(b, p, sizeof(T));
  if (bigEndian != (std::endian::native == std::endian::big)) std::reverse(b, b + sizeof(T));
  T value;
  std::memcpy(&value, b, sizeof(T));
  return value;
}

template <class T>
T modelLoadLe(const unsigned char* p) {
  return modelLoadBytes<T>(p, false);
}

#endif  // TESSARO_MODEL_MODEL_BYTES_H_
