#include "model/io/facet_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "model/io/model_test_files.h"

namespace {

using model_test::Bytes;
using model_test::facetFileBytes;
using model_test::SurfaceDesc;
using model_test::TempDir;
using model_test::writeBytes;

std::vector<Facet> sampleFacets() {
  return {
      Facet{0x0000, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0.5}, {0, 1, 0.25}}},
      Facet{0x0009, {{-1.5, 2, 3}, {4, -5, 6}, {7, 8, -9}, {7, 8, -9}}},
      Facet{0x0002, {{1e-3, 2e3, -3e-7}, {0.1, 0.2, 0.3}, {5, 5, 5}, {6, 6, 6}}},
  };
}

bool sameFacet(const Facet& a, const Facet& b) {
  return a.tag == b.tag && std::memcmp(a.v, b.v, sizeof a.v) == 0;
}

// Reads a whole file through the version-1 or version-2 reader as a loader
// does; returns the first failing code, or 0 with the facets.
int readAll(const std::string& path, std::vector<Facet>* out, FacetFileHeader* header) {
  double version = 0;
  int rc = facetFileVersion(path.c_str(), &version);
  if (rc != 1) return rc;
  const int v = static_cast<int>(version);
  auto open = v == 1 ? facetFile1Open : facetFile2Open;
  auto readHeader = v == 1 ? facetFile1ReadHeader : facetFile2ReadHeader;
  auto readFacet = v == 1 ? facetFile1ReadFacet : facetFile2ReadFacet;
  auto close = v == 1 ? facetFile1Close : facetFile2Close;
  if (v != 1 && v != 2) return -100;
  const int h = open(path.c_str(), 1);
  if (h != 1) return h;
  rc = readHeader(h, header);
  for (int i = 0; rc == 0 && i < header->facetCount; ++i) {
    Facet f;
    rc = readFacet(h, &f);
    if (rc == 0) out->push_back(f);
  }
  const int closed = close(h);
  if (rc == 0 && v == 2) {
    EXPECT_EQ(closed, header->facetCount);
  }
  return rc;
}

TEST(FacetFileVersion, ReadsTheLeadingFloatAndRejectsShortOrMissingFiles) {
  TempDir dir;
  double version = 0;
  writeBytes(dir.file("three"), Bytes{0x00, 0x00, 0x80});
  EXPECT_EQ(facetFileVersion(dir.file("three").c_str(), &version), -2);
  EXPECT_EQ(facetFileVersion(dir.file("missing").c_str(), &version), -1);
  EXPECT_EQ(facetFileVersion("", &version), -1);
  for (float v : {1.9f, 2.5f, 3.0f}) {
    Bytes b;
    model_test::put(b, v);
    writeBytes(dir.file("v"), b);
    ASSERT_EQ(facetFileVersion(dir.file("v").c_str(), &version), 1);
    EXPECT_EQ(version, static_cast<double>(v));
  }
}

TEST(FacetTagSlot, SlotBitsAndPatchMark) {
  struct Row {
    uint16_t tag;
    int slot;
    bool patchStart;
  };
  for (const Row& r : {Row{0x000F, -1, true}, Row{0x0009, 1, true}, Row{0x0000, 0, false},
                       Row{0x0006, 6, false}, Row{0x0007, -1, false}, Row{0xFFF0, 0, false}}) {
    SCOPED_TRACE(r.tag);
    EXPECT_EQ(facetTagSlot(r.tag), r.slot);
    EXPECT_EQ((r.tag & kFacetTagPatchStart) != 0, r.patchStart);
  }
}

TEST(FacetFile, BothVersionsRoundTripTheirFacetsAndHeader) {
  TempDir dir;
  const std::vector<Facet> facets = sampleFacets();
  const std::string longName(128, 'n');  // fills its field: no terminator
  const std::vector<SurfaceDesc> surfaces = {
      {1, "part", 0.25}, {1, "%clip", -0.5}, {1, longName, 2}};
  for (float version : {1.0f, 1.9f, 2.0f, 2.5f}) {
    SCOPED_TRACE(version);
    writeBytes(dir.file("f.bin"), facetFileBytes(version, facets, surfaces));
    std::vector<Facet> got;
    FacetFileHeader h;
    ASSERT_EQ(readAll(dir.file("f.bin"), &got, &h), 0);
    EXPECT_EQ(h.version, version);
    ASSERT_EQ(got.size(), facets.size());
    for (std::size_t i = 0; i < facets.size(); ++i) EXPECT_TRUE(sameFacet(got[i], facets[i]));
    EXPECT_EQ(h.box[0], -1.5);
    EXPECT_EQ(h.box[5], 6.0);
    EXPECT_EQ(h.boxAgain[5], 6.0);
    EXPECT_EQ(h.matrix[0], 1.0);
    EXPECT_EQ(h.matrix[15], 1.0);
    EXPECT_EQ(h.matrix[1], 0.0);
    if (version >= 2) {
      EXPECT_EQ(h.headerSize, 1300);
      EXPECT_EQ(h.facetSize, 98);
      EXPECT_STREQ(h.surfaces[0].name, "part");
      EXPECT_EQ(h.surfaces[1].allowance, -0.5);
      EXPECT_EQ(h.surfaces[1].name[0], '%');
      EXPECT_EQ(std::string(h.surfaces[2].name), longName);
      EXPECT_EQ(h.surfaces[2].facetCount, 1);
      EXPECT_EQ(h.surfaces[3].facetCount, 0);
    }
  }
}

TEST(FacetFile, TrailingBytesAfterTheFacetsAreNotRead) {
  TempDir dir;
  Bytes b = facetFileBytes(2.0f, sampleFacets());
  b.insert(b.end(), 40, 0xEE);
  writeBytes(dir.file("f.bin"), b);
  std::vector<Facet> got;
  FacetFileHeader h;
  EXPECT_EQ(readAll(dir.file("f.bin"), &got, &h), 0);
  EXPECT_EQ(got.size(), 3u);
}

// Every prefix of a valid file fails cleanly at some step of the loader's
// sequence and never hands out a facet that was not wholly in the file.
TEST(FacetFile, EveryTruncationFailsCleanly) {
  TempDir dir;
  for (float version : {1.0f, 2.0f}) {
    const Bytes full = facetFileBytes(version, sampleFacets());
    const int headerSize = version < 2 ? 256 : 1300;
    for (std::size_t len = 0; len < full.size(); ++len) {
      SCOPED_TRACE(testing::Message() << "version " << version << " length " << len);
      writeBytes(dir.file("cut"), Bytes(full.begin(), full.begin() + len));
      std::vector<Facet> got;
      FacetFileHeader h;
      const int rc = readAll(dir.file("cut"), &got, &h);
      if (len < 4) {
        EXPECT_EQ(rc, -2);
      } else if (static_cast<int>(len) < headerSize) {
        EXPECT_EQ(rc, version < 2 ? -2 : -1);
      } else {
        EXPECT_EQ(rc, -4);  // the count promises more facets than the file holds
      }
      EXPECT_TRUE(got.empty());
    }
  }
}

TEST(FacetFile, HeaderCutAfter800BytesFailsTheVersion2HeaderCall) {
  TempDir dir;
  Bytes b = facetFileBytes(2.0f, sampleFacets());
  b.resize(800);
  writeBytes(dir.file("cut"), b);
  ASSERT_EQ(facetFile2Open(dir.file("cut").c_str(), 1), 1);
  FacetFileHeader h;
  EXPECT_EQ(facetFile2ReadHeader(1, &h), -1);
  facetFile2Close(1);
}

TEST(FacetFile, CountsThatTheFileCannotHoldAreRefusedBeforeAnyAllocation) {
  TempDir dir;
  struct Row {
    const char* name;
    float version;
    int64_t count;
    int32_t slotCount;
  };
  const Row rows[] = {
      {"v1 huge", 1.0f, std::numeric_limits<int32_t>::max(), 0},
      {"v1 negative", 1.0f, -7, 0},
      {"v1 one too many", 1.0f, 4, 0},
      {"v2 huge", 2.0f, std::numeric_limits<int32_t>::max(), 0},
      {"v2 negative", 2.0f, std::numeric_limits<int32_t>::min(), 0},
      {"v2 slot huge", 2.0f, 3, std::numeric_limits<int32_t>::max()},
      {"v2 slot negative", 2.0f, 3, -5},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    writeBytes(dir.file("f"),
               facetFileBytes(r.version, sampleFacets(), {{r.slotCount, "s", 0}}, r.count));
    std::vector<Facet> got;
    FacetFileHeader h;
    EXPECT_EQ(readAll(dir.file("f"), &got, &h), -4);
  }
}

TEST(FacetFile, FacetWithANonFiniteCoordinateIsNotDelivered) {
  TempDir dir;
  for (double bad :
       {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity()}) {
    std::vector<Facet> facets = sampleFacets();
    facets[1].v[3].y = bad;
    writeBytes(dir.file("f"), facetFileBytes(1.0f, facets));
    std::vector<Facet> got;
    FacetFileHeader h;
    EXPECT_EQ(readAll(dir.file("f"), &got, &h), -2);
    EXPECT_EQ(got.size(), 1u);
  }
}

TEST(FacetFile, OneFileOfEachVersionAtATime) {
  TempDir dir;
  writeBytes(dir.file("a"), facetFileBytes(1.0f, sampleFacets()));
  writeBytes(dir.file("b"), facetFileBytes(1.0f, {}));
  writeBytes(dir.file("c"), facetFileBytes(2.0f, sampleFacets()));
  FacetFileHeader h;
  Facet f;
  ASSERT_EQ(facetFile1Open(dir.file("a").c_str(), 1), 1);
  EXPECT_EQ(facetFile1Open(dir.file("b").c_str(), 1), -3);
  // The versions have separate readers.
  ASSERT_EQ(facetFile2Open(dir.file("c").c_str(), 1), 1);
  EXPECT_EQ(facetFile2Open(dir.file("c").c_str(), 1), -3);
  // The first file is still open and reads as before.
  ASSERT_EQ(facetFile1ReadHeader(1, &h), 0);
  EXPECT_EQ(h.facetCount, 3);
  ASSERT_EQ(facetFile1ReadFacet(1, &f), 0);
  EXPECT_TRUE(sameFacet(f, sampleFacets()[0]));
  EXPECT_EQ(facetFile1Close(1), 0);
  EXPECT_EQ(facetFile2Close(1), 3);
  // Closed: the next open succeeds.
  ASSERT_EQ(facetFile1Open(dir.file("b").c_str(), 1), 1);
  EXPECT_EQ(facetFile1Close(1), 0);
}

TEST(FacetFile, HandlesModesAndNamesAreChecked) {
  TempDir dir;
  const std::string a = dir.file("a");
  writeBytes(a, facetFileBytes(1.0f, sampleFacets()));
  FacetFileHeader h;
  Facet f;
  EXPECT_EQ(facetFile1Open(a.c_str(), 0), -1);
  EXPECT_EQ(facetFile1Open(a.c_str(), 5), -1);
  EXPECT_EQ(facetFile2Open(a.c_str(), 2), -1);
  EXPECT_EQ(facetFile1Open(dir.file("missing").c_str(), 1), -2);
  EXPECT_EQ(facetFile2Open(dir.file("missing").c_str(), 1), -2);
  EXPECT_EQ(facetFile1Open(std::string(1024, 'x').c_str(), 1), -2);

  // Not open: reads answer -1, closes -1.
  EXPECT_EQ(facetFile1ReadHeader(1, &h), -1);
  EXPECT_EQ(facetFile2ReadFacet(1, &f), -1);
  EXPECT_EQ(facetFile1Close(1), -1);
  EXPECT_EQ(facetFile2Close(1), -1);

  // A file opened in another mode than reading is never read (or written).
  ASSERT_EQ(facetFile1Open(a.c_str(), 2), 1);
  EXPECT_EQ(facetFile1ReadHeader(1, &h), -1);
  EXPECT_EQ(facetFile1Close(1), 0);

  ASSERT_EQ(facetFile1Open(a.c_str(), 1), 1);
  EXPECT_EQ(facetFile1ReadHeader(2, &h), -3);
  EXPECT_EQ(facetFile1ReadFacet(0, &f), -3);
  EXPECT_EQ(facetFile1Close(2), -1);
  EXPECT_EQ(facetFile1Close(1), 0);

  ASSERT_EQ(facetFile2Open(dir.file("a").c_str(), 1), 1);
  EXPECT_EQ(facetFile2ReadHeader(7, &h), -3);
  EXPECT_EQ(facetFile2Close(7), -1);
  EXPECT_EQ(facetFile2Close(1), 3);  // the count at offset 252, whatever the version
}

TEST(FacetFile, ReadingPastTheLastFacetFails) {
  TempDir dir;
  writeBytes(dir.file("a"), facetFileBytes(2.0f, sampleFacets()));
  ASSERT_EQ(facetFile2Open(dir.file("a").c_str(), 1), 1);
  FacetFileHeader h;
  Facet f;
  ASSERT_EQ(facetFile2ReadHeader(1, &h), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(facetFile2ReadFacet(1, &f), 0);
  EXPECT_EQ(facetFile2ReadFacet(1, &f), -2);
  EXPECT_EQ(facetFile2Close(1), 3);
}

}  // namespace
