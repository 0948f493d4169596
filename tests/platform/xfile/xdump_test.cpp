// hoardel-xdump's report: tree, meshes, cells and the exact summary line.
#include <gtest/gtest.h>

#include "xdump.h"

namespace {

std::string Path(const char* name) { return std::string(HOARDEL_TESTDATA_DIR) + "/x/" + name; }

std::string LastLine(const std::string& s) {
  std::size_t end = s.size() && s.back() == '\n' ? s.size() - 1 : s.size();
  std::size_t start = s.rfind('\n', end - 1);
  return s.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1));
}

}  // namespace

TEST(XDump, ReportsTreeMeshesAndSummary) {
  xdump::Options o;
  o.file = Path("tiny.x");
  std::string out, err;
  ASSERT_EQ(xdump::Dump(o, &out, &err), 0) << err;
  EXPECT_EQ(LastLine(out), "frames 48 meshes 1 skinweights 35 animationsets 1 animations 47 animationkeys 47");
  EXPECT_EQ(out.rfind("frame Scene_Root\n", 0), 0u);
  EXPECT_NE(out.find("bones 35"), std::string::npos);
  EXPECT_NE(out.find("bone 0: Bip01_R_UpperArm\n"), std::string::npos);
  EXPECT_NE(out.find("animationset (unnamed): animations 47\n"), std::string::npos);
  EXPECT_NE(out.find("matrix "), std::string::npos);
  EXPECT_NE(out.find("sphere centre "), std::string::npos);

  o.file = Path("BCN_Epileptic.X");
  out.clear();
  ASSERT_EQ(xdump::Dump(o, &out, &err), 0);
  EXPECT_EQ(LastLine(out), "frames 57 meshes 3 skinweights 54 animationsets 1 animations 57 animationkeys 171");
  EXPECT_NE(out.find(" rotation "), std::string::npos);
}

TEST(XDump, CellsAndFailures) {
  xdump::Options o;
  o.file = Path("lobby_skybox.x");
  o.cells = true;
  o.cellSize = 0;
  std::string out, err;
  ASSERT_EQ(xdump::Dump(o, &out, &err), 0);
  EXPECT_NE(out.find("cells CUBE_Root: 1\n  cell 0: material 0 faces 2"), std::string::npos) << out;
  EXPECT_EQ(LastLine(out), "frames 1 meshes 6 skinweights 0 animationsets 0 animations 0 animationkeys 0");

  o.file = Path("OV_GetNextToken");
  out.clear();
  EXPECT_NE(xdump::Dump(o, &out, &err), 0);
  EXPECT_NE(err.find("cannot load"), std::string::npos);
  o.file = Path("no_such_file.x");
  EXPECT_NE(xdump::Dump(o, &out, &err), 0);
}
