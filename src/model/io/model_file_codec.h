// Small decoding helpers shared by the model file readers: numbers of either
// byte order from byte buffers, words compared without regard to case, and
// the size of an open file.
// Bytes are copied with memcpy (never read through a cast pointer), so
// unaligned fields are fine.  Pure functions, any thread.
#ifndef TESSARO_MODEL_MODEL_FILE_CODEC_H_
#define TESSARO_MODEL_MODEL_FILE_CODEC_H_

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>
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

// True when a and b hold the same characters apart from ASCII case (character
// classes looked up by unsigned char).
inline bool modelEqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Size in bytes of the open file f, which is left positioned at its start;
// -1 when it cannot be told (a pipe, for example).
inline long long modelFileSize(std::FILE* f) {
  if (std::fseek(f, 0, SEEK_END) != 0) return -1;
  const long long size = std::ftell(f);
  if (std::fseek(f, 0, SEEK_SET) != 0) return -1;
  return size;
}

#endif  // TESSARO_MODEL_MODEL_FILE_CODEC_H_
