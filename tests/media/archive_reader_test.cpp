// The archive reader: resources made by hoardel-rar at build time, archives built here
// block by block, and third-party archives.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <cstring>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "media/archive_reader.h"
#include "media/archive_walk.h"
#include "media/crc32.h"
#include "rar_test_util.h"

using rartest::Extract;
using rartest::ReadFile;

namespace {

const std::string kFixtures = RAR_FIXTURE_DIR;
const std::string kThirdParty = std::string(HOARDEL_TESTDATA_DIR) + "/rar/";

TEST(ArchiveReader, DigitRequestsFindTheStoredImagesOf452) {
  MediaArchive archive = OpenMediaResource(452);
  ASSERT_NE(archive.data, nullptr);
  // The clock's requests use an upper-case extension; the archive stores lower case.
  for (const char* d : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "ddot", "dot", "A", "M", "P"}) {
    std::string request = std::string("Digits\\digit_") + d + ".JPG";
    auto e = Extract(archive, request.c_str());
    auto want = ReadFile(kFixtures + "/in/digits/digit_" + d + ".jpg");
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(e.result, 1) << request;
    EXPECT_EQ(e.bytes, want) << request;
  }
  auto a = Extract(archive, "Digits\\digit_A.JPG");
  EXPECT_EQ(a.length, 1545u);
}

TEST(ArchiveReader, DirectoryEntryGivesAnEmptyBuffer) {
  auto e = Extract(OpenMediaResource(452), "Digits");
  EXPECT_EQ(e.result, 1);
  EXPECT_TRUE(e.nonNull);
  EXPECT_EQ(e.length, 0u);
}

TEST(ArchiveReader, NamesMatchAcrossSeparatorsUnderscoresAndCase) {
  MediaArchive archive = OpenMediaResource(452);
  auto want = ReadFile(kFixtures + "/in/digits/digit_0.jpg");
  for (const char* n : {"Digits_digit_0.jpg", "digits/DIGIT_0.JPG", "DIGITS\\DIGIT_0.JPG", "Digits/digit/0.jpg"}) {
    auto e = Extract(archive, n);
    EXPECT_EQ(e.result, 1) << n;
    EXPECT_EQ(e.bytes, want) << n;
  }
  // The folder is part of the name, and a missing name fails at the end block.
  for (const char* n : {"digit_0.jpg", "Digits\\digit_Q.jpg", "", "Digits\\"}) {
    auto e = Extract(archive, n);
    EXPECT_EQ(e.result, 0) << n;
    EXPECT_FALSE(e.nonNull) << n;
    EXPECT_EQ(e.length, 0u) << n;
  }
  EXPECT_TRUE(MediaNamesMatch("a\\b_c/d", "A_B/C\\D"));
  EXPECT_FALSE(MediaNamesMatch("a.b", "a_b"));
}

TEST(ArchiveReader, MissingResourceFailsWithoutTouchingMemory) {
  MediaArchive archive = OpenMediaResource(999);
  EXPECT_EQ(archive.data, nullptr);
  EXPECT_EQ(archive.size, 0u);
  auto e = Extract(archive, "Digits");
  EXPECT_EQ(e.result, 0);
  EXPECT_FALSE(e.nonNull);
  EXPECT_EQ(ExtractArchiveMember(nullptr, nullptr, "x", &archive, nullptr), 0);
}

TEST(ArchiveReader, CompressedMemberOf453) {
  MediaArchive archive = OpenMediaResource(453);
  auto e = Extract(archive, "Texture\\QL Logo.bmp");
  EXPECT_EQ(e.result, 1);
  EXPECT_EQ(e.bytes, ReadFile(kFixtures + "/in/texture/QL Logo.bmp"));
  EXPECT_EQ(e.length, 14894u);
  media::ArchiveBlock block;
  bool solid = true;
  ASSERT_TRUE(media::ReadArchiveStart(archive, &solid));
  EXPECT_FALSE(solid);
  ASSERT_EQ(media::ScanNextFileBlock(archive, &block), media::ScanResult::kFile);
  EXPECT_TRUE(block.header.IsDirectory());
  ASSERT_EQ(media::ScanNextFileBlock(archive, &block), media::ScanResult::kFile);
  EXPECT_EQ(block.header.method, 0x33);
  EXPECT_LT(block.header.packSize, block.header.unpSize);
}

TEST(ArchiveReader, SolidResource469DecodesEveryMemberInOrder) {
  MediaArchive archive = OpenMediaResource(469);
  const char* names[] = {"Cam_Tracks.txt", "Cam_Tracks.bin", "gildmoor_room.X", "wall2_IL0010.jpg"};
  for (const char* n : names) {
    auto e = Extract(archive, n);
    EXPECT_EQ(e.result, 1) << n;
    EXPECT_EQ(e.bytes, ReadFile(kFixtures + "/in/scene/" + n)) << n;
  }
  EXPECT_EQ(Extract(archive, "wall2_IL0010.jpg").length, 18332u);
}

// A loading worker and the main thread may ask at the same time: each request gets its own
// member whole, with keeping on (nested keepers) and off.
TEST(ArchiveReader, RequestsFromTwoThreadsEachGetTheirMember) {
  const MediaArchive archive = OpenMediaResource(469);
  const char* names[] = {"Cam_Tracks.txt", "gildmoor_room.X", "wall2_IL0010.jpg"};
  std::vector<std::vector<std::uint8_t>> want;
  for (const char* n : names) want.push_back(ReadFile(kFixtures + "/in/scene/" + n));
  for (int keep = 0; keep < 2; ++keep) {
    if (keep) KeepArchiveStreams(true);
    std::atomic<int> wrong{0};
    auto ask = [&](std::size_t first) {
      for (int round = 0; round < 30; ++round) {
        const std::size_t i = (first + static_cast<std::size_t>(round)) % 3;
        const auto e = Extract(archive, names[i]);
        if (e.result != 1 || e.bytes != want[i]) ++wrong;
      }
    };
    if (keep) KeepArchiveStreams(true);  // a second keeper, as the worker's and the loading's
    std::thread other(ask, 1);
    ask(0);
    other.join();
    if (keep) KeepArchiveStreams(false);
    EXPECT_EQ(wrong.load(), 0) << "keeping " << keep;
    if (keep) {
      // Still kept for the remaining keeper, then freed.
      EXPECT_EQ(Extract(archive, names[1]).bytes, want[1]);
      KeepArchiveStreams(false);
    }
  }
}

TEST(ArchiveReader, ChangedPackedByteFailsTheCrcCheck) {
  MediaArchive res = OpenMediaResource(469);
  std::vector<std::uint8_t> copy(res.data, res.data + res.size);
  // Inside the packed data of the first member (its header is at 20, 32 + 14 bytes).
  copy[20 + 46 + 300] ^= 0x10;
  auto e = Extract(copy, "Cam_Tracks.txt");
  EXPECT_EQ(e.result, 0);
  EXPECT_FALSE(e.nonNull);
}

// ---- archives written block by block ----

std::vector<std::uint8_t> StoredBytes() { return {'v', 'a', 'u', 'l', 't'}; }

rarpack::MemberBlock StoredBlock(const std::string& name) {
  rarpack::MemberBlock m;
  m.name = name;
  m.unpSize = 5;
  m.crc = media::Crc32("vault", 5);
  return m;
}

TEST(ArchiveReader, BlockWalkRules) {
  // A sub-block (0x77) ahead of the member ends the search.
  std::vector<std::uint8_t> a;
  rarpack::AppendArchiveStart(a, false);
  std::vector<std::uint8_t> sub = {0, 0, 0x77, 0, 0x80, 32, 0, 0, 0, 0, 0};
  sub.resize(32, 0);
  a.insert(a.end(), sub.begin(), sub.end());
  rarpack::AppendMemberBlock(a, StoredBlock("x.txt"), StoredBytes());
  EXPECT_EQ(Extract(a, "x.txt").result, 0);

  // Other block types are skipped by their header size (+ packed size when long).
  std::vector<std::uint8_t> b;
  rarpack::AppendArchiveStart(b, false);
  std::vector<std::uint8_t> other = {0, 0, 0x7A, 0, 0x80, 40, 0, 3, 0, 0, 0};
  other.resize(40 + 3, 0xAB);
  b.insert(b.end(), other.begin(), other.end());
  rarpack::AppendMemberBlock(b, StoredBlock("x.txt"), StoredBytes());
  auto e = Extract(b, "x.txt");
  EXPECT_EQ(e.result, 1);
  EXPECT_EQ(e.bytes, StoredBytes());

  // A header size below 7 ends the walk.
  std::vector<std::uint8_t> c;
  rarpack::AppendArchiveStart(c, false);
  std::vector<std::uint8_t> tiny = {0, 0, 0x7A, 0, 0, 5, 0};
  tiny.resize(32, 0);
  c.insert(c.end(), tiny.begin(), tiny.end());
  rarpack::AppendMemberBlock(c, StoredBlock("x.txt"), StoredBytes());
  EXPECT_EQ(Extract(c, "x.txt").result, 0);

  // Without the marker the resource holds nothing.
  std::vector<std::uint8_t> d = b;
  d[0] = 'r';
  EXPECT_EQ(Extract(d, "x.txt").result, 0);
  // A main header cut short fails.
  std::vector<std::uint8_t> shortMain(b.begin(), b.begin() + 15);
  EXPECT_EQ(Extract(shortMain, "x.txt").result, 0);
}

TEST(ArchiveReader, LongerHeadersAreSkippedByTheirSize) {
  // Main header of 20 bytes and a file header with 6 bytes after the name (like a
  // per-file comment): the packed data starts at block start + header size.
  std::vector<std::uint8_t> a;
  rarpack::AppendArchiveStart(a, false);
  a[7 + 5] = 20;
  a.insert(a.end(), 7, 0x55);
  std::size_t fileAt = a.size();
  rarpack::AppendMemberBlock(a, StoredBlock("notes.txt"), StoredBytes());
  std::size_t nameEnd = fileAt + 32 + 9;
  a.insert(a.begin() + static_cast<long>(nameEnd), 6, 0xCC);
  a[fileAt + 5] = static_cast<std::uint8_t>(32 + 9 + 6);
  auto e = Extract(a, "notes.txt");
  EXPECT_EQ(e.result, 1);
  EXPECT_EQ(e.bytes, StoredBytes());
}

TEST(ArchiveReader, UnpackVersionEncryptionAndShortStoredDataFail) {
  auto make = [](rarpack::MemberBlock m, std::vector<std::uint8_t> packed) {
    std::vector<std::uint8_t> a;
    rarpack::AppendArchiveStart(a, false);
    rarpack::AppendMemberBlock(a, m, packed);
    rarpack::AppendArchiveEnd(a);
    return a;
  };
  for (int version : {12, 13, 20, 21, 29}) {
    auto m = StoredBlock("v");
    m.unpVer = static_cast<std::uint8_t>(version);
    EXPECT_EQ(Extract(make(m, StoredBytes()), "v").result, version >= 13 && version <= 20 ? 1 : 0) << version;
  }
  auto enc = StoredBlock("v");
  enc.flags |= 0x0004;
  EXPECT_EQ(Extract(make(enc, StoredBytes()), "v").result, 0);
  // Stored member whose packed size is smaller than its unpacked size.
  auto shortStored = StoredBlock("v");
  EXPECT_EQ(Extract(make(shortStored, {'v', 'a', 'u'}), "v").result, 0);
  // Packed data running past the end of the resource.
  auto cut = make(StoredBlock("v"), StoredBytes());
  cut.resize(cut.size() - 7 - 2);
  EXPECT_EQ(Extract(cut, "v").result, 0);
  // Wrong CRC.
  auto bad = StoredBlock("v");
  bad.crc ^= 1;
  EXPECT_EQ(Extract(make(bad, StoredBytes()), "v").result, 0);
  // An unpacked size its packed bytes cannot describe is refused before allocating.
  auto huge = StoredBlock("v");
  huge.method = 0x33;
  huge.unpSize = 0xFFFFFFF0u;
  EXPECT_EQ(Extract(make(huge, StoredBytes()), "v").result, 0);
}

TEST(ArchiveReader, SolidArchiveOf76MembersReadOneByOne) {
  std::vector<rarpack::PackEntry> entries;
  for (int i = 0; i < 76; ++i) {
    rarpack::PackEntry e;
    e.name = "member_" + std::to_string(i) + (i % 3 == 0 ? ".jpg" : ".txt");
    std::size_t size = 200 + static_cast<std::size_t>(i) * 97;
    e.data = i % 3 == 0 ? rartest::RandomBytes(size, 7 + i) : rartest::WordText(size, 11 + i);
    entries.push_back(std::move(e));
  }
  rarpack::PackOptions options;
  options.solid = true;
  rarpack::PackResult packed;
  std::string error;
  ASSERT_TRUE(rarpack::BuildArchive(entries, options, &packed, &error)) << error;
  ASSERT_EQ(packed.members.size(), 76u);
  EXPECT_FALSE(packed.members[0].solid);
  for (std::size_t i = 1; i < 76; ++i) EXPECT_TRUE(packed.members[i].solid);
  for (const auto& e : entries) {
    auto got = Extract(packed.archive, e.name.c_str());
    ASSERT_EQ(got.result, 1) << e.name;
    EXPECT_EQ(got.bytes, e.data) << e.name;
  }
}

// ---- third-party archives (tests/data/rar, facts in tests/data/SOURCES.md) ----

struct ThirdParty {
  const char* file;
  const char* member;
  std::uint32_t size;
  std::uint32_t crc;
  bool extracts;
};

TEST(ArchiveReader, ThirdPartyArchives) {
  const ThirdParty cases[] = {
      {"test_v2.rar", "p0.bin", 16384, 0x10751ABA, true},
      {"test_v2.rar", "p1.bin", 16384, 0x10751ABA, true},
      {"test_v2.rar", "p2.bin", 16384, 0x10751ABA, true},
      {"test_v2.rar", "p3.bin", 16384, 0x10751ABA, true},
      {"test_v2.rar", "p4.bin", 16384, 0x10751ABA, true},
      {"test_v2.rar", "p5.bin", 16384, 0x10751ABA, true},
      {"test_v2.rar", "pMM.bin", 16384, 0x10751ABA, true},
      {"test_v2solid5.rar", "p5.bin", 16384, 0x10751ABA, true},
      {"test_v2solid5.rar", "p5_solid.bin", 16384, 0x10751ABA, true},
      {"BoatModernEnglish-audio-text-unpack20.rar", "BoatModernEnglish.wav", 56464, 0x82D2ED89, true},
      {"BoatModernEnglish-audio-text-unpack20.rar", "LICENSE.txt", 107, 0x8EAF20C4, true},
      {"BoatModernEnglish-regular-unpack20.rar", "BoatModernEnglish.wav", 56464, 0x82D2ED89, true},
      {"BoatModernEnglish-regular-unpack20.rar", "LICENSE.txt", 107, 0x8EAF20C4, true},
      {"rar202-comment-nopsw.rar", "FILE1.TXT", 7, 0x7A197DBA, true},
      {"rar202-comment-nopsw.rar", "FILE2.TXT", 7, 0x785FC3E3, true},
      {"rar15-comment.rar", "FILE1.TXT", 0, 0, false},  // unpack version 15: another method
      {"rar15-comment.rar", "FILE2.TXT", 8, 0x3C4306F7, true},
      {"rar20-password-compressed.rar", "SECRET.TXT", 0, 0, false},
      {"void-dist-v20.rar", "void20", 0, 0, false},
      {"v20-solid-negative-backref.rar", "f0", 0, 0, false},
      {"v20-solid-negative-backref.rar", "f1", 0, 0, false},
  };
  for (const auto& c : cases) {
    auto bytes = ReadFile(kThirdParty + c.file);
    ASSERT_FALSE(bytes.empty()) << "missing test archive " << kThirdParty << c.file;
    auto e = Extract(bytes, c.member);
    EXPECT_EQ(e.result, c.extracts ? 1 : 0) << c.file << " " << c.member;
    if (c.extracts) {
      EXPECT_EQ(e.length, c.size) << c.file << " " << c.member;
      EXPECT_EQ(media::Crc32(e.bytes.data(), e.bytes.size()), c.crc) << c.file << " " << c.member;
    } else {
      EXPECT_FALSE(e.nonNull);
    }
  }
}

// Keeping solid streams while loading changes nothing a request can see: the same result,
// length and bytes for every member, in any order, in sound and damaged archives alike, and
// after a request to another archive has used the reader's window in between.
TEST(ArchiveReader, KeptStreamsAnswerExactlyAsUnpackingFromTheStart) {
  MediaArchive scene = OpenMediaResource(469);
  ASSERT_NE(scene.data, nullptr);
  const std::vector<std::uint8_t> sound(scene.data, scene.data + scene.size);
  std::vector<std::uint8_t> truncated(sound.begin(), sound.begin() + sound.size() * 2 / 3);
  std::vector<std::uint8_t> flipped = sound;
  flipped[flipped.size() / 2] ^= 0x5A;
  const std::vector<std::vector<std::uint8_t>> archives = {
      sound, truncated, flipped, ReadFile(kFixtures + "/seeds/solid.rar"), ReadFile(kFixtures + "/seeds/audio.rar"),
      ReadFile(kThirdParty + "test_v2solid5.rar"), ReadFile(kThirdParty + "v20-solid-negative-backref.rar"),
      ReadFile(kThirdParty + "test_v2.rar")};
  const MediaArchive digits = OpenMediaResource(453);
  for (std::size_t a = 0; a < archives.size(); ++a) {
    const auto& bytes = archives[a];
    ASSERT_FALSE(bytes.empty()) << a;
    std::vector<std::string> names = {"no such member"};
    media::WalkArchive(bytes.data(), static_cast<std::uint32_t>(bytes.size()), false,
                       [&](const media::WalkedMember& m) { names.emplace_back(m.block.name); });
    ASSERT_GT(names.size(), 1u) << a;
    std::vector<rartest::Extracted> plain;
    for (const auto& n : names) plain.push_back(Extract(bytes, n.c_str()));
    KeepArchiveStreams(true);
    for (std::size_t i = names.size(); i-- > 0;) {
      const auto kept = Extract(bytes, names[i].c_str());
      EXPECT_EQ(kept.result, plain[i].result) << a << " " << names[i];
      EXPECT_EQ(kept.length, plain[i].length) << a << " " << names[i];
      EXPECT_TRUE(kept.bytes == plain[i].bytes) << a << " " << names[i];
      Extract(digits, "Texture\\QL Logo.bmp");  // another stream through the same window
    }
    KeepArchiveStreams(false);
  }
}

}  // namespace
