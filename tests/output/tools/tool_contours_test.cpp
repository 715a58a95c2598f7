#include "output/tools/tool_contours.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/kfy/kfy_file.h"
#include "support/record_capture.h"
#include "support/temp_dir.h"

namespace {

std::string kfyFile(const std::string& body) {
  return std::string(kfyBanner) + "\nkFY-Version: 1.0\nGeometry\ntools\n" + body;
}

struct Item {
  int kind;
  double x, y, cx, cy;
  bool operator==(const Item&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Item& i) {
  return os << "{" << i.kind << ", " << i.x << ", " << i.y << ", " << i.cx << ", " << i.cy << "}";
}

std::vector<Item> items(const ToolContourList& l) {
  std::vector<Item> out;
  for (int i = 0; i < l.count; ++i) {
    const ToolContourItem& it = l.items[i];
    out.push_back({it.kind, it.x, it.y, it.cx, it.cy});
  }
  return out;
}

class ToolContoursTest : public ::testing::Test {
 protected:
  ToolContours read(const std::string& body) {
    const std::string path = dir_.file("t.kfy");
    EXPECT_TRUE(tsupport::writeFile(path, kfyFile(body)));
    ToolContours c;
    toolReadContourFile(path.c_str(), &c);
    return c;
  }
  tsupport::TempDir dir_;
};

TEST_F(ToolContoursTest, BlocksAreFoundByNameInAnyCase) {
  const ToolContours c = read(
      "oContour[tool]( )\n{\n oM( x[/0] y[/0] )\n oL( x[/5] y[/0] )\n}\n"
      "oContour[HOLDER]( )\n{\n oM( x[/1] y[/1] )\n oL( x[/1] y[/9] )\n}\n"
      "oContour[Head]( )\n{\n oL( x[2/3] y[4/5] )\n}\n"
      "oContour[Other]( )\n{\n oM( x[/7] y[/7] )\n}\n");
  EXPECT_EQ(items(c.tool), (std::vector<Item>{{0, 0, 0, 0, 0}, {1, 5, 0, 0, 0}}));
  EXPECT_EQ(items(c.holder), (std::vector<Item>{{0, 1, 1, 0, 0}, {1, 1, 9, 0, 0}}));
  EXPECT_EQ(items(c.head), (std::vector<Item>{{0, 2, 4, 0, 0}, {1, 3, 5, 0, 0}}));
  EXPECT_EQ(c.extrusion.count, 0);
}

TEST_F(ToolContoursTest, AFirstLineStartsTheListAtItsStartPoint) {
  const ToolContours c = read("oContour[Tool]( )\n{\n oL( x[0/10] y[0/0] )\n}\n");
  EXPECT_EQ(items(c.tool), (std::vector<Item>{{0, 0, 0, 0, 0}, {1, 10, 0, 0, 0}}));
}

// The coordinate fields are read cumulatively: an arc without "o" turns
// like the one before it.
TEST_F(ToolContoursTest, ArcWithoutDirectionKeepsThePreviousOne) {
  const ToolContours c = read(
      "oContour[Tool]( )\n{\n oM( x[/0] y[/0] )\n oA( o[-] x[/2/1] y[/0/0] )\n"
      " oA( x[/4/3] y[/0/0] )\n oA( o[+] x[/6/5] y[/0/0] )\n}\n");
  EXPECT_EQ(
      items(c.tool),
      (std::vector<Item>{{0, 0, 0, 0, 0}, {2, 2, 0, 1, 0}, {2, 4, 0, 3, 0}, {3, 6, 0, 5, 0}}));
}

TEST_F(ToolContoursTest, ElementsOutsideBlocksAndDeeperLevelsAreIgnored) {
  const ToolContours c = read(
      "oM( x[/9] y[/9] )\noContour[Tool]( )\n{\n oM( x[/0] y[/0] )\n {\n oL( x[/8] y[/8] )\n }\n"
      " oL( x[/1] y[/1] )\n}\n oL( x[/3] y[/3] )\n");
  EXPECT_EQ(items(c.tool), (std::vector<Item>{{0, 0, 0, 0, 0}, {1, 1, 1, 0, 0}}));
}

TEST_F(ToolContoursTest, ListsGrowByThirtyTwoItems) {
  std::string body = "oContour[Tool]( )\n{\n oM( x[/0] y[/0] )\n";
  for (int i = 1; i <= 40; ++i) body += " oL( x[/" + std::to_string(i) + "] y[/0] )\n";
  const ToolContours c = read(body + "}\n");
  EXPECT_EQ(c.tool.count, 41);
  EXPECT_EQ(c.tool.capacity, 64);
  EXPECT_EQ(c.tool.items[40].x, 40.0);
}

// Reading again releases what an earlier read left, and an unreadable file
// leaves every list empty.
TEST_F(ToolContoursTest, ReadingAgainStartsEmpty) {
  ToolContours c = read("oContour[Tool]( )\n{\n oL( x[0/1] y[0/0] )\n}\n");
  ASSERT_EQ(c.tool.count, 2);
  toolReadContourFile(dir_.file("missing.kfy").c_str(), &c);
  EXPECT_EQ(c.tool.count, 0);
  EXPECT_EQ(c.tool.capacity, 0);
  EXPECT_EQ(c.tool.items, nullptr);
  ASSERT_TRUE(tsupport::writeFile(dir_.file("bad.kfy"), "not a kFY file\n"));
  toolReadContourFile(dir_.file("bad.kfy").c_str(), &c);
  EXPECT_EQ(c.tool.count, 0);
  toolReadContourFile(nullptr, &c);
  toolContoursClear(nullptr);
}

TEST(ToolContourWrite, LinesWithTheClosingBraceOnTheLastItem) {
  RecordCapture cap({11});
  ToolContourList one;
  toolContourStart(1, 2, &one);
  toolWriteContour(&cap.ctx, " ", &one);
  EXPECT_TRUE(cap.take().empty()) << "one item writes nothing";

  ToolContourList l;
  toolContourLine(9, 9, &l);  // no start: dropped
  toolContourStart(0, 0, &l);
  toolContourStart(5, 5, &l);  // a second start: nothing
  toolContourLine(10, 0, &l);
  toolContourArcCw(10, 4, 10, 2, &l);
  toolContourArcCcw(10, 8, 10, 6.5, &l);
  toolWriteContour(&cap.ctx, "  ", &l);
  std::vector<std::string> got;
  for (const CapturedRecord& r : cap.take()) {
    EXPECT_EQ(r.code, 3199);
    got.push_back(r.name);
  }
  EXPECT_EQ(got, (std::vector<std::string>{
                     "  oContour( )  {", "   oM( x[/0] y[/0] )", "   oL( x[/10] y[/0] )",
                     "   oA( o[-] x[/10/10] y[/4/2] )", "   oA( o[+] x[/10/10] y[/8/6.5] )  }"}));
}

}  // namespace
