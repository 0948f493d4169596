// hoardel-rar as a program: pack in every mode, list, test and extract, and the archives it
// writes checked by an independent decoder (7-Zip's 7zz, installed by scripts/test.sh).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "rar_test_util.h"

namespace {

const std::string kTool = HOARDEL_RAR_TOOL;
const std::string kSevenZip = SEVENZIP_ORACLE;

struct Result {
  int status = -1;
  std::string output;
};

Result Sh(const std::string& command) {
  Result r;
  std::FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  if (!data.empty()) std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}

class RarTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/hoardel-rar-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    mkdir((dir_ + "/Digits").c_str(), 0755);
    mkdir((dir_ + "/Digits/sub").c_str(), 0755);
    for (const char* d : {"0", "9", "A", "ddot", "dot", "M", "P"})
      WriteFile(dir_ + "/Digits/digit_" + d + ".jpg", rartest::RandomBytes(700, d[0]));
    WriteFile(dir_ + "/Digits/sub/deep.txt", rartest::WordText(3000, 3));
    WriteFile(dir_ + "/text.txt", rartest::WordText(80000, 4));
    WriteFile(dir_ + "/noise.bin", rartest::RandomBytes(40000, 5));
    WriteFile(dir_ + "/empty.bin", {});
    WriteFile(dir_ + "/stereo.raw", rartest::Pcm16(20000, 2, 6));
    WriteFile(dir_ + "/mono.raw", rartest::Pcm16(20000, 1, 7));
    // Larger than the window, so the oracle sees wrapped distances.
    auto big = rartest::WordText(900000, 8);
    auto noise = rartest::RandomBytes(300000, 9);
    big.insert(big.end(), noise.begin(), noise.end());
    big.insert(big.end(), big.begin(), big.begin() + 400000);
    WriteFile(dir_ + "/big.bin", big);
  }
  void TearDown() override { Sh("rm -rf '" + dir_ + "'"); }

  Result Tool(const std::string& args) { return Sh("cd '" + dir_ + "' && '" + kTool + "' " + args); }
  bool HaveOracle() const { return access(kSevenZip.c_str(), X_OK) == 0; }

  std::string dir_;
};

TEST_F(RarTool, PackListTestExtract) {
  Result p = Tool("pack --solid out.rar text.txt Digits/ Renamed/noise=noise.bin empty.bin");
  ASSERT_EQ(p.status, 0) << p.output;
  Result l = Tool("list out.rar");
  ASSERT_EQ(l.status, 0) << l.output;
  EXPECT_NE(l.output.find("(solid)"), std::string::npos);
  EXPECT_NE(l.output.find("Digits\\digit_ddot.jpg"), std::string::npos);
  EXPECT_NE(l.output.find("Digits\\sub\\deep.txt"), std::string::npos);
  EXPECT_NE(l.output.find("Renamed\\noise"), std::string::npos);
  EXPECT_NE(l.output.find("Digits  (directory)"), std::string::npos);
  EXPECT_NE(l.output.find("end of archive"), std::string::npos);
  // Folder contents come sorted without regard to case: A, ddot, dot, M, P.
  auto at = [&](const char* s) { return l.output.find(s); };
  EXPECT_LT(at("digit_9.jpg"), at("digit_A.jpg"));
  EXPECT_LT(at("digit_A.jpg"), at("digit_ddot.jpg"));
  EXPECT_LT(at("digit_ddot.jpg"), at("digit_dot.jpg"));
  EXPECT_LT(at("digit_dot.jpg"), at("digit_M.jpg"));
  EXPECT_LT(at("digit_M.jpg"), at("digit_P.jpg"));
  Result t = Tool("test out.rar");
  EXPECT_EQ(t.status, 0) << t.output;
  EXPECT_NE(t.output.find("0 failed"), std::string::npos) << t.output;

  Result x = Tool("extract out.rar 'digits/DIGIT_A.JPG' -o a.jpg");
  ASSERT_EQ(x.status, 0) << x.output;
  EXPECT_EQ(rartest::ReadFile(dir_ + "/a.jpg"), rartest::ReadFile(dir_ + "/Digits/digit_A.jpg"));
  Result y = Tool("extract out.rar 'Digits\\sub\\deep.txt'");
  ASSERT_EQ(y.status, 0) << y.output;
  EXPECT_EQ(rartest::ReadFile(dir_ + "/deep.txt"), rartest::ReadFile(dir_ + "/Digits/sub/deep.txt"));

  Result missing = Tool("extract out.rar nothing.txt -o n");
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.output.find("no member of that name"), std::string::npos) << missing.output;
  EXPECT_NE(access((dir_ + "/n").c_str(), F_OK), 0);
}

TEST_F(RarTool, DamagedMemberIsReportedAndNotWritten) {
  ASSERT_EQ(Tool("pack plain.rar text.txt noise.bin").status, 0);
  auto bytes = rartest::ReadFile(dir_ + "/plain.rar");
  bytes[20 + 40 + 500] ^= 0x5A;  // inside text.txt's packed data
  WriteFile(dir_ + "/bad.rar", bytes);
  Result x = Tool("extract bad.rar text.txt -o t.txt");
  EXPECT_NE(x.status, 0);
  EXPECT_NE(x.output.find("CRC error"), std::string::npos) << x.output;
  EXPECT_NE(access((dir_ + "/t.txt").c_str(), F_OK), 0);
  Result t = Tool("test bad.rar");
  EXPECT_NE(t.status, 0);
  EXPECT_NE(t.output.find("1 OK, 1 failed"), std::string::npos) << t.output;
}

TEST_F(RarTool, UsageErrors) {
  EXPECT_EQ(Tool("").status, 2);
  EXPECT_EQ(Tool("frobnicate x").status, 2);
  EXPECT_EQ(Tool("pack --level 9 x.rar text.txt").status, 2);
  EXPECT_EQ(Tool("pack --multimedia=5 x.rar text.txt").status, 2);
  EXPECT_EQ(Tool("pack x.rar").status, 2);
  Result nofile = Tool("pack x.rar no-such-file");
  EXPECT_EQ(nofile.status, 1);
  EXPECT_NE(nofile.output.find("no-such-file"), std::string::npos);
  // Names that the reader could not tell apart.
  Result dup = Tool("pack x.rar a/b=text.txt 'a\\B=noise.bin'");
  EXPECT_EQ(dup.status, 1);
  EXPECT_NE(dup.output.find("same name"), std::string::npos) << dup.output;
  Result longName = Tool("pack x.rar " + std::string(260, 'n') + "=text.txt");
  EXPECT_EQ(longName.status, 1);
  EXPECT_EQ(Tool("list text.txt").status, 1);
}

TEST_F(RarTool, IndependentDecoderAcceptsEveryMode) {
  if (!HaveOracle()) GTEST_SKIP() << "7zz not installed at " << kSevenZip << " (scripts/test.sh installs it)";
  const std::string files = "text.txt Digits/ noise.bin empty.bin stereo.raw mono.raw big.bin";
  const std::vector<std::string> modes = {
      "--store",         "",
      "--level 1",       "--level 5",
      "--solid",         "--solid --level 5",
      "--solid --store", "--multimedia",
      "--solid --multimedia=1", "--multimedia=2",
      "--solid --multimedia=3", "--multimedia=4",
  };
  int n = 0;
  for (const auto& mode : modes) {
    std::string name = "m" + std::to_string(n++) + ".rar";
    Result p = Tool("pack " + mode + " " + name + " " + files);
    ASSERT_EQ(p.status, 0) << mode << "\n" << p.output;
    Result t = Sh("cd '" + dir_ + "' && '" + kSevenZip + "' t " + name);
    EXPECT_EQ(t.status, 0) << mode << "\n" << t.output;
    EXPECT_NE(t.output.find("Everything is Ok"), std::string::npos) << mode << "\n" << t.output;
    // And the extracted bytes are the originals.
    Result x = Sh("cd '" + dir_ + "' && rm -rf x && '" + kSevenZip + "' x -ox " + name + " >/dev/null && cmp x/big.bin big.bin && cmp x/Digits/sub/deep.txt Digits/sub/deep.txt && cmp x/stereo.raw stereo.raw");
    EXPECT_EQ(x.status, 0) << mode << "\n" << x.output;
  }
}

}  // namespace
