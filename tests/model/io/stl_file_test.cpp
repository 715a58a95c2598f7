#include "model/io/stl_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "model/io/facet_file.h"
#include "model/io/model_test_files.h"

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

TEST(StlFile, FormProbe) {
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
      {"no normal word", "solid x\n facet\n", 1},
      {"not at the start", " solid x facet normal", 1},
      {"words after a zero byte", std::string("solid x\0 facet normal", 21), 1},
      {"empty", "", 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    writeText(dir.file("p"), r.bytes);
    EXPECT_EQ(stlIsBinary(dir.file("p").c_str()), r.binary);
  }
  EXPECT_EQ(stlIsBinary(dir.file("missing").c_str()), 0);
}

// Builds one binary record from the given normal and vertices.
Bytes record(const Vec3d& n, const Tri& t, bool bigEndian) {
  Bytes b;
  model_test::putStlRecord(b, n, t, bigEndian);
  return b;
}

TEST(StlFile, ByteOrderOfTheFirstRecord) {
  const Tri round = {{{0, 0, 0}, {10, 0, 0}, {0, 10, 5}}};
  const Tri general = {{{12.345, -3.25, 7.1}, {40.5, 2.75, 7.1}, {13.5, 20.125, 9.8}}};
  // Floats whose four bytes read the same in either order: only the normal can
  // tell the orders apart.
  const float sym = std::bit_cast<float>(0x41202041u);
  const Tri symmetric = {{{sym, 0, 0}, {0, sym, 0}, {0, 0, sym}}};
  struct Row {
    const char* name;
    Vec3d normal;
    Tri tri;
    bool writeBigEndian;
    bool readBigEndian;
  };
  const Row rows[] = {
      {"le unit normal", {0, 0, 1}, round, false, false},
      {"be unit normal", {0.6, 0.8, 0}, general, true, true},
      {"be (0,0,1) whose vertices read alike is read le", {0, 0, 1}, symmetric, true, false},
      {"le zero normal", {0, 0, 0}, round, false, false},
      {"be zero normal", {0, 0, 0}, general, true, true},
      // A writer that stores no unit normal: the vertices decide, not the normal.
      {"le normal (10,0,0) along the cross product",
       {10, 0, 0},
       Tri{{{0, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
       false,
       false},
      {"le normal (10,0,0) unrelated to the triangle", {10, 0, 0}, round, false, false},
      {"le garbage normal", {300, -7, 1e6}, general, false, false},
      {"be garbage normal", {300, -7, 1e6}, general, true, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(stlRecordIsBigEndian(record(r.normal, r.tri, r.writeBigEndian).data()),
              r.readBigEndian);
  }
}

TEST(StlFile, LittleEndianFileWithALongFirstNormalIsNotByteSwapped) {
  TempDir dir;
  Bytes b(84, 0);
  const Tri tris[2] = {{{{0, 0, 0}, {10, 0, 0}, {0, 10, 5}}}, {{{1, 2, 3}, {4, 5, 6}, {7, 8, 10}}}};
  for (const Tri& t : tris) model_test::putStlRecord(b, Vec3d{10, 0, 0}, t, false);
  writeBytes(dir.file("n.stl"), b);
  expectSameTris(read(dir.file("n.stl")).get(), {tris[0], tris[1]});
}

TEST(StlFile, BinaryRecordsAreTakenFromTheFileSize) {
  TempDir dir;
  struct Row {
    const char* name;
    int64_t headerCount;
    int extraBytes;
  };
  for (const Row& r :
       {Row{"count too large", 100, 0}, Row{"count too small", 1, 0}, Row{"count negative", -1, 0},
        Row{"cut last record", 2, 49}, Row{"trailing bytes", 2, 10}}) {
    SCOPED_TRACE(r.name);
    Bytes b = stlBinaryBytes(kTwo, false, "x", r.headerCount);
    if (r.extraBytes > 0) {
      Bytes more = stlBinaryBytes({kTwo[0]}, false);
      b.insert(b.end(), more.begin() + 84, more.begin() + 84 + r.extraBytes);
    }
    writeBytes(dir.file("c.stl"), b);
    expectSameTris(read(dir.file("c.stl")).get(), kTwo);
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

TEST(StlFile, AsciiCutAnywhereKeepsTheCompleteFacetsBeforeIt) {
  TempDir dir;
  const std::vector<Tri> tris = hemisphere(3, 1, 3);
  const std::string text = stlAsciiText(tris);
  // A facet is complete once the line feed of its "endfacet" line is in.
  std::vector<std::size_t> facetEnds;
  for (std::size_t p = text.find("endfacet"); p != std::string::npos;
       p = text.find("endfacet", p + 1)) {
    facetEnds.push_back(text.find('\n', p) + 1);
  }
  ASSERT_EQ(facetEnds.size(), tris.size());
  const std::size_t firstFacet = text.find("facet");
  for (std::size_t len = firstFacet; len <= text.size(); ++len) {
    SCOPED_TRACE(len);
    writeText(dir.file("cut.stl"), text.substr(0, len));
    ListPtr list(stlReadAscii(dir.file("cut.stl").c_str()));
    ASSERT_NE(list, nullptr);
    std::size_t complete = 0;
    while (complete < facetEnds.size() && facetEnds[complete] <= len) ++complete;
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
      {"any word", "v 1 2 3", true},
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

TEST(StlFile, AsciiLinesOtherThanFacetsAreSkippedAndALoneEndStops) {
  TempDir dir;
  const std::string facet =
      "facet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\n"
      "endfacet\n";
  const std::string text = "solid a\n\xE4\xF6\xFC comment with bytes above 127\n" +
                           std::string(3000, 'x') + "\n" + facet + "end of part one\n" + facet +
                           "endsolid a\nsolid b\n" + facet + "END\n" + facet;
  writeText(dir.file("m.stl"), text);
  ListPtr list(stlReadAscii(dir.file("m.stl").c_str()));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count, 3);
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
