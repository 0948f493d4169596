// The device's own behaviour: buffers, render targets and copies, gamma, multisampling, lost and
// reset cycles, redundant state filtering, the streaming ring and PNG capture.
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "render_fixture.h"

namespace d3d8test {
namespace {

class DeviceTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  }
  DeviceStats Stats() {
    DeviceStats s{};
    EXPECT_EQ(GetDeviceStats(dev, &s), D3D_OK);
    return s;
  }
};

TEST_F(DeviceTest, VertexAndIndexBuffersDraw) {
  const D3DCOLOR c = D3DCOLOR_XRGB(0, 128, 255);
  TlVertex v[4] = {{2, 30, 0.5f, 1, c, 0, 0}, {2, 2, 0.5f, 1, c, 0, 0}, {30, 30, 0.5f, 1, c, 0, 0}, {30, 2, 0.5f, 1, c, 0, 0}};
  IDirect3DVertexBuffer8* vb = nullptr;
  ASSERT_EQ(dev->CreateVertexBuffer(sizeof v, D3DUSAGE_WRITEONLY, kTlFvf, D3DPOOL_MANAGED, &vb), D3D_OK);
  BYTE* p = nullptr;
  ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
  std::memcpy(p, v, sizeof v);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
  dev->SetVertexShader(kTlFvf);
  dev->SetStreamSource(0, vb, sizeof(TlVertex));
  ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(16, 16), 0, 128, 255, 0);
  // Reading past the buffer's end is refused.
  EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);

  // Indexed: only the first triangle (left half below the diagonal) with a base vertex.
  IDirect3DIndexBuffer8* ib = nullptr;
  ASSERT_EQ(dev->CreateIndexBuffer(6 * sizeof(WORD), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), D3D_OK);
  ASSERT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
  const WORD idx[6] = {0, 0, 1, 2, 0, 0};
  std::memcpy(p, idx, sizeof idx);
  ib->Unlock();
  // Overwrite the vertex colour through a partial lock.
  TlVertex v2[4];
  std::memcpy(v2, v, sizeof v);
  for (auto& x : v2) x.color = D3DCOLOR_XRGB(255, 0, 0);
  ASSERT_EQ(vb->Lock(0, sizeof v2, &p, 0), D3D_OK);
  std::memcpy(p, v2, sizeof v2);
  vb->Unlock();
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0);
  dev->SetIndices(ib, 0);
  ASSERT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 1, 1), D3D_OK);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(4, 26), 255, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(28, 4), 0, 0, 0, 0);
  // Base vertex 1 shifts every index: vertices 1, 2, 3 form the other half (wound the
  // other way, so culling is off).
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0);
  dev->SetIndices(ib, 1);
  ASSERT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 1, 1), D3D_OK);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(28, 4), 255, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(4, 26), 0, 0, 0, 0);

  // Indices that would reach past the vertex buffer are refused, not drawn.
  dev->SetIndices(ib, 2);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 1, 1), D3DERR_INVALIDCALL);
  dev->SetIndices(ib, 1);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 4, 1), D3DERR_INVALIDCALL);  // past the indices

  // Drawing from memory afterwards clears stream 0, as Direct3D 8 does.
  DrawQuad(0, 0, 4, 4, c);
  IDirect3DVertexBuffer8* bound = nullptr;
  UINT stride = 1;
  dev->GetStreamSource(0, &bound, &stride);
  EXPECT_EQ(bound, nullptr);
  dev->SetIndices(nullptr, 0);
  EXPECT_EQ(ib->Release(), 0u);
  EXPECT_EQ(vb->Release(), 0u);
}

TEST_F(DeviceTest, IndexedDrawFromMemory) {
  const D3DCOLOR c = D3DCOLOR_XRGB(255, 255, 0);
  TlVertex v[5] = {{0, 0, 0, 1, 0, 0, 0}, {0, 32, 0.5f, 1, c, 0, 0}, {0, 0, 0.5f, 1, c, 0, 0}, {32, 32, 0.5f, 1, c, 0, 0}, {32, 0, 0.5f, 1, c, 0, 0}};
  const DWORD idx[6] = {1, 2, 3, 3, 2, 4};
  dev->SetVertexShader(kTlFvf);
  ASSERT_EQ(dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 1, 4, 2, idx, D3DFMT_INDEX32, v, sizeof(TlVertex)), D3D_OK);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(1, 1), 255, 255, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(30, 30), 255, 255, 0, 0);
  // An index outside minIndex .. minIndex + numVertices - 1 is refused.
  const DWORD bad[3] = {1, 2, 5};
  EXPECT_EQ(dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 1, 4, 1, bad, D3DFMT_INDEX32, v, sizeof(TlVertex)),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 1, 4, 1, idx, D3DFMT_D16, v, sizeof(TlVertex)),
            D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, RenderToTextureThenSampleAndCopyBack) {
  IDirect3DTexture8* target = nullptr;
  ASSERT_EQ(dev->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target), D3D_OK);
  IDirect3DSurface8* level = nullptr;
  ASSERT_EQ(target->GetSurfaceLevel(0, &level), D3D_OK);
  IDirect3DSurface8 *mainTarget = nullptr, *mainDepth = nullptr;
  ASSERT_EQ(dev->GetRenderTarget(&mainTarget), D3D_OK);
  ASSERT_EQ(dev->GetDepthStencilSurface(&mainDepth), D3D_OK);
  // Render targets of the default pool cannot be locked.
  D3DLOCKED_RECT lr{};
  EXPECT_EQ(target->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);

  ASSERT_EQ(dev->SetRenderTarget(level, nullptr), D3D_OK);
  dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);  // keep the quad's alpha
  D3DVIEWPORT8 vp{};
  dev->GetViewport(&vp);
  EXPECT_EQ(vp.Width, 16u);
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(255, 0, 0, 255), 1, 0);
  DrawQuad(0, 0, 8, 16, D3DCOLOR_ARGB(200, 255, 0, 0));  // left half red
  ASSERT_EQ(dev->SetRenderTarget(mainTarget, mainDepth), D3D_OK);

  // Sample it over the whole screen with point filtering.
  dev->SetTexture(0, target);
  dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  DrawQuad(0, 0, kSize, kSize, 0xFFFFFFFF);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(4, 20), 255, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(24, 4), 0, 0, 255, 0);
  dev->SetTexture(0, nullptr);

  // Copy the target into a managed texture and read it on the CPU (BGRA in memory).
  IDirect3DTexture8* copy = nullptr;
  ASSERT_EQ(dev->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &copy), D3D_OK);
  IDirect3DSurface8* copyLevel = nullptr;
  copy->GetSurfaceLevel(0, &copyLevel);
  ASSERT_EQ(dev->CopyRects(level, nullptr, 0, copyLevel, nullptr), D3D_OK);
  ASSERT_EQ(copy->LockRect(0, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
  const DWORD* row = reinterpret_cast<const DWORD*>(static_cast<const std::uint8_t*>(lr.pBits) + 5 * lr.Pitch);
  EXPECT_EQ(row[2], D3DCOLOR_ARGB(200, 255, 0, 0));
  EXPECT_EQ(row[12], D3DCOLOR_ARGB(255, 0, 0, 255));
  copy->UnlockRect(0);
  // A partial copy to an offset.
  RECT src{8, 0, 12, 4};
  POINT at{0, 0};
  ASSERT_EQ(dev->CopyRects(level, &src, 1, copyLevel, &at), D3D_OK);
  copy->LockRect(0, &lr, nullptr, D3DLOCK_READONLY);
  EXPECT_EQ(static_cast<const DWORD*>(lr.pBits)[0], D3DCOLOR_ARGB(255, 0, 0, 255));
  copy->UnlockRect(0);
  RECT tooBig{0, 0, 17, 4};
  EXPECT_EQ(dev->CopyRects(level, &tooBig, 1, copyLevel, &at), D3DERR_INVALIDCALL);

  copyLevel->Release();
  copy->Release();
  level->Release();
  mainTarget->Release();
  mainDepth->Release();
  EXPECT_EQ(target->Release(), 0u);
}

// Managed textures hand their memory copy to GL at unlock; locking a level again reads it
// back exactly, in every format the program's pictures use, and a level written a second
// time draws what was written last.
TEST_F(DeviceTest, ManagedLevelsReadBackExactlyAfterGivingUpTheirMemory) {
  const D3DFORMAT formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5,
                               D3DFMT_A4R4G4B4, D3DFMT_L8,       D3DFMT_A8L8,   D3DFMT_DXT1,
                               D3DFMT_DXT3,     D3DFMT_DXT5};
  int tested = 0;
  for (D3DFORMAT format : formats) {
    SCOPED_TRACE(static_cast<int>(format));
    if (FAILED(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, format))) continue;
    ++tested;
    IDirect3DTexture8* tex = nullptr;
    ASSERT_EQ(dev->CreateTexture(16, 8, 0, 0, format, D3DPOOL_MANAGED, &tex), D3D_OK);
    std::vector<std::vector<std::uint8_t>> written;
    for (DWORD level = 0; level < tex->GetLevelCount(); ++level) {
      D3DSURFACE_DESC desc{};
      tex->GetLevelDesc(level, &desc);
      D3DLOCKED_RECT lr{};
      ASSERT_EQ(tex->LockRect(level, &lr, nullptr, 0), D3D_OK);
      std::vector<std::uint8_t> bytes(desc.Size);
      for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + level * 11 + 5);
      // X8 and DXT1's transparent blocks keep whatever bytes are stored, so any bytes round trip.
      std::memcpy(lr.pBits, bytes.data(), bytes.size());
      ASSERT_EQ(tex->UnlockRect(level), D3D_OK);
      written.push_back(bytes);
    }
    for (DWORD level = 0; level < tex->GetLevelCount(); ++level) {
      D3DLOCKED_RECT lr{};
      ASSERT_EQ(tex->LockRect(level, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
      EXPECT_EQ(std::memcmp(lr.pBits, written[level].data(), written[level].size()), 0) << "level " << level;
      tex->UnlockRect(level);
    }
    tex->Release();
  }
  EXPECT_GE(tested, 7) << "the uncompressed formats at least";

  // Written again after the hand-over: the draw shows the second picture, and the level
  // reads back as written.
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(dev->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex), D3D_OK);
  for (D3DCOLOR colour : {D3DCOLOR_ARGB(255, 255, 0, 0), D3DCOLOR_ARGB(255, 0, 255, 0), D3DCOLOR_ARGB(255, 0, 0, 255)}) {
    D3DLOCKED_RECT lr{};
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x)
        reinterpret_cast<DWORD*>(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x] = colour;
    tex->UnlockRect(0);
    dev->SetTexture(0, tex);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    DrawQuad(0, 0, kSize, kSize, 0xFFFFFFFF);
    Capture();
    EXPECT_PIXEL_NEAR(Pixel(10, 10), (colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF, 0);
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<const DWORD*>(lr.pBits)[5], colour);
    tex->UnlockRect(0);
  }
  dev->SetTexture(0, nullptr);
  EXPECT_EQ(tex->Release(), 0u);
}

TEST_F(DeviceTest, GammaRampIsAppliedAsLookupWhenPresenting) {
  D3DGAMMARAMP ramp{};
  dev->GetGammaRamp(&ramp);
  EXPECT_EQ(ramp.red[255], 65535);  // identity until set
  // The ramp of gamma setting 0: entry i = 56 i; an 8-bit display shows the top byte.
  for (int i = 0; i < 256; ++i) ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>(56 * i);
  // Blue uses the brightening branch of setting 200: entry 255 - v = 65355 - 106 v.
  for (int v = 255; v >= 0; --v) ramp.blue[255 - v] = static_cast<WORD>(65355 - 106 * v);
  dev->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(200, 100, 0), 1, 0);
  Capture();
  EXPECT_EQ(Pixel(3, 3).r, (56 * 200) >> 8);
  EXPECT_EQ(Pixel(3, 3).g, (56 * 100) >> 8);
  EXPECT_EQ(Pixel(3, 3).b, (65355 - 106 * 255) >> 8);
  // The back buffer itself is untouched: a copy of it keeps the drawn colour.
  IDirect3DSurface8* bb = nullptr;
  IDirect3DSurface8* image = nullptr;
  dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &bb);
  ASSERT_EQ(dev->CreateImageSurface(kSize, kSize, D3DFMT_X8R8G8B8, &image), D3D_OK);
  ASSERT_EQ(dev->CopyRects(bb, nullptr, 0, image, nullptr), D3D_OK);
  D3DLOCKED_RECT lr{};
  image->LockRect(&lr, nullptr, D3DLOCK_READONLY);
  EXPECT_EQ(static_cast<const DWORD*>(lr.pBits)[0] & 0xFFFFFF, 0xC86400u);
  image->UnlockRect();
  image->Release();
  bb->Release();
  for (int i = 0; i < 256; ++i) ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>(i * 257);
  dev->SetGammaRamp(0, &ramp);
}

TEST_F(DeviceTest, RedundantStateChangesNeverReachGl) {
  IDirect3DTexture8* tex = MakeTexture(2, 2, [](UINT, UINT) { return 0xFF808080u; });
  dev->SetTexture(0, tex);
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  DrawQuad(0, 0, 8, 8, 0xFFFFFFFF);
  DrawQuad(0, 0, 8, 8, 0xFFFFFFFF);
  const DeviceStats before = Stats();
  // The same values again, and a change that is undone before the next draw.
  for (int i = 0; i < 10; ++i) {
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetTexture(0, tex);
    dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
    dev->SetVertexShader(kTlFvf);
  }
  dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
  dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  dev->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  dev->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
  DrawQuad(0, 0, 8, 8, 0xFFFFFFFF);
  const DeviceStats after = Stats();
  EXPECT_EQ(after.drawCalls, before.drawCalls + 1);
  EXPECT_EQ(after.glStateChanges, before.glStateChanges);
  EXPECT_EQ(after.programBinds, before.programBinds);
  // A real change reaches GL.
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  DrawQuad(0, 0, 8, 8, 0xFFFFFFFF);
  EXPECT_GT(Stats().glStateChanges, after.glStateChanges);
  // Programs are cached per state key: switching back builds nothing new.
  const std::uint64_t built = Stats().programsBuilt;
  dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  DrawQuad(0, 0, 8, 8, 0xFFFFFFFF);
  dev->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  DrawQuad(0, 0, 8, 8, 0xFFFFFFFF);
  dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  DrawQuad(0, 0, 8, 8, 0xFFFFFFFF);
  EXPECT_LE(Stats().programsBuilt, built + 1);
  dev->SetTexture(0, nullptr);
  tex->Release();
}

TEST_F(DeviceTest, StreamingRingSurvivesWrapAround) {
  // 5 MB of quads: more than the ring holds, so it starts over at least once.
  const int quads = 5 * (1 << 20) / (4 * static_cast<int>(sizeof(TlVertex))) + 100;
  dev->SetVertexShader(kTlFvf);
  for (int i = 0; i < quads; ++i) {
    const float x = static_cast<float>(i % kSize);
    const D3DCOLOR c = D3DCOLOR_XRGB(i & 0xFF, (i >> 8) & 0xFF, 7);
    TlVertex q[4] = {{x, 1, 0.5f, 1, c, 0, 0}, {x, 0, 0.5f, 1, c, 0, 0}, {x + 1, 1, 0.5f, 1, c, 0, 0}, {x + 1, 0, 0.5f, 1, c, 0, 0}};
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(TlVertex)), D3D_OK);
  }
  Capture();
  // The last quad drawn at each column wins.
  for (int x = 0; x < static_cast<int>(kSize); ++x) {
    int last = quads - 1;
    while (last % static_cast<int>(kSize) != x) --last;
    EXPECT_PIXEL_NEAR(Pixel(x, 0), last & 0xFF, (last >> 8) & 0xFF, 7, 0) << "column " << x;
  }
}

TEST_F(DeviceTest, PresentedFrameWritesAsPng) {
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(1, 2, 3), 1, 0);
  DrawQuad(0, 0, 16, 8, D3DCOLOR_XRGB(250, 128, 0));
  Capture();
  char path[] = "/tmp/d3d8-png-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(WriteRgbaPng(path, frame, width, height), S_OK);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path));
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> back(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
  EXPECT_EQ(image.width, width);
  EXPECT_EQ(image.height, height);
  EXPECT_EQ(back, frame);
  std::remove(path);
  EXPECT_EQ(WriteRgbaPng("/nonexistent-dir/x.png", frame, width, height), E_FAIL);
  EXPECT_EQ(WriteRgbaPng(path, frame, width + 1, height), E_FAIL);
}

TEST_F(DeviceTest, LostAndResetCyclesReleaseNothingTwice) {
  IDirect3DTexture8* managed = MakeTexture(4, 4, [](UINT, UINT) { return 0xFFFFFFFFu; });
  const DeviceStats start = Stats();
  for (int cycle = 0; cycle < 3; ++cycle) {
    IDirect3DTexture8* rt = nullptr;
    ASSERT_EQ(dev->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &rt), D3D_OK);
    IDirect3DSurface8* depth = nullptr;
    ASSERT_EQ(dev->CreateDepthStencilSurface(8, 8, D3DFMT_D24X8, D3DMULTISAMPLE_NONE, &depth), D3D_OK);
    EXPECT_EQ(Stats().defaultPoolResources, 2u);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 255, 0), 1, 0);
    Capture();

    InjectCooperativeLevel(dev, D3DERR_DEVICELOST);
    EXPECT_EQ(dev->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    D3DPRESENT_PARAMETERS pp = params;
    EXPECT_EQ(dev->Reset(&pp), D3DERR_DEVICELOST);
    // Drawing on a lost device succeeds and changes nothing.
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 0, 0), 1, 0), D3D_OK);
    DrawQuad(0, 0, kSize, kSize, 0xFFFF0000);

    InjectCooperativeLevel(dev, D3DERR_DEVICENOTRESET);
    EXPECT_EQ(dev->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    // The default pool must be emptied first.
    EXPECT_EQ(dev->Reset(&pp), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(rt->Release(), 0u);
    EXPECT_EQ(depth->Release(), 0u);
    dev->SetRenderState(D3DRS_LIGHTING, TRUE);
    ASSERT_EQ(dev->Reset(&pp), D3D_OK);
    EXPECT_EQ(dev->TestCooperativeLevel(), D3D_OK);
    DWORD lighting = 0;
    dev->GetRenderState(D3DRS_LIGHTING, &lighting);
    EXPECT_EQ(lighting, static_cast<DWORD>(TRUE));  // states are back at their defaults

    // The managed texture survived and still draws.
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetTexture(0, managed);
    DrawQuad(0, 0, kSize, kSize, D3DCOLOR_XRGB(10, 20, 30));
    dev->SetTexture(0, nullptr);
    Capture();
    EXPECT_PIXEL_NEAR(Pixel(5, 5), 10, 20, 30, 0);
  }
  const DeviceStats end = Stats();
  EXPECT_EQ(end.liveResources, start.liveResources);
  EXPECT_EQ(end.defaultPoolResources, 0u);
  EXPECT_EQ(managed->Release(), 0u);
  EXPECT_EQ(Stats().liveResources, start.liveResources - 1);
}

TEST_F(DeviceTest, ResourcesKeepTheirOwnCountsAndDeviceLink) {
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(dev->CreateTexture(8, 4, 0, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &tex), D3D_OK);
  EXPECT_EQ(tex->GetLevelCount(), 4u);  // 8x4, 4x2, 2x1, 1x1
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(tex->GetLevelDesc(2, &desc), D3D_OK);
  EXPECT_EQ(desc.Width, 2u);
  EXPECT_EQ(desc.Height, 1u);
  EXPECT_EQ(desc.Format, D3DFMT_R5G6B5);
  EXPECT_EQ(tex->GetLevelDesc(4, &desc), D3DERR_INVALIDCALL);
  IDirect3DSurface8* s = nullptr;
  ASSERT_EQ(tex->GetSurfaceLevel(1, &s), D3D_OK);
  EXPECT_EQ(tex->AddRef(), 3u);  // the surface shares the texture's count
  tex->Release();
  IDirect3DDevice8* owner = nullptr;
  ASSERT_EQ(s->GetDevice(&owner), D3D_OK);
  EXPECT_EQ(owner, dev);
  owner->Release();
  s->Release();
  // Locks of a rectangle point into the level; a second lock of the same level is refused.
  D3DLOCKED_RECT lr{};
  RECT r{1, 1, 3, 2};
  ASSERT_EQ(tex->LockRect(0, &lr, &r, 0), D3D_OK);
  EXPECT_EQ(lr.Pitch, 16);
  D3DLOCKED_RECT again{};
  EXPECT_EQ(tex->LockRect(0, &again, nullptr, 0), D3DERR_INVALIDCALL);
  tex->UnlockRect(0);
  RECT outside{0, 0, 9, 1};
  EXPECT_EQ(tex->LockRect(0, &lr, &outside, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(tex->Release(), 0u);
  // Unsupported formats and usages fail cleanly.
  EXPECT_EQ(dev->CreateTexture(8, 8, 1, 0, D3DFMT_D24S8, D3DPOOL_MANAGED, &tex), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->CreateTexture(0, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex), D3DERR_INVALIDCALL);
}

TEST(Direct3DObject, AdaptersFormatsAndCapabilities) {
  IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  EXPECT_EQ(Direct3DCreate8(120), nullptr);
  ASSERT_GE(d3d->GetAdapterCount(), 1u);
  D3DADAPTER_IDENTIFIER8 id{};
  EXPECT_EQ(d3d->GetAdapterIdentifier(0, 0, &id), D3D_OK);
  EXPECT_GT(std::strlen(id.Description), 0u);
  const UINT modes = d3d->GetAdapterModeCount(0);
  ASSERT_GT(modes, 0u);
  D3DDISPLAYMODE m{};
  EXPECT_EQ(d3d->EnumAdapterModes(0, modes, &m), D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d->EnumAdapterModes(0, 0, &m), D3D_OK);
  EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &m), D3D_OK);
  EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE), D3D_OK);
  EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, FALSE), D3D_OK);
  EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R8G8B8, D3DFMT_R8G8B8, FALSE), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE), D3DERR_INVALIDCALL);
  for (D3DFORMAT depth : {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24S8}) {
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, depth),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, depth), D3D_OK);
  }
  EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                   D3DFMT_A8R8G8B8),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE, D3DMULTISAMPLE_NONE), D3D_OK);
  EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE,
                                            static_cast<D3DMULTISAMPLE_TYPE>(1)),
            D3DERR_INVALIDCALL);
  D3DCAPS8 caps{};
  ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
  EXPECT_GE(caps.MaxTextureWidth, 512u);
  EXPECT_GE(caps.MaxActiveLights, 2u);
  EXPECT_EQ(caps.MaxVertexBlendMatrices, 4u);
  EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_TLVERTEXSYSTEMMEMORY);
  EXPECT_GE(caps.VertexShaderVersion, D3DVS_VERSION(1, 0));
  EXPECT_EQ(d3d->Release(), 0u);
}

// Resources may outlive their device; their GL objects go with the last of them.
TEST(DeviceLifetime, ResourcesReleasedAfterTheDevice) {
  IDirect3D8* d3d = nullptr;
  IDirect3DDevice8* dev = nullptr;
  ASSERT_TRUE(CreateOffscreenDevice(16, 16, D3DMULTISAMPLE_NONE, false, &d3d, &dev));
  IDirect3DTexture8* tex = nullptr;
  IDirect3DVertexBuffer8* vb = nullptr;
  ASSERT_EQ(dev->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex), D3D_OK);
  ASSERT_EQ(dev->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb), D3D_OK);
  dev->SetTexture(0, tex);
  EXPECT_EQ(dev->Release(), 0u);
  IDirect3DDevice8* gone = nullptr;
  EXPECT_EQ(tex->GetDevice(&gone), D3DERR_INVALIDCALL);
  D3DLOCKED_RECT lr{};
  EXPECT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
  EXPECT_EQ(tex->UnlockRect(0), D3D_OK);
  EXPECT_EQ(tex->Release(), 0u);
  EXPECT_EQ(vb->Release(), 0u);
  EXPECT_EQ(d3d->Release(), 0u);
}

// Multisampling: what GL offers is reported, higher requests fall back, and Present resolves.
TEST(Multisample, FallsBackToSupportedCountAndResolvesEdges) {
  IDirect3D8* d3d = nullptr;
  IDirect3DDevice8* dev = nullptr;
  ASSERT_TRUE(CreateOffscreenDevice(32, 32, D3DMULTISAMPLE_16_SAMPLES, true, &d3d, &dev));
  UINT best = 0;
  for (UINT n = 2; n <= 16; ++n)
    if (d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE,
                                        static_cast<D3DMULTISAMPLE_TYPE>(n)) == D3D_OK)
      best = n;
  DeviceStats stats{};
  GetDeviceStats(dev, &stats);
  EXPECT_EQ(stats.samples, best);
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1, 0);
  const D3DCOLOR c = 0xFFFFFFFF;
  // Pixel centres lie on integer coordinates: start off-screen so that only the diagonal is an edge.
  TlVertex tri[3] = {{-4, -4, 0.5f, 1, c, 0, 0}, {36, -4, 0.5f, 1, c, 0, 0}, {-4, 36, 0.5f, 1, c, 0, 0}};
  dev->SetVertexShader(kTlFvf);
  dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(TlVertex));
  ASSERT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  std::vector<std::uint8_t> rgba;
  UINT w = 0, h = 0;
  ASSERT_EQ(ReadPresentedFrame(dev, rgba, w, h), D3D_OK);
  int partial = 0;
  for (UINT y = 0; y < h; ++y)
    for (UINT x = 0; x < w; ++x) {
      const int v = rgba[(y * w + x) * 4];
      if (x + y < 30) {
        EXPECT_EQ(v, 255);
      }
      if (x + y > 33) {
        EXPECT_EQ(v, 0);
      }
      if (v > 0 && v < 255) ++partial;
    }
  // Along the diagonal, a multisampled edge has coverage between none and full.
  if (best > 0) {
    EXPECT_GT(partial, 10);
  } else {
    EXPECT_EQ(partial, 0);
  }
  EXPECT_EQ(dev->Release(), 0u);
  EXPECT_EQ(d3d->Release(), 0u);
}

}  // namespace
}  // namespace d3d8test
