#include "platform/d3dx/d3dx_texture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "fake_device.h"
#include "platform/d3dx/prepared_images.h"
#include "image_builders.h"

using namespace d3dx;
using namespace d3dx_test;

namespace {

IDirect3DTexture8* const kUntouched = reinterpret_cast<IDirect3DTexture8*>(std::uintptr_t{0x1234});

struct Created {
  HRESULT hr;
  FakeTexture* tex;
};

Created FromMemory(FakeDevice& dev, const Bytes& file) {
  IDirect3DTexture8* tex = nullptr;
  const HRESULT hr = D3DXCreateTextureFromFileInMemory(&dev, file.data(), static_cast<UINT>(file.size()), &tex);
  return {hr, static_cast<FakeTexture*>(tex)};
}

Created FromMemoryEx(FakeDevice& dev, const Bytes& file, UINT w, UINT h, UINT mips, D3DFORMAT format,
                     D3DPOOL pool = d3d8::D3DPOOL_MANAGED, DWORD filter = D3DX_DEFAULT, D3DCOLOR key = 0,
                     D3DXIMAGE_INFO* info = nullptr) {
  IDirect3DTexture8* tex = nullptr;
  const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(&dev, file.data(), static_cast<UINT>(file.size()), w, h, mips,
                                                         0, format, pool, filter, D3DX_DEFAULT, key, info, nullptr,
                                                         &tex);
  return {hr, static_cast<FakeTexture*>(tex)};
}

std::uint32_t Xrgb(const Bytes& rgba, std::uint32_t w, std::uint32_t x, std::uint32_t y) {
  const std::uint8_t* p = &rgba[(y * w + x) * 4];
  return 0xFF000000u | (p[0] << 16) | (p[1] << 8) | p[2];
}

}  // namespace

TEST(D3DXTextureTest, FileInMemoryKeepsSizeAndBuildsBoxFilteredChain) {
  FakeDevice dev;
  const Bytes pixels = Pattern(4, 4, false);
  Created c = FromMemory(dev, MakeBmp(4, 4, pixels, 24, false));
  ASSERT_EQ(0, c.hr);
  ASSERT_EQ(1u, dev.calls.size());
  EXPECT_EQ(4u, dev.calls[0].width);
  EXPECT_EQ(4u, dev.calls[0].height);
  EXPECT_EQ(3u, dev.calls[0].levels);  // 4, 2, 1
  EXPECT_EQ(d3d8::D3DFMT_X8R8G8B8, dev.calls[0].format);
  EXPECT_EQ(d3d8::D3DPOOL_MANAGED, dev.calls[0].pool);
  EXPECT_EQ(2u, c.tex->Refs());  // the caller's and the device double's

  for (std::uint32_t y = 0; y < 4; ++y)
    for (std::uint32_t x = 0; x < 4; ++x) EXPECT_EQ(Xrgb(pixels, 4, x, y), c.tex->Pixel(0, x, y)) << x << "," << y;
  // Level 1 (0,0): mean of (10,200,60) (50,201,67) (13,170,67) (53,171,74) = (31.5, 185.5, 67).
  EXPECT_EQ(0xFF20BA43u, c.tex->Pixel(1, 0, 0));
  // Level 2: mean of level 1's red values 32, 112, 38, 118.
  EXPECT_EQ(75u, (c.tex->Pixel(2, 0, 0) >> 16) & 0xFF);
  for (DWORD i = 0; i < c.tex->GetLevelCount(); ++i) {
    EXPECT_EQ(1, c.tex->LevelAt(i).locks);
    EXPECT_FALSE(c.tex->LevelAt(i).locked);
  }
  // Row padding of the locked surface is left alone.
  EXPECT_EQ(0xCD, c.tex->LevelAt(0).bits[4 * 4]);
  c.tex->Release();
}

TEST(D3DXTextureTest, DefaultSizeRoundsUpToPowersOfTwoAndReportsTheFile) {
  FakeDevice dev;
  const Bytes pixels = Pattern(3, 5);
  D3DXIMAGE_INFO info{};
  Created c = FromMemoryEx(dev, MakeTga(3, 5, pixels, 32, true, false), D3DX_DEFAULT, 0, D3DX_DEFAULT,
                           d3d8::D3DFMT_UNKNOWN, d3d8::D3DPOOL_MANAGED, D3DX_DEFAULT, 0, &info);
  ASSERT_EQ(0, c.hr);
  EXPECT_EQ(4u, dev.calls[0].width);
  EXPECT_EQ(8u, dev.calls[0].height);
  EXPECT_EQ(4u, dev.calls[0].levels);
  EXPECT_EQ(d3d8::D3DFMT_A8R8G8B8, dev.calls[0].format);
  EXPECT_EQ(3u, info.Width);
  EXPECT_EQ(5u, info.Height);
  EXPECT_EQ(1u, info.Depth);
  EXPECT_EQ(1u, info.MipLevels);
  EXPECT_EQ(d3d8::D3DFMT_A8R8G8B8, info.Format);
  EXPECT_EQ(d3d8::D3DRTYPE_TEXTURE, info.ResourceType);
  EXPECT_EQ(D3DXIFF_TGA, info.ImageFileFormat);
  // The first target texel covers only part of the first source texel: area filtering keeps it.
  const std::uint8_t* p = &pixels[0];
  EXPECT_EQ(static_cast<std::uint32_t>((p[3] << 24) | (p[0] << 16) | (p[1] << 8) | p[2]), c.tex->Pixel(0, 0, 0));
  c.tex->Release();
}

TEST(D3DXTextureTest, ExplicitSizeFormatLevelsAndPointFilter) {
  FakeDevice dev;
  Created c = FromMemoryEx(dev, MakeBmp(4, 4, Pattern(4, 4, false), 24, true), 2, 2, 1, d3d8::D3DFMT_R5G6B5,
                           d3d8::D3DPOOL_MANAGED, D3DX_FILTER_POINT);
  ASSERT_EQ(0, c.hr);
  EXPECT_EQ(2u, dev.calls[0].width);
  EXPECT_EQ(1u, dev.calls[0].levels);
  EXPECT_EQ(d3d8::D3DFMT_R5G6B5, dev.calls[0].format);
  // Point sampling picks source (1,1) = (53,171,74) -> 5:6:5 (6, 42, 9).
  EXPECT_EQ(0x3549u, c.tex->Pixel(0, 0, 0));
  c.tex->Release();
}

TEST(D3DXTextureTest, NearestAcceptedFormatIsChosen) {
  FakeDevice dev;
  dev.accepted.erase(d3d8::D3DFMT_A8R8G8B8);
  Created c = FromMemory(dev, MakeTga(2, 2, Pattern(2, 2), 32, true, false));
  ASSERT_EQ(0, c.hr);
  EXPECT_EQ(d3d8::D3DFMT_A4R4G4B4, dev.calls.back().format);  // keeps alpha
  c.tex->Release();

  dev.accepted.erase(d3d8::D3DFMT_X8R8G8B8);
  c = FromMemory(dev, MakeJpeg(8, 8, Pattern(8, 8, false), 90));
  ASSERT_EQ(0, c.hr);
  EXPECT_EQ(d3d8::D3DFMT_R5G6B5, dev.calls.back().format);
  c.tex->Release();
}

TEST(D3DXTextureTest, SizeRulesFollowTheCaps) {
  FakeDevice dev;
  UINT w = 3, h = 3, levels = 0;
  D3DFORMAT f = d3d8::D3DFMT_UNKNOWN;
  ASSERT_EQ(0, D3DXCheckTextureRequirements(&dev, &w, &h, &levels, 0, &f, d3d8::D3DPOOL_MANAGED));
  EXPECT_EQ(3u, w);  // no POW2 cap: explicit sizes stay
  EXPECT_EQ(2u, levels);
  EXPECT_EQ(d3d8::D3DFMT_A8R8G8B8, f);

  dev.caps.TextureCaps |= D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY;
  w = 8, h = 2, levels = 1;
  ASSERT_EQ(0, D3DXCheckTextureRequirements(&dev, &w, &h, &levels, 0, nullptr, d3d8::D3DPOOL_MANAGED));
  EXPECT_EQ(8u, w);
  EXPECT_EQ(8u, h);
  EXPECT_EQ(1u, levels);

  dev.caps.TextureCaps = 0;  // no mipmaps at all
  dev.caps.MaxTextureWidth = 256;
  dev.caps.MaxTextureHeight = 128;
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(0, D3DXCreateTexture(&dev, 1024, 512, 0, 0, d3d8::D3DFMT_UNKNOWN, d3d8::D3DPOOL_MANAGED, &tex));
  EXPECT_EQ(256u, dev.calls.back().width);
  EXPECT_EQ(128u, dev.calls.back().height);
  EXPECT_EQ(1u, dev.calls.back().levels);
  tex->Release();

  dev.caps.TextureCaps = D3DPTEXTURECAPS_MIPMAP;
  dev.caps.MaxTextureWidth = dev.caps.MaxTextureHeight = 4096;
  ASSERT_EQ(0, D3DXCreateTexture(&dev, 0, D3DX_DEFAULT, 0, 0, d3d8::D3DFMT_UNKNOWN, d3d8::D3DPOOL_MANAGED, &tex));
  EXPECT_EQ(256u, dev.calls.back().width);
  EXPECT_EQ(256u, dev.calls.back().height);
  EXPECT_EQ(9u, dev.calls.back().levels);
  EXPECT_EQ(d3d8::D3DFMT_A8R8G8B8, dev.calls.back().format);
  tex->Release();
}

TEST(D3DXTextureTest, ColourKeyBecomesTransparentBlack) {
  FakeDevice dev;
  Bytes pixels = Pattern(2, 2, false);
  pixels[0] = pixels[1] = pixels[2] = 0;  // (0,0) black
  Created c = FromMemoryEx(dev, MakeBmp(2, 2, pixels, 24, true), 0, 0, 1, d3d8::D3DFMT_UNKNOWN,
                           d3d8::D3DPOOL_MANAGED, D3DX_FILTER_NONE, 0xFF000000u);
  ASSERT_EQ(0, c.hr);
  EXPECT_EQ(d3d8::D3DFMT_A8R8G8B8, dev.calls.back().format);  // keying gives the image alpha
  EXPECT_EQ(0u, c.tex->Pixel(0, 0, 0));
  EXPECT_EQ(Xrgb(pixels, 2, 1, 0), c.tex->Pixel(0, 1, 0));
  c.tex->Release();

  // A key that matches nothing leaves an opaque image in its own format.
  c = FromMemoryEx(dev, MakeBmp(2, 2, pixels, 24, true), 0, 0, 1, d3d8::D3DFMT_UNKNOWN, d3d8::D3DPOOL_MANAGED,
                   D3DX_DEFAULT, 0xFF123456u);
  ASSERT_EQ(0, c.hr);
  EXPECT_EQ(d3d8::D3DFMT_X8R8G8B8, dev.calls.back().format);
  c.tex->Release();
}

TEST(D3DXTextureTest, DamagedDataAndDeviceFailuresLeaveNothingBehind) {
  FakeDevice dev;
  Bytes png = MakePng(4, 4, Pattern(4, 4), true);
  png.resize(png.size() / 2);
  IDirect3DTexture8* tex = kUntouched;
  EXPECT_EQ(D3DXERR_INVALIDDATA, D3DXCreateTextureFromFileInMemory(&dev, png.data(), static_cast<UINT>(png.size()), &tex));
  EXPECT_EQ(kUntouched, tex);
  EXPECT_TRUE(dev.calls.empty());

  // The device refuses once (out of video memory): the code is passed on; a retry works.
  const Bytes jpg = MakeJpeg(16, 16, Pattern(16, 16, false), 80);
  dev.failCreates = 1;
  EXPECT_EQ(d3d8::D3DERR_OUTOFVIDEOMEMORY,
            D3DXCreateTextureFromFileInMemory(&dev, jpg.data(), static_cast<UINT>(jpg.size()), &tex));
  EXPECT_EQ(kUntouched, tex);
  EXPECT_EQ(0, dev.liveTextures);
  Created c = FromMemoryEx(dev, jpg, 8, 8, 0, d3d8::D3DFMT_R5G6B5);
  ASSERT_EQ(0, c.hr);
  EXPECT_EQ(8u, dev.calls.back().width);
  c.tex->Release();

  EXPECT_EQ(d3d8::D3DERR_INVALIDCALL, D3DXCreateTextureFromFileInMemory(nullptr, jpg.data(), 10, &tex));
  EXPECT_EQ(d3d8::D3DERR_INVALIDCALL, D3DXCreateTextureFromFileInMemory(&dev, jpg.data(), 0, &tex));
  EXPECT_EQ(d3d8::D3DERR_INVALIDCALL, FromMemoryEx(dev, jpg, 0, 0, 0, d3d8::D3DFMT_UNKNOWN, d3d8::D3DPOOL_MANAGED,
                                                   7 /* no such filter */).hr);
}

TEST(D3DXTextureTest, DefaultPoolIsFilledThroughSystemMemory) {
  FakeDevice dev;
  const Bytes pixels = Pattern(2, 2, false);
  Created c = FromMemoryEx(dev, MakeBmp(2, 2, pixels, 32, false), 0, 0, 0, d3d8::D3DFMT_UNKNOWN,
                           d3d8::D3DPOOL_DEFAULT);
  ASSERT_EQ(0, c.hr);
  ASSERT_EQ(2u, dev.calls.size());
  EXPECT_EQ(d3d8::D3DPOOL_DEFAULT, dev.calls[0].pool);
  EXPECT_EQ(d3d8::D3DPOOL_SYSTEMMEM, dev.calls[1].pool);
  EXPECT_EQ(1, dev.updates);
  EXPECT_EQ(d3d8::D3DPOOL_DEFAULT, c.tex->Pool());
  EXPECT_EQ(1u, dev.textures[1]->Refs());  // the staging copy was released
  EXPECT_EQ(Xrgb(pixels, 2, 1, 1), c.tex->Pixel(0, 1, 1));
  c.tex->Release();
}

TEST(D3DXTextureTest, DxtFilesKeepTheirBlocksOrAreDecompressed) {
  Bytes blocks;
  for (int level = 0; level < 4; ++level) {
    const int count = level == 0 ? 4 : 1;  // 8x8, 4x4, 2x2, 1x1
    for (int b = 0; b < count; ++b) {
      const Bytes block = {0x00, 0xF8, 0x1F, 0x00, static_cast<std::uint8_t>(0x1B * (level + 1)), 0x55, 0xAA,
                           static_cast<std::uint8_t>(b)};
      blocks.insert(blocks.end(), block.begin(), block.end());
    }
  }
  const Bytes dds = MakeDdsDxt(8, 8, "DXT1", blocks, 4);
  FakeDevice dev;
  Created c = FromMemory(dev, dds);
  ASSERT_EQ(0, c.hr);
  EXPECT_EQ(d3d8::D3DFMT_DXT1, dev.calls[0].format);
  ASSERT_EQ(4u, c.tex->GetLevelCount());
  EXPECT_EQ(Bytes(blocks.begin(), blocks.begin() + 32), c.tex->LevelAt(0).bits);
  EXPECT_EQ(Bytes(blocks.begin() + 48, blocks.begin() + 56), c.tex->LevelAt(3).bits);
  c.tex->Release();

  dev.accepted.erase(d3d8::D3DFMT_DXT1);
  c = FromMemory(dev, dds);
  ASSERT_EQ(0, c.hr);
  EXPECT_EQ(d3d8::D3DFMT_A8R8G8B8, dev.calls.back().format);
  // Texel (0,0) of the first block uses index 3 (0x1B = 0b00011011): a third of the way to red.
  EXPECT_EQ(0xFF5500AAu, c.tex->Pixel(0, 0, 0));
  c.tex->Release();
}

TEST(D3DXTextureTest, RequestedDxtFormatIsCompressedHere) {
  FakeDevice dev;
  Bytes flat(8 * 8 * 4);
  for (std::size_t i = 0; i < flat.size(); i += 4) flat[i] = 255, flat[i + 1] = 0, flat[i + 2] = 255, flat[i + 3] = 128;
  Created c = FromMemoryEx(dev, MakeTga(8, 8, flat, 32, true, false), 0, 0, 0, d3d8::D3DFMT_DXT5);
  ASSERT_EQ(0, c.hr);
  EXPECT_EQ(d3d8::D3DFMT_DXT5, dev.calls[0].format);
  Bytes back(8 * 8 * 4);
  DecompressDxt(d3d8::D3DFMT_DXT5, c.tex->LevelAt(0).bits.data(), 8, 8, back.data());
  EXPECT_EQ(flat, back);
  c.tex->Release();
}

TEST(D3DXTextureTest, FromFilesOnDisk) {
  char dir[] = "/tmp/d3dx_texXXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  const std::string path = std::string(dir) + "/tex.tga";
  const Bytes file = MakeTga(2, 2, Pattern(2, 2), 32, false, true);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(nullptr, f);
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);

  FakeDevice dev;
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(0, D3DXCreateTextureFromFileA(&dev, path.c_str(), &tex));
  tex->Release();
  // Windows separators, as model files name their textures.
  const std::string windowsPath = std::string(dir) + "\\tex.tga";
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(0, D3DXCreateTextureFromFileExA(&dev, windowsPath.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                            d3d8::D3DFMT_UNKNOWN, d3d8::D3DPOOL_MANAGED, 0x70004, 0x70004, 0, &info,
                                            nullptr, &tex));
  EXPECT_EQ(D3DXIFF_TGA, info.ImageFileFormat);
  tex->Release();

  tex = kUntouched;
  EXPECT_EQ(D3DXERR_INVALIDDATA, D3DXCreateTextureFromFileA(&dev, (std::string(dir) + "/none.tga").c_str(), &tex));
  EXPECT_EQ(d3d8::D3DERR_INVALIDCALL, D3DXCreateTextureFromFileA(&dev, "", &tex));
  EXPECT_EQ(kUntouched, tex);
  std::remove(path.c_str());
  rmdir(dir);
}

TEST(D3DXTextureTest, FilterTextureRebuildsLowerLevels) {
  FakeDevice dev;
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(0, D3DXCreateTexture(&dev, 2, 2, 0, 0, d3d8::D3DFMT_A8R8G8B8, d3d8::D3DPOOL_MANAGED, &tex));
  auto* fake = static_cast<FakeTexture*>(tex);
  ASSERT_EQ(2u, fake->GetLevelCount());
  d3d8::D3DLOCKED_RECT locked{};
  ASSERT_EQ(0, tex->LockRect(0, &locked, nullptr, 0));
  const std::uint32_t texels[4] = {0xFF000000u, 0xFF0000FFu, 0x00FF0000u, 0x8000FF00u};
  for (int i = 0; i < 4; ++i)
    std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + (i / 2) * locked.Pitch + (i % 2) * 4, &texels[i], 4);
  tex->UnlockRect(0);
  ASSERT_EQ(0, D3DXFilterTexture(tex, nullptr, 0, D3DX_DEFAULT));
  // Means: a (255+255+0+128)/4 = 159.5, r 63.75, g 63.75, b 63.75.
  EXPECT_EQ(0xA0404040u, fake->Pixel(1, 0, 0));
  EXPECT_EQ(d3d8::D3DERR_INVALIDCALL, D3DXFilterTexture(tex, nullptr, 5, D3DX_DEFAULT));
  tex->Release();
}

// Levels prepared ahead on a worker must make exactly the texture a direct call makes, and a
// device whose texture turns out different must still get its own.
TEST(D3DXTextureTest, PreparedAheadMakesTheSameTextureAndFallsBackWhenTheDeviceDiffers) {
  const Bytes files[] = {MakePng(6, 3, Pattern(6, 3, true), true), MakeJpeg(40, 24, Pattern(40, 24, false), 90),
                         MakeBmp(5, 7, Pattern(5, 7, false), 24, false)};
  auto same = [](FakeTexture* a, FakeTexture* b) {
    if (a->GetLevelCount() != b->GetLevelCount() || a->Format() != b->Format()) return false;
    for (DWORD i = 0; i < a->GetLevelCount(); ++i)
      if (a->LevelAt(i).bits != b->LevelAt(i).bits) return false;
    return true;
  };
  for (const Bytes& file : files) {
    FakeDevice direct, ahead;
    Created want = FromMemory(direct, file);
    ASSERT_EQ(0, want.hr);
    StartPreparingImages();
    // Prepared on another thread while the creation call may already wait for it.
    std::thread worker([&file] { PrepareImageAhead(file.data(), file.size()); });
    Created got = FromMemory(ahead, file);
    worker.join();
    ASSERT_EQ(0, got.hr);
    EXPECT_TRUE(same(want.tex, got.tex));
    // Taken once: a second call decodes again, to the same texture.
    Created again = FromMemory(ahead, file);
    ASSERT_EQ(0, again.hr);
    EXPECT_TRUE(same(want.tex, again.tex));

    // A device that cannot make the prepared size gets a texture fitted to it.
    FakeDevice small, smallAhead;
    small.caps.MaxTextureWidth = small.caps.MaxTextureHeight = 4;
    smallAhead.caps = small.caps;
    Created fitted = FromMemory(small, file);
    PrepareImageAhead(file.data(), file.size());
    Created fittedAhead = FromMemory(smallAhead, file);
    ASSERT_EQ(0, fittedAhead.hr);
    EXPECT_EQ(4u, smallAhead.calls.back().width);
    EXPECT_TRUE(same(fitted.tex, fittedAhead.tex));
    DropPreparedImages();
    for (Created* c : {&want, &got, &again, &fitted, &fittedAhead}) c->tex->Release();
  }
}
