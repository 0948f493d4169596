// Start-up phases on the real scene media (the build's archive 469): device creation, the
// room model's parse, the pictures' decoding (the loading worker's share) and the textures'
// creation on the main thread, with and without levels prepared ahead. The whole start is
// measured by `hoardel3d --capture DIR --frames 3 --size 1280x720 --stats`.
#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/archive_reader.h"
#include "media/archive_walk.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_texture.h"
#include "platform/d3dx/prepared_images.h"
#include "platform/xfile/xfile.h"

using namespace d3d8;

namespace {

struct Member {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

// Every member of the archive, unpacked once.
const std::vector<Member>& Members() {
  static const std::vector<Member> members = [] {
    const char* path = std::getenv("STARTUP_BENCH_ARCHIVE");
    std::ifstream in(path && *path ? path : STARTUP_BENCH_DEFAULT_ARCHIVE, std::ios::binary);
    const std::vector<std::uint8_t> archive((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Member> out;
    media::WalkArchive(archive.data(), static_cast<std::uint32_t>(archive.size()), true,
                       [&out](const media::WalkedMember& m) {
                         if (m.status == media::MemberStatus::kOk) out.push_back({m.block.name, {m.data, m.data + m.size}});
                       });
    if (out.empty()) {
      std::fprintf(stderr, "no archive: set STARTUP_BENCH_ARCHIVE to the build's media/469.rar\n");
      std::exit(1);
    }
    return out;
  }();
  return members;
}

bool IsPicture(const std::string& name) {
  std::string ext = name.size() >= 4 ? name.substr(name.size() - 4) : "";
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".jpg" || ext == ".png" || ext == ".bmp" || ext == ".tga";
}

struct Device {
  IDirect3D8* d3d = nullptr;
  IDirect3DDevice8* dev = nullptr;
  Device() {
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 1280;
    pp.BackBufferHeight = 720;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    if (!d3d || FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev)))
      dev = nullptr;
  }
  ~Device() {
    if (dev) dev->Release();
    if (d3d) d3d->Release();
  }
};

// Direct3D object and a 1280 x 720 offscreen device (the driver itself loads in the first
// iteration only).
void BM_DeviceCreation(benchmark::State& state) {
  for (auto _ : state) {
    Device d;
    if (!d.dev) state.SkipWithError("no device");
  }
}
BENCHMARK(BM_DeviceCreation)->Unit(benchmark::kMillisecond);

// The room model's parse, as the loader does it (standard templates registered first).
void BM_RoomModelParse(benchmark::State& state) {
  const Member* room = nullptr;
  for (const Member& m : Members())
    if (m.name == "gildmoor_room.X") room = &m;
  if (!room) return state.SkipWithError("no room model");
  xfile::DWORD n = 0;
  const xfile::BYTE* templates = xfile::StandardTemplates(&n);
  for (auto _ : state) {
    xfile::IDirectXFile* file = nullptr;
    xfile::DirectXFileCreate(&file);
    file->RegisterTemplates(templates, n);
    xfile::DXFILELOADMEMORY mem{room->bytes.data(), static_cast<xfile::DWORD>(room->bytes.size())};
    xfile::IDirectXFileEnumObject* en = nullptr;
    if (file->CreateEnumObject(&mem, xfile::DXFILELOAD_FROMMEMORY, &en) < 0) state.SkipWithError("parse failed");
    if (en) en->Release();
    file->Release();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * room->bytes.size()));
}
BENCHMARK(BM_RoomModelParse)->Unit(benchmark::kMillisecond);

// Decoding every picture into the levels of its texture: the loading worker's share.
void BM_ScenePicturesPrepare(benchmark::State& state) {
  int pictures = 0;
  for (auto _ : state) {
    d3dx::StartPreparingImages(SIZE_MAX);  // all prepared on this thread
    pictures = 0;
    for (const Member& m : Members())
      if (IsPicture(m.name)) {
        d3dx::PrepareImageAhead(m.bytes.data(), m.bytes.size());
        ++pictures;
      }
    d3dx::StopPreparingImages();
    d3dx::DropPreparedImages();
  }
  state.counters["pictures"] = pictures;
}
BENCHMARK(BM_ScenePicturesPrepare)->Unit(benchmark::kMillisecond);

// Making every picture's texture on the device: from the file (decode, filter, write, upload)
// or from levels prepared ahead (write and upload only), the main thread's share.
void BM_SceneTexturesCreate(benchmark::State& state) {
  const bool prepared = state.range(0) != 0;
  Device d;
  if (!d.dev) return state.SkipWithError("no device");
  for (auto _ : state) {
    if (prepared) {
      state.PauseTiming();
      d3dx::StartPreparingImages(SIZE_MAX);  // all prepared on this thread
      for (const Member& m : Members())
        if (IsPicture(m.name)) d3dx::PrepareImageAhead(m.bytes.data(), m.bytes.size());
      state.ResumeTiming();
    }
    for (const Member& m : Members()) {
      if (!IsPicture(m.name)) continue;
      IDirect3DTexture8* t = nullptr;
      if (FAILED(d3dx::D3DXCreateTextureFromFileInMemory(d.dev, m.bytes.data(), static_cast<UINT>(m.bytes.size()), &t)))
        state.SkipWithError("texture failed");
      else
        t->Release();
    }
    if (prepared) {
      d3dx::StopPreparingImages();
      d3dx::DropPreparedImages();
    }
  }
  state.SetLabel(prepared ? "levels prepared ahead" : "from the files");
}
BENCHMARK(BM_SceneTexturesCreate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
