// Binary facet files: a fixed header and a flat array of 98-byte facets.
//
// All numbers are little-endian and unpadded.  Version 1 has a 256-byte header;
// version 2 a 1300-byte header that also describes up to seven surfaces (name
// and allowance), and every facet names its surface in its tag.
//
//   offset  size  content (both versions)
//        0     4  version, f32 (its integer part: 1 or 2)
//        4    48  bounding box, 6 x f64 (min x, y, z, max x, y, z)
//       52    48  the same box again
//      100    24  box centre, 3 x f64
//      124   128  transformation, 16 x f64, row by row
//      252     4  facet count, i32
//   version 2 continues:
//      256     4  header size, i32 (1300)
//      260     4  facet size, i32 (98)
//      264  7x148 surface descriptors: count i32, name char[128] (zero-
//                 terminated unless all 128 bytes are used), f64 unused,
//                 f64 allowance
//   facet record: tag u16 (bits 0..2 surface slot, 7 = none; bit 3 first
//                 facet of a patch), then 4 vertices of 3 x f64.
//
// Each version has one reader; a reader reads one file at a time and hands out
// the handle 1.  The process-wide functions below drive one process-wide reader
// per version, so they are for the cycle's thread only; FacetFileReader itself
// may be used by any thread that owns the object.
#ifndef TESSARO_MODEL_FACET_FILE_H_
#define TESSARO_MODEL_FACET_FILE_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "model/mesh/model.h"

inline constexpr int kFacetRecordSize = 98;
inline constexpr int kFacetFile1HeaderSize = 256;
inline constexpr int kFacetFile2HeaderSize = 1300;
// Offset of the facet count in the header of either version.
inline constexpr int kFacetCountOffset = 252;
inline constexpr int kFacetSurfaceSlots = 7;
inline constexpr int kFacetSurfaceNameSize = 128;
// Tag bits: the surface slot (kFacetSlotNone = no surface) and the mark of the
// first facet of a patch.
inline constexpr uint16_t kFacetTagSlotMask = 0x7;
inline constexpr int kFacetSlotNone = 7;
inline constexpr uint16_t kFacetTagPatchStart = 0x8;
// Longest file name a reader keeps; longer names are refused.
inline constexpr std::size_t kFacetFileNameMax = 1023;
// The only handle the readers hand out.
inline constexpr int kFacetFileHandle = 1;
// Open mode of reading (the only mode this system uses).
inline constexpr int kFacetFileModeRead = 1;

// One surface descriptor of a version-2 header.
struct FacetSurfaceInfo {
  int32_t facetCount;
  char name[kFacetSurfaceNameSize + 1];  // always zero-terminated here
  double reserved;                       // stored, not used
  double allowance;                      // in the file's length unit
};

// A decoded header.  The version-2 fields are zero for a version-1 file.
struct FacetFileHeader {
  float version;
  double box[6];
  double boxAgain[6];
  double centre[3];
  double matrix[16];
  int32_t facetCount;
  int32_t headerSize;
  int32_t facetSize;
  FacetSurfaceInfo surfaces[kFacetSurfaceSlots];
};

// Reads the first four bytes of the file as f32 and stores them as a double in
// *version.  1 done; -1 when the file cannot be opened (also for a null, empty
// or too long name); -2 when it holds fewer than four bytes.
int facetFileVersion(const char* name, double* version);

// Surface slot of a facet tag: bits 0..2, or -1 when they say "no surface".
int facetTagSlot(uint16_t tag);

// Decodes one 98-byte facet record.  false (out unchanged) when a coordinate is
// not a finite number.
bool facetRecordDecode(const unsigned char record[kFacetRecordSize], Facet* out);

// Decodes the header bytes of a version-1 (size 256) or version-2 (size 1300)
// header into out; the version-2 fields stay zero for size 256.
void facetHeaderDecode(const unsigned char* bytes, int size, FacetFileHeader* out);

// The reader of one facet file version.  Result codes follow the
// process-wide functions below.
class FacetFileReader {
 public:
  explicit FacetFileReader(int version) : version_(version) {}
  ~FacetFileReader();
  FacetFileReader(const FacetFileReader&) = delete;
  FacetFileReader& operator=(const FacetFileReader&) = delete;

  int open(const char* name, int mode);
  int readHeader(int handle, FacetFileHeader* header);
  int readFacet(int handle, Facet* facet);
  int close(int handle);
  bool isOpen() const { return file_ != nullptr; }

 private:
  int headerSize() const;
  void reset();

  int version_;
  std::FILE* file_ = nullptr;
  int mode_ = 0;
  std::string name_;
  long long fileSize_ = 0;
};

// Version 1.  Open: handle 1; -1 for a mode outside 1..4; -2 when the file
// cannot be opened (or its name is empty or longer than 1023 characters); -3
// while another version-1 file is open (that one stays open).  Files are only
// ever read: modes 2..4 open the file without writing to it, and the read
// calls then answer -1.
int facetFile1Open(const char* name, int mode);
// Reads and decodes the 256-byte header.  0 done; -2 on a short read; -4 when
// the facet count is negative or promises more facets than the file holds; -1
// when not open for reading; -3 for a wrong handle.
int facetFile1ReadHeader(int handle, FacetFileHeader* header);
// Reads the next facet.  0 done; -2 on a short read or a coordinate that is not
// a finite number (nothing is delivered); -1 when not open for reading; -3 for
// a wrong handle.
int facetFile1ReadFacet(int handle, Facet* facet);
// Closes the file.  0 done; -1 for a wrong handle.
int facetFile1Close(int handle);

// Version 2.  Open: handle 1; -1 for any mode but 1; -2 when the file cannot be
// opened; -3 while another version-2 file is open.
int facetFile2Open(const char* name, int mode);
// Reads and decodes the 1300-byte header.  0 done; -1 when a field cannot be
// read or the file is not open for reading; -4 when the facet count, or a
// surface's count, is negative or promises more facets than the file holds;
// -3 for a wrong handle.
int facetFile2ReadHeader(int handle, FacetFileHeader* header);
// As facetFile1ReadFacet.
int facetFile2ReadFacet(int handle, Facet* facet);
// Reads the header's facet count again from the file, closes the file and
// returns the count; -1 when the count cannot be read again (the file is
// closed all the same) or for a wrong handle (nothing closed).
int facetFile2Close(int handle);

#endif  // TESSARO_MODEL_FACET_FILE_H_
