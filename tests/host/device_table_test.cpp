// Adapter enumeration and mode selection against a scripted Direct3D object, the gamma ramp
// formulas and the choice of vertex processing.
#include <gtest/gtest.h>

#include <vector>

#include "host/device_table.h"
#include "platform/win32/msgbox.h"
#include "support/fake_direct3d.h"

using namespace d3d8;

namespace {

using testsupport::FakeDirect3D;

constexpr D3DFORMAT X8 = D3DFMT_X8R8G8B8;
constexpr D3DFORMAT R565 = D3DFMT_R5G6B5;

TEST(DeviceTable, ModesAreFilteredDistinctAndSorted) {
  FakeDirect3D d3d;
  d3d.adapters = {{{1024, 768, 60, X8},
                   {320, 240, 60, X8},
                   {640, 480, 60, X8},
                   {1024, 768, 75, X8},  // differs only in refresh rate
                   {512, 384, 60, X8},
                   {640, 400, 60, X8},
                   {640, 480, 60, R565},
                   {639, 480, 60, X8},
                   {800, 399, 60, X8},
                   {800, 600, 60, D3DFMT_A2B10G10R10}}};
  d3d.badFormats = {D3DFMT_A2B10G10R10};
  DeviceTable table;
  ASSERT_EQ(table.Enumerate(&d3d, nullptr), S_OK);
  ASSERT_EQ(table.adapters().size(), 1u);
  const auto& modes = table.adapters()[0].modes;
  ASSERT_EQ(modes.size(), 4u);
  EXPECT_EQ(modes[0].width, 640u);
  EXPECT_EQ(modes[0].height, 400u);
  EXPECT_EQ(modes[1].width, 640u);
  EXPECT_EQ(modes[1].height, 480u);
  EXPECT_EQ(modes[1].format, X8);  // equal sizes keep their enumeration order
  EXPECT_EQ(modes[2].format, R565);
  EXPECT_EQ(modes[3].width, 1024u);
  const AdapterRecord& a = table.adapters()[0];
  EXPECT_TRUE(a.depthD16);
  EXPECT_TRUE(a.depthD24X8);
  EXPECT_FALSE(a.depthD24S8);
  EXPECT_EQ(a.depthFormat, D3DFMT_D24X8);  // D24S8 unusable: the next best
  EXPECT_TRUE(a.multisampleOk[0]);
  EXPECT_TRUE(a.multisampleOk[1]);   // 2 samples
  EXPECT_FALSE(a.multisampleOk[2]);  // 3 samples
  EXPECT_TRUE(a.multisampleOk[3]);   // 4 samples
  // The smallest mode is current after enumeration.
  EXPECT_EQ(table.selection().width, 640u);
  EXPECT_EQ(table.selection().height, 400u);
  EXPECT_TRUE(table.selection().changed);
  table.Release();
  EXPECT_EQ(d3d.refs, 0u);
}

TEST(DeviceTable, SelectModeKeepsCurrentWhenNothingMatches) {
  FakeDirect3D d3d;
  d3d.adapters = {{{640, 480, 60, X8}, {800, 600, 60, X8}, {800, 600, 60, R565}, {1280, 1024, 60, X8}}};
  DeviceTable table;
  ASSERT_EQ(table.Enumerate(&d3d, nullptr), S_OK);
  table.SelectMode(800, 600, 16, D3DMULTISAMPLE_TYPE(4));
  EXPECT_EQ(table.selection().width, 800u);
  EXPECT_EQ(table.selection().backBufferFormat, R565);
  EXPECT_EQ(table.selection().multisample, D3DMULTISAMPLE_TYPE(4));
  EXPECT_TRUE(table.selection().changed);
  table.SelectMode(800, 600, 16, D3DMULTISAMPLE_TYPE(4));
  EXPECT_FALSE(table.selection().changed);
  // 1024 x 768 x 32 is not offered and 8 samples are not supported: both stay.
  table.SelectMode(1024, 768, 32, D3DMULTISAMPLE_TYPE(8));
  EXPECT_EQ(table.selection().width, 800u);
  EXPECT_EQ(table.selection().multisample, D3DMULTISAMPLE_TYPE(4));
  // After a fresh enumeration an unknown mode leaves the smallest one.
  ASSERT_EQ(table.Enumerate(&d3d, nullptr), S_OK);
  table.SelectMode(1024, 768, 32, D3DMULTISAMPLE_TYPE(3));
  EXPECT_EQ(table.selection().width, 640u);
  EXPECT_EQ(table.selection().height, 480u);
  EXPECT_EQ(table.selection().multisample, D3DMULTISAMPLE_NONE);
}

TEST(DeviceTable, AdaptersWithoutModesAreDroppedAndNoneIsAnError) {
  FakeDirect3D d3d;
  d3d.adapters = {{{320, 240, 60, X8}}, {{800, 600, 60, X8}}};
  DeviceTable table;
  ASSERT_EQ(table.Enumerate(&d3d, nullptr), S_OK);
  ASSERT_EQ(table.adapters().size(), 1u);
  EXPECT_EQ(table.adapters()[0].ordinal, 1u);

  FakeDirect3D none;
  none.adapters = {{{320, 240, 60, X8}, {512, 384, 60, X8}}};
  win32::ScopedMessageBoxCapture boxes;
  DeviceTable empty;
  EXPECT_EQ(empty.Enumerate(&none, nullptr), kErrorNoCompatibleDevice);
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].caption, "Error!");
  EXPECT_EQ(boxes.calls()[0].text, "Could not find any compatible Direct3D\ndevices.");
  EXPECT_EQ(boxes.calls()[0].type & win32::MB_ICONMASK, win32::MB_ICONERROR);
  EXPECT_EQ(none.refs, 0u);  // the object is released
  EXPECT_EQ(empty.d3d(), nullptr);
}

TEST(DeviceTable, GammaRamps) {
  D3DGAMMARAMP r{};
  BuildGammaRamp(100, &r);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(r.red[i], 256 * i);
  BuildGammaRamp(0, &r);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(r.green[i], 56 * i);
  BuildGammaRamp(200, &r);
  EXPECT_EQ(r.blue[0], 38325);
  EXPECT_EQ(r.blue[255], 65355);
  for (int i = 1; i < 256; ++i) ASSERT_EQ(r.red[i] - r.red[i - 1], 106);  // m = 256 - 150
  BuildGammaRamp(150, &r);  // m = 256 - 75 = 181
  EXPECT_EQ(r.red[255], 65355);
  EXPECT_EQ(r.red[0], 65355 - 181 * 255);
  BuildGammaRamp(101, &r);  // m = trunc(254.5) = 254
  EXPECT_EQ(r.red[0], 65355 - 254 * 255);
  BuildIdentityRamp(&r);
  EXPECT_EQ(r.green[255], 65280);
}

TEST(DeviceTable, VertexProcessingUsesTheSystemMemoryBit) {
  D3DCAPS8 caps{};
  caps.DevCaps = D3DDEVCAPS_TLVERTEXSYSTEMMEMORY;
  caps.VertexShaderVersion = D3DVS_VERSION(1, 0);
  EXPECT_EQ(ChooseVertexProcessing(caps), D3DCREATE_HARDWARE_VERTEXPROCESSING);
  caps.VertexShaderVersion = D3DVS_VERSION(0, 9);
  EXPECT_EQ(ChooseVertexProcessing(caps), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
  caps.VertexShaderVersion = D3DVS_VERSION(1, 1);
  caps.DevCaps = 0x10000;  // hardware transform and lighting alone is not enough
  EXPECT_EQ(ChooseVertexProcessing(caps), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
  EXPECT_EQ(BitCountOf(D3DFMT_A8R8G8B8), 32);
  EXPECT_EQ(BitCountOf(D3DFMT_X8R8G8B8), 32);
  EXPECT_EQ(BitCountOf(D3DFMT_R8G8B8), 16);
  EXPECT_EQ(BitCountOf(D3DFMT_R5G6B5), 16);
}

}  // namespace
