// Load time of .X models: the largest third-party test model in its own (text) form and
// compressed, and a generated room-sized model (150 framed meshes, ~50k triangles, one
// skinned mesh, 133 two-key matrix animations) in the compressed binary form.
#include <benchmark/benchmark.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "platform/xfile/xfile_writer.h"
#include "model/model_file.h"

namespace {

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

const std::vector<std::uint8_t>& Tiny() {
  static const std::vector<std::uint8_t> bytes = ReadFile(std::string(HOARDEL_TESTDATA_DIR) + "/x/tiny.x");
  return bytes;
}

const std::vector<std::uint8_t>& TinyCompressed() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> out;
    xfile::ConvertFile(Tiny().data(), static_cast<xfile::DWORD>(Tiny().size()), xfile::SaveFormat::CompressedBinary,
                       &out);
    return out;
  }();
  return bytes;
}

// A grid of (n x n) quads, 2n^2 triangles, at an offset.
xfile::MeshDesc Grid(int n, float x0, float z0, const std::string& texture) {
  xfile::MeshDesc d;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      float x = x0 + static_cast<float>(i), z = z0 + static_cast<float>(j);
      d.positions.insert(d.positions.end(), {x, 0.3f * std::sin(x * 0.7f + z), z});
      d.normals.insert(d.normals.end(), {0, 1, 0});
      d.texcoords.insert(d.texcoords.end(), {static_cast<float>(i) / n, static_cast<float>(j) / n});
    }
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      std::uint32_t a = static_cast<std::uint32_t>(j * (n + 1) + i), b = a + 1, c = a + static_cast<std::uint32_t>(n) + 1,
                    e = c + 1;
      d.faces.push_back({a, c, b});
      d.faces.push_back({b, c, e});
    }
  xfile::MaterialDesc m;
  m.textureFile = texture;
  d.materials = {m};
  return d;
}

const std::vector<std::uint8_t>& Room() {
  static const std::vector<std::uint8_t> bytes = [] {
    const float id[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    xfile::Writer w;
    xfile::WriteObject& root = w.AddFrame("Scene_Root", id);
    for (int f = 0; f < 150; ++f) {
      std::string name = "object" + std::to_string(f);
      xfile::WriteObject& frame = xfile::Writer::AddFrame(root, name, id);
      xfile::MeshDesc g = Grid(13, static_cast<float>(f % 15) * 14, static_cast<float>(f / 15) * 14, name + ".jpg");
      g.name = name + "Mesh";
      xfile::WriteMesh(frame, g);
    }
    // A skinned mesh over ten bone frames.
    xfile::WriteObject& draco = xfile::Writer::AddFrame(root, "Draco", id);
    xfile::MeshDesc s = Grid(20, 0, 0, "draco.jpg");
    for (int b = 0; b < 10; ++b) {
      xfile::Writer::AddFrame(root, "Bone0" + std::to_string(b), id);
      xfile::SkinWeightsDesc sw;
      sw.boneName = "Bone0" + std::to_string(b);
      for (std::uint32_t v = 0; v < s.positions.size() / 3; ++v) {
        float x = s.positions[v * 3];
        float w0 = std::max(0.0f, 1.0f - std::fabs(x / 2.0f - static_cast<float>(b)));
        if (w0 > 0) {
          sw.vertices.push_back(v);
          sw.weights.push_back(w0);
        }
      }
      s.skin.push_back(sw);
    }
    xfile::WriteMesh(draco, s);
    xfile::WriteObject& set = w.Add("AnimationSet", "Anim-00");
    xfile::MatrixKeyDesc k{0, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    xfile::MatrixKeyDesc k2 = k;
    k2.time = 16160;
    for (int a = 0; a < 133; ++a) xfile::WriteMatrixAnimation(set, "object" + std::to_string(a), {k, k2});
    std::vector<std::uint8_t> out;
    w.Save(xfile::SaveFormat::CompressedBinary, &out);
    return out;
  }();
  return bytes;
}

void Load(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
  std::size_t faces = 0;
  for (auto _ : state) {
    scene::ModelFile model;
    if (model.LoadFromMemory(bytes.data(), static_cast<scene::DWORD>(bytes.size())) < 0) {
      state.SkipWithError("load failed");
      return;
    }
    benchmark::DoNotOptimize(model.ModelRadius());
  }
  (void)faces;
  state.counters["bytes"] = static_cast<double>(bytes.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void Parse(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
  for (auto _ : state) {
    xfile::IDirectXFile* file = nullptr;
    xfile::DirectXFileCreate(&file);
    xfile::DXFILELOADMEMORY mem{bytes.data(), static_cast<xfile::DWORD>(bytes.size())};
    xfile::IDirectXFileEnumObject* en = nullptr;
    file->CreateEnumObject(&mem, xfile::DXFILELOAD_FROMMEMORY, &en);
    xfile::IDirectXFileData* d = nullptr;
    while (en && en->GetNextDataObject(&d) >= 0) d->Release();
    if (en) en->Release();
    file->Release();
  }
}

void BM_LoadTinyText(benchmark::State& s) { Load(s, Tiny()); }
void BM_LoadTinyCompressedBinary(benchmark::State& s) { Load(s, TinyCompressed()); }
void BM_LoadRoomCompressedBinary(benchmark::State& s) { Load(s, Room()); }
void BM_ParseRoomCompressedBinary(benchmark::State& s) { Parse(s, Room()); }
void BM_ParseTinyText(benchmark::State& s) { Parse(s, Tiny()); }

BENCHMARK(BM_LoadTinyText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTinyCompressedBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadRoomCompressedBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseTinyText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseRoomCompressedBinary)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
