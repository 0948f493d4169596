#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "camera/camera_track_set.h"

using camera::CameraTrackSet;
using camera::Vec3;

namespace {

// Builds track images in the file layout.
struct Image {
  std::vector<unsigned char> b;
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
  }
  void U8(std::uint8_t v) { b.push_back(v); }
  void F32(float f) {
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    U32(v);
  }
  void Track(std::uint32_t countField, const std::vector<Vec3>& pts, std::vector<float> speeds = {},
             std::vector<float> pauses = {}, const std::vector<int>& targetFlags = {}) {
    U32(countField);
    U8(0);
    U8(0);
    for (size_t i = 0; i < pts.size(); ++i) {
      F32(pts[i].x);
      F32(pts[i].y);
      F32(pts[i].z);
      int flag = i < targetFlags.size() ? targetFlags[i] : 0;
      U8(static_cast<std::uint8_t>(flag));
      if (flag == 1) {
        F32(100);
        F32(0);
        F32(0);
      }
      F32(i < speeds.size() ? speeds[i] : 1.0f);
      F32(i < pauses.size() ? pauses[i] : 0.0f);
    }
  }
};

std::vector<Vec3> Line(int points, float step = 1) {
  std::vector<Vec3> v;
  for (int i = 0; i < points; ++i) v.push_back({step * i, 0, 0});
  return v;
}

std::unique_ptr<CameraTrackSet> Load(const Image& img) {
  auto set = std::make_unique<CameraTrackSet>();
  EXPECT_EQ(set->LoadTracks(nullptr, img.b.data(), img.b.size()), 0);
  return set;
}

}  // namespace

TEST(CameraTrackLoad, CountsFlagsAndSegments) {
  Image img;
  img.U32(6);
  img.Track(0xABCD0004u, Line(4));               // high bits ignored: 4 points, one segment
  img.Track(7, Line(7));                          // two segments
  img.Track(5, Line(5));                          // one segment, surplus point ignored
  img.Track(3, Line(3));                          // no segment
  img.Track(4, Line(4), {}, {}, {2, 1, 0, 0});    // flag 2: no target fields follow
  img.Track(1, Line(1));
  auto set = Load(img);
  EXPECT_EQ(set->trackCount, 6);
  EXPECT_EQ(set->track, 0);
  EXPECT_EQ(set->bytesConsumed, img.b.size());
  EXPECT_EQ(set->tracks[0].pointCount, 4);
  EXPECT_EQ(set->tracks[0].segmentCount, 1);
  EXPECT_NEAR(set->tracks[0].segmentLengths[0], 3.0f, 1e-4);
  EXPECT_EQ(set->tracks[1].segmentCount, 2);
  EXPECT_EQ(set->tracks[2].segmentCount, 1);
  EXPECT_EQ(set->tracks[3].segmentCount, 0);
  EXPECT_FALSE(set->IsPlayable(3));
  EXPECT_EQ(set->tracks[4].points[0].hasTarget, 0);
  EXPECT_EQ(set->tracks[4].points[1].hasTarget, 1);
  EXPECT_FLOAT_EQ(set->tracks[4].points[1].target.x, 100);
  EXPECT_EQ(set->tracks[5].segmentCount, 0);
  EXPECT_TRUE(set->IsPlayable(0));
  EXPECT_FALSE(set->IsPlayable(5));
  EXPECT_FALSE(set->IsPlayable(6));
}

TEST(CameraTrackLoad, TruncatedAndOversizedImagesStayInBounds) {
  Image img;
  img.U32(3);
  img.Track(4, Line(4));
  img.Track(7, Line(7));
  img.Track(4, Line(4));
  // Every prefix of the image loads without reading past it; complete tracks survive.
  for (size_t cut = 0; cut <= img.b.size(); ++cut) {
    std::unique_ptr<unsigned char[]> part(new unsigned char[cut + 1]);  // exact-size heap copy for ASan
    std::memcpy(part.get(), img.b.data(), cut);
    auto set = std::make_unique<CameraTrackSet>();
    ASSERT_EQ(set->LoadTracks(nullptr, part.get(), cut), 0);
    EXPECT_LE(set->bytesConsumed, cut);
    EXPECT_LE(set->trackCount, 3);
    if (cut == img.b.size()) {
      EXPECT_EQ(set->trackCount, 3);
    }
  }
  // Counts beyond the capacities are clamped.
  Image big;
  big.U32(1000);
  for (int i = 0; i < 60; ++i) big.Track(4, Line(4));
  auto set = Load(big);
  EXPECT_EQ(set->trackCount, 50);
  Image many;
  many.U32(1);
  many.Track(200, Line(200));
  auto set2 = Load(many);
  EXPECT_EQ(set2->tracks[0].pointCount, 150);
  EXPECT_EQ(set2->tracks[0].segmentCount, 49);
  EXPECT_EQ(set2->bytesConsumed, many.b.size());
}

TEST(CameraTrackLoad, MissingFileFailsAndNegativePausesReadAsZero) {
  CameraTrackSet set;
  EXPECT_EQ(set.LoadTracks("/nonexistent/Cam_Tracks.bin", nullptr, 0), static_cast<std::int32_t>(0x80004005u));
  Image img;
  img.U32(1);
  img.Track(4, Line(4), {}, {-3, 0, 0, 0});
  auto s = Load(img);
  EXPECT_EQ(s->tracks[0].points[0].pause, 0.0f);
}

TEST(CameraHeading, ExamplesAndElevation) {
  EXPECT_NEAR(camera::HeadingOf({0, 0, 1}), 90, 1e-4);
  EXPECT_NEAR(camera::HeadingOf({-1, 0, 0}), 180, 1e-4);
  float r = std::sqrt(0.5f);
  EXPECT_NEAR(camera::HeadingOf({r, 0, -r}), 315, 1e-4);
  EXPECT_NEAR(camera::HeadingOf({r, 0, r}), 45, 1e-4);
  EXPECT_NEAR(camera::ElevationOf({0, 1, 0}), 90, 1e-3);
  EXPECT_NEAR(camera::ElevationOf({r, -r, 0}), -45, 1e-3);
}

class CameraMove : public ::testing::Test {
 protected:
  std::unique_ptr<CameraTrackSet> set;
  void LoadLine(int points, float step, std::vector<float> speeds, std::vector<float> pauses = {}) {
    Image img;
    img.U32(1);
    img.Track(static_cast<std::uint32_t>(points), Line(points, step), speeds, pauses);
    set = Load(img);
    set->StartTrack(0, 0);
  }
};

TEST_F(CameraMove, StartFacesAlongTheCurveAndZeroDtChangesNothing) {
  LoadLine(4, 1, {1, 0, 0, 1});
  EXPECT_FLOAT_EQ(set->position.x, 0);
  EXPECT_NEAR(set->yaw, 0, 1e-4);
  set->finished = 7;
  float before = set->segmentDistance;
  EXPECT_EQ(set->UpdateCamera(0), 0);
  EXPECT_EQ(set->finished, 0);
  EXPECT_EQ(set->segmentDistance, before);
}

TEST_F(CameraMove, SpeedInterpolatesWithFloor) {
  LoadLine(4, 10, {0, 0, 0, 0});  // 30 units at speed 0
  set->UpdateCamera(1.0f);
  EXPECT_FLOAT_EQ(set->speed, 0.01f);
  EXPECT_NEAR(set->segmentDistance, 0.01f, 1e-6);
  EXPECT_NEAR(set->position.x, 0.01f, 1e-3);

  LoadLine(4, 10, {2, 0, 0, 4});
  set->segmentDistance = 15;  // half way: speed 3
  set->UpdateCamera(0.1f);
  EXPECT_NEAR(set->speed, 3.0f, 1e-4);
  EXPECT_NEAR(set->position.x, 15.3f, 2e-3);
}

TEST_F(CameraMove, CrossesSeveralSegmentsAndWraps) {
  LoadLine(10, 1, std::vector<float>(10, 100.0f));  // three segments of 3 units
  set->UpdateCamera(0.05f);                          // 5 units: into segment 1
  EXPECT_EQ(set->segment, 1);
  EXPECT_NEAR(set->segmentDistance, 2.0f, 1e-3);
  EXPECT_EQ(set->finished, 0);
  EXPECT_NEAR(set->position.x, 5.0f, 1e-2);
  set->UpdateCamera(0.06f);  // 6 more units: past the end -> segment 0, finished
  EXPECT_EQ(set->finished, 1);
  EXPECT_EQ(set->segment, 0);
  EXPECT_NEAR(set->segmentDistance, 2.0f, 1e-3);
}

TEST_F(CameraMove, PauseHoldsThenUsesTheRestOfTheFrame) {
  std::vector<float> pauses(7, 0.0f);
  pauses[3] = 2.0f;
  LoadLine(7, 1, std::vector<float>(7, 10.0f), pauses);
  set->UpdateCamera(0.35f);  // 3.5 units: crosses node 3 whose pause starts
  EXPECT_EQ(set->segment, 1);
  EXPECT_FLOAT_EQ(set->pauseLeft, 2.0f);
  float heldAt = set->position.x;
  EXPECT_NEAR(heldAt, 3.5f, 1e-2);  // leftover distance carries over
  set->UpdateCamera(1.5f);
  EXPECT_FLOAT_EQ(set->position.x, heldAt);
  EXPECT_NEAR(set->pauseLeft, 0.5f, 1e-5);
  set->UpdateCamera(0.6f);  // pause ends after 0.5 s; 0.1 s of travel at 10 units/s
  EXPECT_EQ(set->pauseLeft, 0.0f);
  EXPECT_NEAR(set->position.x, heldAt + 1.0f, 2e-2);
}

TEST_F(CameraMove, TurningLagsAndWrapsTheShortWay) {
  LoadLine(4, 1, {1, 1, 1, 1});
  set->yaw = 170;  // curve heading 0: difference -170
  set->UpdateCamera(0.1f);
  EXPECT_NEAR(set->yaw, 170 - 170 * 0.2125f, 1e-3);
  set->yaw = 190;  // difference -190 wraps to +170
  set->UpdateCamera(0.1f);
  EXPECT_NEAR(set->yaw, 190 + 170 * 0.2125f, 1e-3);
  set->pitch = 30;
  set->UpdateCamera(0.1f);
  EXPECT_NEAR(set->pitch, 30 - 30 * 0.2125f, 1e-3);
  set->yaw = 10;
  set->UpdateCamera(0.5f);  // gain >= 1: snaps
  EXPECT_NEAR(set->yaw, 0, 1e-3);
}

TEST(CameraTargets, TargetsSteerUnlessDisabled) {
  Image img;
  img.U32(1);
  img.Track(4, Line(4), {1, 1, 1, 1}, {}, {1, 0, 0, 0});  // target (100, 0, 0) ahead
  auto set = Load(img);
  set->tracks[0].points[0].target = {0, 0, 100};
  set->StartTrack(0, 0);
  EXPECT_NEAR(set->yaw, 90, 1e-3);
  set->useTargets = false;
  set->StartTrack(0, 0);
  EXPECT_NEAR(set->yaw, 0, 1e-3);
}
