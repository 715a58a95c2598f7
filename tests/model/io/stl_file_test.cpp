#include "model/io/stl_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/input_files.h"
#include "model/io/facet_file.h"
#include "model/io/model_test_files.h"
#include "support/message_capture.h"

namespace {

using model_test::Bytes;
using model_test::hemisphere;
using model_test::sameTri;
using model_test::stlAsciiText;
using model_test::stlBinaryBytes;
using model_test::TempDir;
using model_test::writeBytes;
using model_test::writeText;

struct ListDeleter {
  void operator()(TriList* l) const { listPt3Free(l); }
};
using ListPtr = std::unique_ptr<TriList, ListDeleter>;

ListPtr read(const std::string& path) { return ListPtr(stlReadFile(path.c_str())); }

void expectSameTris(const TriList* list, const std::vector<Tri>& want) {
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, static_cast<int>(want.size()));
  for (int i = 0; i < list->count; ++i) {
    EXPECT_TRUE(sameTri(list->items[i], want[i])) << "triangle " << i;
  }
}

const std::vector<Tri> kTwo = {
    Tri{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}},
    Tri{{{1, 0, 0}, {1, 1, 0.5}, {0, 1, 0}}},
};

// One model written in every form this system reads gives the same triangles
// in the same order.
TEST(StlFile, HemisphereReadsTheSameFromEveryForm) {
  TempDir dir;
  const std::vector<Tri> tris = hemisphere(40.0, 6, 16);
  writeBytes(dir.file("le.stl"), stlBinaryBytes(tris, false));
  writeBytes(dir.file("be.stl"), stlBinaryBytes(tris, true));
  writeBytes(dir.file("solid.stl"), stlBinaryBytes(tris, false, "solid made by a binary writer"));
  writeText(dir.file("ascii.stl"), stlAsciiText(tris));
  writeText(dir.file("upper.stl"), stlAsciiText(tris, true));
  writeText(dir.file("crlf.stl"), stlAsciiText(tris, false, "\r\n"));
  for (const char* name : {"le.stl", "be.stl", "solid.stl", "ascii.stl", "upper.stl", "crlf.stl"}) {
    SCOPED_TRACE(name);
    ListPtr list = read(dir.file(name));
    expectSameTris(list.get(), tris);
  }
  EXPECT_EQ(stlIsBinary(dir.file("solid.stl").c_str()), 1);
  EXPECT_EQ(stlIsBinary(dir.file("upper.stl").c_str()), 0);

  // The same surface as a binary facet file holds the same vertices.
  std::vector<Facet> facets;
  for (const Tri& t : tris) facets.push_back(model_test::facetOf(t));
  writeBytes(dir.file("hemi.bin"), model_test::facetFileBytes(1.0f, facets));
  ASSERT_EQ(facetFile1Open(dir.file("hemi.bin").c_str(), 1), 1);
  FacetFileHeader h;
  ASSERT_EQ(facetFile1ReadHeader(1, &h), 0);
  ListPtr ascii = read(dir.file("ascii.stl"));
  ASSERT_EQ(h.facetCount, ascii->count);
  for (int i = 0; i < h.facetCount; ++i) {
    Facet f;
    ASSERT_EQ(facetFile1ReadFacet(1, &f), 0);
    EXPECT_TRUE(sameTri(Tri{{f.v[0], f.v[1], f.v[2]}}, ascii->items[i]));
  }
  facetFile1Close(1);
}

TEST(StlFile, AsciiIsRecognisedFromTheBytesAShortFileHas) {
  TempDir dir;
  const std::string text = stlAsciiText({kTwo[0]});
  ASSERT_LT(text.size(), 1024u);
  writeText(dir.file("a.stl"), text);
  EXPECT_EQ(stlIsBinary(dir.file("a.stl").c_str()), 0);
  expectSameTris(read(dir.file("a.stl")).get(), {kTwo[0]});
}

TEST(StlFile, FormRule) {
  TempDir dir;
  struct Row {
    const char* name;
    std::string bytes;
    int binary;
  };
  const Row rows[] = {
      {"ascii", "solid x\n facet normal 0 0 1\n", 0},
      {"capitals", "SOLID X\n FACET NORMAL 0 0 1\n", 0},
      {"mixed case", "Solid x\n Facet Normal 0 0 1\n", 0},
      {"no normal word", "solid x\n facet\n", 0},
      {"blanks and line ends first", " \r\n\n\tsolid x facet normal", 0},
      {"byte-order mark first", "\xEF\xBB\xBFsolid x\nfacet", 0},
      {"words after a zero byte", std::string("solid x\0 facet normal", 21), 0},
      {"facet far behind a long name", "solid " + std::string(5000, 'n') + "\nfacet", 0},
      {"no facet word", "solid x\n endsolid x\n", 1},
      {"text before solid", "x solid facet", 1},
      {"empty", "", 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    writeText(dir.file("p"), r.bytes);
    EXPECT_EQ(stlIsBinary(dir.file("p").c_str()), r.binary);
  }
  EXPECT_EQ(stlIsBinary(dir.file("missing").c_str()), 1);
  EXPECT_EQ(stlContentForm(dir.file("missing").c_str()), -1);
}

// The header count, in whichever byte order gives the file size, decides the
// order; where both counts fit, every record must be plausible.
TEST(StlFile, ByteOrderFromTheCountThatFitsTheSize) {
  struct Row {
    const char* name;
    uint32_t leCount;  // bytes 80-83 read little-endian
    long long size;
    bool fits;
    bool bigEndian;
    bool bothFit;
  };
  const Row rows[] = {
      {"le exact", 2, 184, true, false, false},
      {"be exact", 0x02000000u, 184, true, true, false},
      {"le with trailing bytes", 2, 200, true, false, false},
      {"le count too large", 3, 184, false, false, false},
      {"zero count", 0, 84, true, false, false},
      {"zero count with trailing bytes", 0, 1000, true, false, false},
      {"the same count either way", 0x01000001u, 84 + 50LL * 0x01000001u, true, false, true},
      {"short of the header count", 100, 5083, false, false, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    unsigned char header[kStlBinaryHeaderSize] = {};
    std::memcpy(header + 80, &r.leCount, 4);
    uint32_t count = 0;
    bool bigEndian = false;
    bool both = false;
    ASSERT_EQ(stlBinaryCount(r.size, header, &count, &bigEndian, &both), r.fits);
    if (!r.fits) continue;
    EXPECT_EQ(bigEndian, r.bigEndian);
    EXPECT_EQ(both, r.bothFit);
  }
}

TEST(StlFile, LittleEndianFileWithALongFirstNormalIsNotByteSwapped) {
  TempDir dir;
  Bytes b(84, 0);
  b[80] = 2;
  const Tri tris[2] = {{{{0, 0, 0}, {10, 0, 0}, {0, 10, 5}}}, {{{1, 2, 3}, {4, 5, 6}, {7, 8, 10}}}};
  for (const Tri& t : tris) model_test::putStlRecord(b, Vec3d{10, 0, 0}, t, false);
  writeBytes(dir.file("n.stl"), b);
  expectSameTris(read(dir.file("n.stl")).get(), {tris[0], tris[1]});
}

TEST(StlFile, BinaryRecordsAreTakenFromTheHeaderCount) {
  TempDir dir;
  struct Row {
    const char* name;
    int64_t headerCount;
    int extraBytes;
    int triangles;  // 0: refused
  };
  for (const Row& r :
       {Row{"count too large", 100, 0, 0}, Row{"count smaller: the rest trails", 1, 0, 1},
        Row{"count negative", -2, 0, 0}, Row{"cut record trails", 2, 49, 2},
        Row{"trailing bytes", 2, 10, 2}}) {
    SCOPED_TRACE(r.name);
    Bytes b = stlBinaryBytes(kTwo, false, "x", r.headerCount);
    if (r.extraBytes > 0) {
      Bytes more = stlBinaryBytes({kTwo[0]}, false);
      b.insert(b.end(), more.begin() + 84, more.begin() + 84 + r.extraBytes);
    }
    writeBytes(dir.file("c.stl"), b);
    if (r.triangles == 0) {
      EXPECT_EQ(read(dir.file("c.stl")), nullptr);
    } else {
      expectSameTris(read(dir.file("c.stl")).get(),
                     std::vector<Tri>(kTwo.begin(), kTwo.begin() + r.triangles));
    }
  }
}

TEST(StlFile, BinaryTooShortForOneRecordGivesNothing) {
  TempDir dir;
  const Bytes full = stlBinaryBytes({kTwo[0]}, false);
  for (std::size_t len :
       {std::size_t{0}, std::size_t{50}, std::size_t{83}, std::size_t{84}, full.size() - 1}) {
    SCOPED_TRACE(len);
    writeBytes(dir.file("s.stl"), Bytes(full.begin(), full.begin() + len));
    EXPECT_EQ(read(dir.file("s.stl")), nullptr);
  }
}

TEST(StlFile, NonFiniteVertexFailsTheWholeFile) {
  TempDir dir;
  std::vector<Tri> tris = hemisphere(5, 2, 4);
  for (double bad :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(bad);
    std::vector<Tri> broken = tris;
    broken.back().v[1].z = bad;
    writeBytes(dir.file("b.stl"), stlBinaryBytes(broken, false));
    writeBytes(dir.file("bb.stl"), stlBinaryBytes(broken, true));
    writeText(dir.file("a.stl"), stlAsciiText(broken));
    EXPECT_EQ(read(dir.file("b.stl")), nullptr);
    EXPECT_EQ(read(dir.file("bb.stl")), nullptr);
    EXPECT_EQ(read(dir.file("a.stl")), nullptr);
  }
}

// A file cut inside a facet is damaged: it is refused with the line where it
// ends, never read as the facets before the cut.  A cut just behind a facet
// (with or without its line end) is a whole file without its "endsolid".
TEST(StlFile, AsciiCutInsideAFacetIsRefusedWithItsLine) {
  TempDir dir;
  const std::vector<Tri> tris = hemisphere(3, 1, 3);
  const std::string text = stlAsciiText(tris);
  std::vector<std::size_t> facetEnds;  // behind the line feed of "endfacet"
  for (std::size_t p = text.find("endfacet"); p != std::string::npos;
       p = text.find("endfacet", p + 1)) {
    facetEnds.push_back(text.find('\n', p) + 1);
  }
  ASSERT_EQ(facetEnds.size(), tris.size());
  const std::size_t endsolid = text.find("endsolid");
  for (std::size_t len = text.find("facet") + 1; len < endsolid; ++len) {
    SCOPED_TRACE(len);
    const std::string cut = text.substr(0, len);
    writeText(dir.file("cut.stl"), cut);
    std::size_t complete = 0;
    while (complete < facetEnds.size() && facetEnds[complete] <= len + 1) ++complete;
    const std::size_t from = complete > 0 ? facetEnds[complete - 1] : 0;
    const bool whole =
        complete > 0 && (from > len || cut.find_first_not_of(" ", from) == std::string::npos);
    tsupport::MessageCapture messages;
    ListPtr list(stlReadAscii(dir.file("cut.stl").c_str()));
    if (!whole) {
      EXPECT_EQ(list, nullptr);
      ASSERT_EQ(messages.values.size(), 1u);
      const long long lines = std::count(cut.begin(), cut.end(), '\n') + (cut.back() != '\n');
      EXPECT_EQ(messages.values[0].rfind("334,", 0), 0u) << messages.values[0];
      EXPECT_NE(messages.values[0].find(std::string(":") + std::to_string(lines) + ":"),
                std::string::npos)
          << messages.values[0];
      continue;
    }
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count, static_cast<int>(complete));
    for (std::size_t i = 0; i < complete; ++i) EXPECT_TRUE(sameTri(list->items[i], tris[i]));
  }
}

TEST(StlFile, AsciiVertexLinesMustHoldAWordAndThreeNumbers) {
  TempDir dir;
  struct Row {
    const char* name;
    const char* vertexLine;
    bool ok;
  };
  const Row rows[] = {
      {"two numbers", "vertex 1 2", false},
      {"text for a number", "vertex 1 two 3", false},
      {"no word", "1 2 3", false},
      {"nan", "vertex 1 nan 3", false},
      {"infinite", "vertex 1 2 -inf", false},
      {"signs and exponents", "vertex +1 +2e0 3.", true},
      {"two signs", "vertex 1 +-2 3", false},
      {"tabs and extra fields", "\tvertex\t1\t2\t3 extra words", true},
      {"another word", "v 1 2 3", false},
      {"hexadecimal floats", "vertex 0x1p0 0x1p1 0x1.8p1", true},
      {"a comma in a number", "vertex 1,0 2 3", false},
      {"very long line", "vertex 1 2 3", true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string vertex = r.vertexLine;
    if (std::string(r.name) == "very long line") vertex += std::string(500, ' ') + "tail";
    const std::string text = "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\n" + vertex +
                             "\nvertex 0 1 0\nendloop\nendfacet\nendsolid t\n";
    writeText(dir.file("v.stl"), text);
    ListPtr list(stlReadAscii(dir.file("v.stl").c_str()));
    if (!r.ok) {
      EXPECT_EQ(list, nullptr);
      continue;
    }
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count, 1);
    EXPECT_EQ(list->items[0].v[1].x, 1.0);
    EXPECT_EQ(list->items[0].v[1].y, 2.0);
    EXPECT_EQ(list->items[0].v[1].z, 3.0);
  }
}

TEST(StlFile, AsciiSolidsFollowEachOtherAndALoneEndStops) {
  TempDir dir;
  const std::string facet =
      "facet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\n"
      "endfacet\n";
  const std::string text = "solid a " + std::string(3000, 'x') + "\n\n" + facet + "\n" + facet +
                           "endsolid a\nsolid b\n" + facet + "END\n" + facet;
  writeText(dir.file("m.stl"), text);
  ListPtr list(stlReadAscii(dir.file("m.stl").c_str()));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count, 3);
}

// A line that is no STL line is damage, never skipped: a comment between the
// facets might have been a facet.
TEST(StlFile, AsciiForeignLineIsRefusedWithItsLine) {
  TempDir dir;
  writeText(dir.file("m.stl"),
            "solid a\n\xE4 comment\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\n"
            "vertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\n");
  tsupport::MessageCapture messages;
  EXPECT_EQ(ListPtr(stlReadAscii(dir.file("m.stl").c_str())), nullptr);
  ASSERT_EQ(messages.values.size(), 1u);
  EXPECT_EQ(messages.values[0].rfind("334," + dir.file("m.stl") + ":2: ", 0), 0u)
      << messages.values[0];
}

TEST(StlFile, NamesThatGiveNothing) {
  TempDir dir;
  EXPECT_EQ(stlReadFile(nullptr), nullptr);
  EXPECT_EQ(stlReadFile(""), nullptr);
  EXPECT_EQ(read(dir.file("missing.stl")), nullptr);
  writeText(dir.file("empty.stl"), "");
  EXPECT_EQ(read(dir.file("empty.stl")), nullptr);
}

}  // namespace

namespace {

// Hostile model files: each gives exactly its triangles, or null with its
// message, never other triangles.
struct HostileCase {
  const char* name;
  // Makes the file (or pipe, or directory) and returns its path.
  std::string (*make)(const TempDir& dir);
  std::vector<Tri> tris;  // empty: refused
  int message;            // the first message sent, 0 for none
  std::vector<std::string> messageHas;
};

std::string asciiTwo() { return stlAsciiText(kTwo); }

Bytes flipped(Bytes b, std::size_t byte, int bit) {
  b[byte] = static_cast<unsigned char>(b[byte] ^ (1u << bit));
  return b;
}

std::string put(const TempDir& dir, const std::string& text) {
  writeText(dir.file("h.stl"), text);
  return dir.file("h.stl");
}

std::string put(const TempDir& dir, const Bytes& b) {
  writeBytes(dir.file("h.stl"), b);
  return dir.file("h.stl");
}

const Tri kFlat = {{{0, 0, 1}, {1, 1, 1}, {2, 2, 1}}};

const HostileCase kHostile[] = {
    {"ByteOrderMark",
     [](const TempDir& d) { return put(d, "\xEF\xBB\xBF" + asciiTwo()); },
     kTwo,
     0,
     {}},
    {"LeadingLineEnds",
     [](const TempDir& d) { return put(d, "\n\r\n \n" + asciiTwo()); },
     kTwo,
     0,
     {}},
    {"FourKilobyteSolidName",
     [](const TempDir& d) {
       return put(d, "solid " + std::string(4096, 'n') + asciiTwo().substr(10));
     },
     kTwo,
     0,
     {}},
    {"BinaryWhoseHeaderSaysSolidFacet",
     [](const TempDir& d) { return put(d, stlBinaryBytes(kTwo, false, "solid x facet normal")); },
     kTwo,
     0,
     {}},
    // The top exponent bit of the first normal's z (1 becomes infinite): the
    // first record alone would say the other byte order; the size decides.
    {"FirstNormalWithAFlippedExponentBit",
     [](const TempDir& d) { return put(d, flipped(stlBinaryBytes(kTwo, false), 84 + 11, 6)); },
     kTwo,
     0,
     {}},
    {"BigEndianWithAFlippedExponentBit",
     [](const TempDir& d) { return put(d, flipped(stlBinaryBytes(kTwo, true), 84 + 8, 6)); },
     kTwo,
     0,
     {}},
    {"TruncatedBinary",
     [](const TempDir& d) {
       Bytes b = stlBinaryBytes(kTwo, false);
       b.resize(b.size() - 30);
       return put(d, b);
     },
     {},
     kStlMsgTruncated,
     {"154 bytes", "184"}},
    {"FourVertexFacet",
     [](const TempDir& d) {
       std::string t = asciiTwo();
       const std::size_t p = t.find("endloop");
       return put(d, t.insert(p, "vertex 5 5 5\n"));
     },
     {},
     kStlMsgDamaged,
     {":7: "}},
    {"TwoVertexFacet",
     [](const TempDir& d) {
       std::string t = asciiTwo();
       const std::size_t p = t.find("      vertex");
       return put(d, t.erase(p, t.find('\n', p) + 1 - p));
     },
     {},
     kStlMsgDamaged,
     {":6: "}},
    {"DamagedKeyword",
     [](const TempDir& d) {
       std::string t = asciiTwo();
       return put(d, t.replace(t.find("endfacet"), 8, "endfaset"));
     },
     {},
     kStlMsgDamaged,
     {":8: "}},
    {"NoFinalLineEndNoEndsolid",
     [](const TempDir& d) {
       const std::string t = asciiTwo();
       return put(d, t.substr(0, t.rfind("endfacet") + 8));
     },
     kTwo,
     0,
     {}},
    {"StrtodNumbers",
     [](const TempDir& d) {
       return put(d,
                  "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0x0p0 1e-400 0\n"
                  "vertex 0x1p0 0 0\nvertex 0 0x.8p1 0.0\nendloop\nendfacet\nendsolid s\n");
     },
     {kTwo[0]},
     0,
     {}},
    {"ZeroBytes",
     [](const TempDir& d) { return put(d, std::string()); },
     {},
     kStlMsgNoTriangle,
     {}},
    {"ZerosOnly",
     [](const TempDir& d) { return put(d, Bytes(100000, 0)); },
     {},
     kStlMsgNoTriangle,
     {}},
    {"DegenerateTrianglesSkipped",
     [](const TempDir& d) {
       return put(d, stlBinaryBytes({kTwo[0], kFlat, kFlat, kTwo[1]}, false));
     },
     kTwo,
     kStlMsgDegenerate,
     {": 2"}},
    {"NamedPipe",
     [](const TempDir& d) {
       const std::string path = d.file("pipe.stl");
       EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
       return path;
     },
     {},
     kMsgNotRegularFile,
     {"pipe.stl"}},
    {"Directory",
     [](const TempDir& d) {
       const std::string path = d.file("dir.stl");
       std::filesystem::create_directory(path);
       return path;
     },
     {},
     kMsgNotRegularFile,
     {"dir.stl"}},
};

class StlHostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(StlHostile, GivesItsTrianglesOrACleanErrorWithItsMessage) {
  const HostileCase& c = GetParam();
  TempDir dir;
  const std::string path = c.make(dir);
  tsupport::MessageCapture messages;
  ListPtr list = read(path);
  if (c.tris.empty()) {
    EXPECT_EQ(list, nullptr);
  } else {
    expectSameTris(list.get(), c.tris);
  }
  if (c.message == 0) {
    EXPECT_TRUE(messages.values.empty()) << messages.values[0];
    return;
  }
  ASSERT_FALSE(messages.values.empty());
  const std::string& first = messages.values[0];
  EXPECT_EQ(first.rfind(std::to_string(c.message) + ",", 0), 0u) << first;
  for (const std::string& part : c.messageHas) {
    EXPECT_NE(first.find(part), std::string::npos) << first << " lacks " << part;
  }
}

INSTANTIATE_TEST_SUITE_P(Files, StlHostile, ::testing::ValuesIn(kHostile),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                           return std::string(info.param.name);
                         });

// Files of many records are decoded block by block, and each block in
// chunks by several threads: the triangles, the box (to the sign of a zero
// bound) and the triangles without area come out as read one by one, and
// of two damaged records the first is named.
TEST(StlBinaryBlocks, ManyRecordsReadInOrderAndTheFirstDamageIsNamed) {
  TempDir dir;
  std::vector<Tri> tris = hemisphere(10, 100, 100);  // two blocks
  ASSERT_GT(tris.size(), 16384u + 3000u);
  // The lowest z is a zero: first -0, then +0 in a later chunk.
  tris[700].v[1].z = -0.0;
  tris[9000].v[2].z = 0.0;
  std::vector<Tri> file = tris;
  for (const std::size_t at : {5u, 8000u, 19000u}) file.insert(file.begin() + at, kFlat);
  writeBytes(dir.file("m.stl"), stlBinaryBytes(file, false));
  tsupport::MessageCapture flat;
  ListPtr list = read(dir.file("m.stl"));
  expectSameTris(list.get(), tris);
  ASSERT_EQ(flat.values.size(), 1u);
  EXPECT_NE(flat.values[0].find(": 3"), std::string::npos) << flat.values[0];
  Vec3d lo = file[0].v[0];
  Vec3d hi = lo;
  for (const Tri& t : file) {
    for (const Vec3d& v : t.v) {
      lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
      hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
    }
  }
  const double got[6] = {list->minX, list->minY, list->minZ, list->maxX, list->maxY, list->maxZ};
  const double want[6] = {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z};
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(std::bit_cast<uint64_t>(got[k]), std::bit_cast<uint64_t>(want[k])) << "bound " << k;
  }
  EXPECT_TRUE(std::signbit(list->minZ));

  Bytes bytes = stlBinaryBytes(tris, false);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const std::size_t record : {18999u, 4999u, 2999u}) {  // 1-based 19000, 5000 and 3000
    std::memcpy(bytes.data() + 84 + 50 * record + 12 + 4, &nan, sizeof nan);
  }
  writeBytes(dir.file("bad.stl"), bytes);
  tsupport::MessageCapture messages;
  EXPECT_EQ(read(dir.file("bad.stl")), nullptr);
  ASSERT_EQ(messages.values.size(), 1u);
  EXPECT_NE(messages.values[0].find("record 3000"), std::string::npos) << messages.values[0];
}

}  // namespace
