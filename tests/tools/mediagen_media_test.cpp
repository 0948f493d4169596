// Camera tracks, music and file encoders of the generator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "image.h"
#include "music.h"
#include "pictures.h"
#include "room_parts.h"
#include "tracks.h"

namespace mediagen {
namespace {

// An independent reader of the track file layout: count, then per track a 4-byte count,
// two flag bytes and point blocks (position, target flag, optional target, speed, pause).
struct Parsed {
  std::vector<std::vector<TrackPoint>> tracks;
  size_t consumed = 0;
};
Parsed ParseTracks(const std::vector<uint8_t>& b) {
  Parsed out;
  size_t at = 0;
  auto u32 = [&]() { uint32_t v; std::memcpy(&v, &b.at(at + 3) - 3, 4); at += 4; return v; };
  auto f32 = [&]() { float v; uint32_t u = u32(); std::memcpy(&v, &u, 4); return v; };
  uint32_t count = u32();
  for (uint32_t t = 0; t < count; ++t) {
    uint32_t n = u32() & 0xFFFF;
    at += 2;
    std::vector<TrackPoint> pts;
    for (uint32_t i = 0; i < n; ++i) {
      TrackPoint p;
      p.position = {f32(), f32(), f32()};
      p.hasTarget = b.at(at++) == 1;
      if (p.hasTarget) p.target = {f32(), f32(), f32()};
      p.speed = f32();
      p.pause = f32();
      pts.push_back(p);
    }
    out.tracks.push_back(pts);
  }
  out.consumed = at;
  return out;
}

struct Box {
  Vec3 lo, hi;
  std::string name;
};

TEST(MediagenTracks, FileLayoutAndTrackShapes) {
  Scene scene = BuildRoom();
  RoomInfo info = DescribeRoom(scene);
  std::vector<Track> tracks = BuildTracks(info);
  std::vector<uint8_t> bin = EncodeTracksBinary(tracks);
  Parsed p = ParseTracks(bin);
  EXPECT_EQ(p.consumed, bin.size());
  ASSERT_EQ(p.tracks.size(), 11u);
  size_t targets = 0;
  for (size_t t = 0; t < p.tracks.size(); ++t) {
    const auto& pts = p.tracks[t];
    ASSERT_GE(pts.size(), 4u);
    ASSERT_EQ((pts.size() - 1) % 3, 0u) << "track " << t;
    ASSERT_LE(pts.size(), 150u);
    for (size_t i = 0; i < pts.size(); ++i) {
      EXPECT_EQ(pts[i].pause, 0.0f);
      if (i % 3) {
        EXPECT_FALSE(pts[i].hasTarget) << "handles carry no target";
        EXPECT_EQ(pts[i].speed, 0.0f);
      } else {
        EXPECT_GE(pts[i].speed, 0.12f);
        EXPECT_LE(pts[i].speed, 34.0f);
      }
      targets += pts[i].hasTarget;
    }
    // Every segment has a length, so playback can start anywhere.
    for (size_t s = 0; s + 3 < pts.size(); s += 3) EXPECT_GT(Length(pts[s + 3].position - pts[s].position), 1.0f);
  }
  EXPECT_EQ(targets, 42u);
  // Every track moves enough for the parallax to show, and never creeps.
  for (const Track& t : tracks) {
    TrackTiming tt = TimeTrack(t);
    EXPECT_GE(tt.length, 20.0f);
    EXPECT_GE(tt.slowest, 1.0f);
  }
  // The text form carries the same numbers, one value or triple per line.
  std::string text = EncodeTracksText(tracks);
  EXPECT_EQ(text.substr(0, 4), "11\r\n");
  EXPECT_NE(text.find("1.6000\r\n"), std::string::npos);
}

TEST(MediagenTracks, FlightsStayInsideTheRoomAndOutOfTheTreasure) {
  Scene scene = BuildRoom();
  RoomInfo info = DescribeRoom(scene);
  std::vector<Box> boxes;
  ForEachFrame(scene.root, Mat4::Identity(), [&](const Frame& f, const Mat4& w) {
    if (!f.mesh) return;
    static const char* const solid[] = {"chest", "Chest", "dead_knight", "Draco", "plinth", "golden_plate", "fireplace",
                                        "mantel", "giantgem", "crown", "Cup", "torch", "Shield", "s_shield", "Swords",
                                        "banner", "urn", "ingot", "sword", "rod"};
    bool hit = false;
    for (const char* s : solid) hit = hit || f.name.find(s) != std::string::npos;
    if (!hit) return;
    Vec3 lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
    for (Vec3 p : f.mesh->positions) {
      Vec3 q = w.TransformPoint(p);
      for (int k = 0; k < 3; ++k) { lo[k] = std::min(lo[k], q[k]); hi[k] = std::max(hi[k], q[k]); }
    }
    // The near plane lies 10 units ahead: keep that and a little more off every object.
    boxes.push_back({lo - Vec3{14, 14, 14}, hi + Vec3{14, 14, 14}, f.name});
  });
  ASSERT_GT(boxes.size(), 30u);
  int number = 0;
  for (const Track& t : BuildTracks(info)) {
    ++number;
    // The first fault of each track, so that one run names every track to fix.
    std::string fault;
    for (size_t s = 0; s + 3 < t.points.size() && fault.empty(); s += 3)
      for (int k = 0; k <= 100 && fault.empty(); ++k) {
        Vec3 p = EvalBezier(k / 100.0f, t.points[s].position, t.points[s + 1].position, t.points[s + 2].position,
                            t.points[s + 3].position);
        // The pilasters stand 10 units out from the walls.
        if (std::abs(p.x) > kHalf - 30 || std::abs(p.z) > kHalf - 30 || p.y < 14.0f) fault = "near a wall";
        else if (p.y > DomeHeight(p.x, p.z) - 14.0f) fault = "grazing the vault";
        else if (p.y < HeapHeight(p.x, p.z) + 14.0f) fault = "grazing the gold";
        for (const Box& b : boxes)
          if (fault.empty() && p.x > b.lo.x && p.x < b.hi.x && p.y > b.lo.y && p.y < b.hi.y && p.z > b.lo.z &&
              p.z < b.hi.z)
            fault = "too close to " + b.name;
        if (!fault.empty())
          ADD_FAILURE() << "track " << number << " " << fault << " at " << p.x << " " << p.y << " " << p.z;
      }
  }
}

TEST(MediagenMusic, TwoCopiesOverlappingFiveSecondsSumToTheLoop) {
  // A short piece keeps the test fast; the construction is the same for any length.
  const float period = 9.0f;
  std::vector<float> pcm = SynthesiseMusic(period);
  size_t n = static_cast<size_t>(period * kMusicRate), ov = static_cast<size_t>(kMusicOverlap * kMusicRate);
  ASSERT_EQ(pcm.size(), (n + ov) * 2);
  float peak = 0;
  for (float v : pcm) peak = std::max(peak, std::abs(v));
  EXPECT_GT(peak, 0.1f);
  EXPECT_LE(peak, 1.0f);
  // Both ends start and end in silence.
  EXPECT_EQ(pcm[0], 0.0f);
  EXPECT_LT(std::abs(pcm[pcm.size() - 1]), 1e-3f);
  // Head i of the next copy and tail n + i of this one are the same loop sample under
  // complementary fades: head * (ov - i) == tail * i, and their sum continues the piece.
  double worst = 0;
  for (size_t i = 1; i < ov; i += 97)
    for (int ch = 0; ch < 2; ++ch) {
      double head = pcm[2 * i + static_cast<size_t>(ch)], tail = pcm[2 * (n + i) + static_cast<size_t>(ch)];
      worst = std::max(worst, std::abs(head * static_cast<double>(ov - i) - tail * static_cast<double>(i)) / ov);
    }
  EXPECT_LT(worst, 1e-5);
  double jump = std::abs((pcm[2 * (ov - 1)] + pcm[2 * (n + ov - 1)]) - pcm[2 * ov]);
  EXPECT_LT(jump, 0.05);
}

TEST(MediagenEncoders, FilesDecodeAsTheLoadersExpect) {
  Image img(64, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) img.at(x, y) = {x / 63.0f, y / 31.0f, 0.5f, (x + y) % 2 ? 1.0f : 0.25f};
  // JPEG: baseline (SOF0), decodes at the same size and close colours.
  std::vector<uint8_t> jpg = EncodeJpeg(img, 90);
  bool sof0 = false;
  for (size_t i = 0; i + 1 < jpg.size(); ++i) {
    if (jpg[i] == 0xFF && jpg[i + 1] == 0xC2) FAIL() << "progressive JPEG";
    if (jpg[i] == 0xFF && jpg[i + 1] == 0xC0) sof0 = true;
  }
  EXPECT_TRUE(sof0);
  Image back;
  ASSERT_TRUE(DecodeJpeg(jpg, back));
  EXPECT_EQ(back.width(), 64);
  EXPECT_NEAR(back.at(60, 5).r, img.at(60, 5).r, 0.06f);
  // DDS: 32-bit ARGB with a full mip chain and the pixel bytes in B, G, R, A order.
  std::vector<uint8_t> dds = EncodeDds(img);
  ASSERT_EQ(std::string(dds.begin(), dds.begin() + 4), "DDS ");
  uint32_t mips;
  std::memcpy(&mips, &dds[28], 4);
  EXPECT_EQ(mips, 7u);
  size_t expect = 128;
  for (int w = 64, h = 32; ; w = std::max(1, w / 2), h = std::max(1, h / 2)) {
    expect += static_cast<size_t>(w * h * 4);
    if (w == 1 && h == 1) break;
  }
  EXPECT_EQ(dds.size(), expect);
  EXPECT_EQ(dds[128 + 3], ToByte(img.at(0, 0).a));
  EXPECT_EQ(dds[128 + 2], ToByte(img.at(0, 0).r));
  // TGA: 32 bits with 8 alpha bits, top-left origin.
  std::vector<uint8_t> tga = EncodeTga(img);
  EXPECT_EQ(tga[2], 2);
  EXPECT_EQ(tga[16], 32);
  EXPECT_EQ(tga[17], 0x28);
  EXPECT_EQ(tga.size(), 18u + 64 * 32 * 4);
  // Icon: a DIB of twice the height with an AND mask; the group points at it.
  std::vector<uint8_t> ico = EncodeIconImage(img);
  int32_t h;
  std::memcpy(&h, &ico[8], 4);
  EXPECT_EQ(h, 64);
  EXPECT_EQ(ico.size(), 40u + 64 * 32 * 4 + 8 * 32);
  std::vector<uint8_t> grp = EncodeIconGroup(48, static_cast<uint32_t>(ico.size()), 224);
  ASSERT_EQ(grp.size(), 20u);
  EXPECT_EQ(grp[4], 1);
  EXPECT_EQ(grp[18] | (grp[19] << 8), 224);
  // Packed DIB for bitmap resources: no file header, bottom-up rows.
  std::vector<uint8_t> dib = EncodePackedDib(img);
  EXPECT_EQ(dib[0], 40);
  EXPECT_EQ(dib[40 + 2], ToByte(img.at(0, 31).r));
}

TEST(MediagenPictures, DigitsAreWhiteGlyphsOnBlack) {
  std::vector<NamedImage> digits = BuildDigits(Fonts{});
  ASSERT_EQ(digits.size(), 15u) << "the DejaVu fonts (fonts-dejavu-core) are needed";
  EXPECT_EQ(digits[0].name, "digit_0.jpg");
  EXPECT_EQ(digits[11].name, "digit_ddot.jpg");
  EXPECT_EQ(digits[14].name, "digit_P.jpg");
  for (const NamedImage& d : digits) {
    float lit = 0;
    for (int y = 0; y < d.image.height(); ++y)
      for (int x = 0; x < d.image.width(); ++x) lit += d.image.at(x, y).r;
    float frac = lit / static_cast<float>(d.image.width() * d.image.height());
    EXPECT_GT(frac, 0.02f) << d.name;
    EXPECT_LT(frac, 0.6f) << d.name;
    EXPECT_EQ(d.image.at(0, 0).r, 0.0f) << d.name;
  }
  // Loading-screen corners: 256 x 128 with alpha, the ornament in its own corner.
  for (int c = 0; c < 4; ++c) {
    Image corner = BuildLoadingCorner(c);
    ASSERT_EQ(corner.width(), 256);
    ASSERT_EQ(corner.height(), 128);
    bool right = c == 0 || c == 3, bottom = c == 0 || c == 1;
    EXPECT_GT(corner.at(right ? 243 : 12, bottom ? 115 : 12).a, 0.5f) << c;
    EXPECT_EQ(corner.at(right ? 12 : 243, bottom ? 12 : 115).a, 0.0f) << c;
  }
}

}  // namespace
}  // namespace mediagen
