#include "model/io/facet_file.h"

#include <cmath>
#include <cstring>

#include "base/input_files.h"
#include "model/io/model_file_codec.h"

namespace {

// Byte offsets of the header fields.
constexpr int kOffVersion = 0;
constexpr int kOffBox = 4;
constexpr int kOffBoxAgain = 52;
constexpr int kOffCentre = 100;
constexpr int kOffMatrix = 124;
constexpr int kOffCount = kFacetCountOffset;
constexpr int kOffHeaderSize = 256;
constexpr int kOffFacetSize = 260;
constexpr int kOffSurfaces = 264;
constexpr int kSurfaceDescSize = 148;
static_assert(kOffSurfaces + kFacetSurfaceSlots * kSurfaceDescSize == kFacetFile2HeaderSize);

void loadDoubles(const unsigned char* p, double* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = modelLoadLe<double>(p + 8 * i);
}

bool nameUsable(const char* name) {
  return name != nullptr && name[0] != '\0' && std::strlen(name) <= kFacetFileNameMax;
}

FacetFileReader g_reader1(1);
FacetFileReader g_reader2(2);

}  // namespace

int facetFileVersion(const char* name, double* version) {
  if (!nameUsable(name)) return -1;
  std::FILE* f = fileOpenInput(name, "rb");
  if (f == nullptr) return -1;
  unsigned char b[4];
  const std::size_t got = std::fread(b, 1, sizeof b, f);
  std::fclose(f);
  if (got < sizeof b) return -2;
  *version = modelLoadLe<float>(b);
  return 1;
}

int facetTagSlot(uint16_t tag) {
  const int slot = tag & kFacetTagSlotMask;
  return slot == kFacetSlotNone ? -1 : slot;
}

bool facetRecordDecode(const unsigned char record[kFacetRecordSize], Facet* out) {
  double c[12];
  loadDoubles(record + 2, c, 12);
  // A coordinate that is not a number would poison every drop over this facet.
  for (double v : c) {
    if (!std::isfinite(v)) return false;
  }
  out->tag = modelLoadLe<uint16_t>(record);
  for (int k = 0; k < 4; ++k) out->v[k] = Vec3d{c[3 * k], c[3 * k + 1], c[3 * k + 2]};
  return true;
}

void facetHeaderDecode(const unsigned char* bytes, int size, FacetFileHeader* out) {
  *out = FacetFileHeader{};
  out->version = modelLoadLe<float>(bytes + kOffVersion);
  loadDoubles(bytes + kOffBox, out->box, 6);
  loadDoubles(bytes + kOffBoxAgain, out->boxAgain, 6);
  loadDoubles(bytes + kOffCentre, out->centre, 3);
  loadDoubles(bytes + kOffMatrix, out->matrix, 16);
  out->facetCount = modelLoadLe<int32_t>(bytes + kOffCount);
  if (size < kFacetFile2HeaderSize) return;
  out->headerSize = modelLoadLe<int32_t>(bytes + kOffHeaderSize);
  out->facetSize = modelLoadLe<int32_t>(bytes + kOffFacetSize);
  for (int s = 0; s < kFacetSurfaceSlots; ++s) {
    const unsigned char* d = bytes + kOffSurfaces + s * kSurfaceDescSize;
    FacetSurfaceInfo& info = out->surfaces[s];
    info.facetCount = modelLoadLe<int32_t>(d);
    // The stored name may fill all 128 bytes without a terminator.
    const void* end = std::memchr(d + 4, 0, kFacetSurfaceNameSize);
    const std::size_t len =
        end ? static_cast<const unsigned char*>(end) - (d + 4) : kFacetSurfaceNameSize;
    std::memcpy(info.name, d + 4, len);
    info.name[len] = '\0';
    info.reserved = modelLoadLe<double>(d + 4 + kFacetSurfaceNameSize);
    info.allowance = modelLoadLe<double>(d + 4 + kFacetSurfaceNameSize + 8);
  }
}

FacetFileReader::~FacetFileReader() { reset(); }

void FacetFileReader::reset() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  mode_ = 0;
  name_.clear();
  fileSize_ = 0;
}

int FacetFileReader::headerSize() const {
  return version_ == 1 ? kFacetFile1HeaderSize : kFacetFile2HeaderSize;
}

int FacetFileReader::open(const char* name, int mode) {
  const int maxMode = version_ == 1 ? 4 : kFacetFileModeRead;
  if (mode < kFacetFileModeRead || mode > maxMode) return -1;
  if (file_ != nullptr) return -3;
  if (!nameUsable(name)) return -2;
  // This system never writes facet files: every mode opens read-only.
  std::FILE* f = fileOpenInput(name, "rb");
  if (f == nullptr) return -2;
  const long long size = modelFileSize(f);
  if (size < 0) {
    std::fclose(f);
    return -2;
  }
  file_ = f;
  mode_ = mode;
  name_ = name;
  fileSize_ = size;
  return kFacetFileHandle;
}

int FacetFileReader::readHeader(int handle, FacetFileHeader* header) {
  const int shortRead = version_ == 1 ? -2 : -1;
  if (handle != kFacetFileHandle) return -3;
  if (file_ == nullptr || mode_ != kFacetFileModeRead) return -1;
  unsigned char bytes[kFacetFile2HeaderSize];
  const int size = headerSize();
  if (std::fread(bytes, 1, size, file_) != static_cast<std::size_t>(size)) return shortRead;
  FacetFileHeader h;
  facetHeaderDecode(bytes, size, &h);
  // Counts are checked against what the file can hold before any caller
  // allocates room for them.
  const long long room = (fileSize_ - size) / kFacetRecordSize;
  if (h.facetCount < 0 || h.facetCount > room) return -4;
  if (version_ == 2) {
    for (const FacetSurfaceInfo& s : h.surfaces) {
      if (s.facetCount < 0 || s.facetCount > room) return -4;
    }
  }
  *header = h;
  return 0;
}

int FacetFileReader::readFacet(int handle, Facet* facet) {
  if (handle != kFacetFileHandle) return -3;
  if (file_ == nullptr || mode_ != kFacetFileModeRead) return -1;
  unsigned char record[kFacetRecordSize];
  if (std::fread(record, 1, kFacetRecordSize, file_) != kFacetRecordSize) return -2;
  return facetRecordDecode(record, facet) ? 0 : -2;
}

int FacetFileReader::close(int handle) {
  if (handle != kFacetFileHandle || file_ == nullptr) return -1;
  int result = 0;
  if (version_ == 2) {
    unsigned char b[4];
    if (std::fseek(file_, kOffCount, SEEK_SET) == 0 && std::fread(b, 1, 4, file_) == 4) {
      result = modelLoadLe<int32_t>(b);
    } else {
      result = -1;
    }
  }
  reset();
  return result;
}

int facetFile1Open(const char* name, int mode) { return g_reader1.open(name, mode); }
int facetFile1ReadHeader(int handle, FacetFileHeader* header) {
  return g_reader1.readHeader(handle, header);
}
int facetFile1ReadFacet(int handle, Facet* facet) { return g_reader1.readFacet(handle, facet); }
int facetFile1Close(int handle) { return g_reader1.close(handle); }

int facetFile2Open(const char* name, int mode) { return g_reader2.open(name, mode); }
int facetFile2ReadHeader(int handle, FacetFileHeader* header) {
  return g_reader2.readHeader(handle, header);
}
int facetFile2ReadFacet(int handle, Facet* facet) { return g_reader2.readFacet(handle, facet); }
int facetFile2Close(int handle) { return g_reader2.close(handle); }
