// CPU microseconds per DrawPrimitiveUP of one pre-transformed, textured quad on the offscreen
// device, 2,000 quads a frame: with unchanged state, and with a state change before every draw.
// Rasterisation is kept out of the timed region: each frame ends with Present and glFinish
// while the timer is paused.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>

#include "platform/d3d8/d3d8.h"

using namespace d3d8;

namespace {

constexpr int kQuadsPerFrame = 2000;

struct Vertex {
  float x, y, z, rhw;
  D3DCOLOR color;
  float u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct Fixture {
  IDirect3D8* d3d = nullptr;
  IDirect3DDevice8* dev = nullptr;
  IDirect3DTexture8* tex[2] = {};
  Vertex quads[kQuadsPerFrame][4];

  Fixture() {
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 640;
    pp.BackBufferHeight = 480;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    if (!d3d || FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev))) {
      std::fprintf(stderr, "no device\n");
      std::exit(1);
    }
    for (auto& t : tex) dev->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t);
    for (int i = 0; i < kQuadsPerFrame; ++i) {
      const float x = static_cast<float>((i * 37) % 620), y = static_cast<float>((i * 53) % 460);
      const D3DCOLOR c = 0xFF000000u | static_cast<DWORD>(i * 2654435761u >> 8);
      quads[i][0] = {x, y + 8, 0.5f, 1, c, 0, 1};
      quads[i][1] = {x, y, 0.5f, 1, c, 0, 0};
      quads[i][2] = {x + 8, y + 8, 0.5f, 1, c, 1, 1};
      quads[i][3] = {x + 8, y, 0.5f, 1, c, 1, 0};
    }
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->SetVertexShader(kFvf);
    dev->SetTexture(0, tex[0]);
  }
  ~Fixture() {
    dev->SetTexture(0, nullptr);
    for (auto* t : tex) t->Release();
    dev->Release();
    d3d->Release();
  }
  void EndFrame(benchmark::State& state) {
    state.PauseTiming();
    dev->EndScene();
    dev->Present(nullptr, nullptr, nullptr, nullptr);
    glFinish();
    dev->BeginScene();
    state.ResumeTiming();
  }
};

Fixture& Shared() {
  static Fixture f;
  return f;
}

void Report(benchmark::State& state) {
  // Seconds per quad (printed with an SI prefix: 800n = 0.8 microseconds), over the timed
  // (unpaused) wall time.
  state.counters["per_quad"] = benchmark::Counter(static_cast<double>(state.iterations()) * kQuadsPerFrame,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetItemsProcessed(state.iterations() * kQuadsPerFrame);
}

void BM_DrawPrimitiveUP_UnchangedState(benchmark::State& state) {
  Fixture& f = Shared();
  f.dev->BeginScene();
  for (auto _ : state) {
    for (int i = 0; i < kQuadsPerFrame; ++i) f.dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, f.quads[i], sizeof(Vertex));
    f.EndFrame(state);
  }
  f.dev->EndScene();
  Report(state);
}
BENCHMARK(BM_DrawPrimitiveUP_UnchangedState)->Unit(benchmark::kMillisecond);

// A state change before every quad: argument 0 a texture, 1 a blend factor, 2 both.
void BM_DrawPrimitiveUP_StateChangePerQuad(benchmark::State& state) {
  Fixture& f = Shared();
  const bool texture = state.range(0) != 1, blend = state.range(0) != 0;
  f.dev->BeginScene();
  for (auto _ : state) {
    for (int i = 0; i < kQuadsPerFrame; ++i) {
      if (texture) f.dev->SetTexture(0, f.tex[i & 1]);
      if (blend) f.dev->SetRenderState(D3DRS_DESTBLEND, (i & 1) ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA);
      f.dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, f.quads[i], sizeof(Vertex));
    }
    f.EndFrame(state);
  }
  f.dev->EndScene();
  Report(state);
}
BENCHMARK(BM_DrawPrimitiveUP_StateChangePerQuad)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// A world-transform change before every quad of lit, transformed geometry.
void BM_DrawPrimitiveUP_TransformChangePerQuad(benchmark::State& state) {
  Fixture& f = Shared();
  struct V {
    float x, y, z, nx, ny, nz, u, v;
  } quad[4] = {{-1, -1, 0, 0, 0, -1, 0, 1}, {-1, 1, 0, 0, 0, -1, 0, 0}, {1, -1, 0, 0, 0, -1, 1, 1}, {1, 1, 0, 0, 0, -1, 1, 0}};
  D3DMATRIX world{};
  world._11 = world._22 = world._33 = 0.02f;
  world._44 = 1;
  world._43 = 0.5f;
  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {1, 1, 1, 0};
  light.Direction = {0, 0, 1};
  f.dev->SetLight(0, &light);
  f.dev->LightEnable(0, TRUE);
  f.dev->SetRenderState(D3DRS_LIGHTING, TRUE);
  f.dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
  f.dev->BeginScene();
  for (auto _ : state) {
    for (int i = 0; i < kQuadsPerFrame; ++i) {
      world._41 = static_cast<float>(i % 50) / 25.0f - 1.0f;
      world._42 = static_cast<float>(i / 50) / 20.0f - 1.0f;
      f.dev->SetTransform(D3DTS_WORLD, &world);
      f.dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
    }
    f.EndFrame(state);
  }
  f.dev->EndScene();
  f.dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  f.dev->SetVertexShader(kFvf);
  Report(state);
}
BENCHMARK(BM_DrawPrimitiveUP_TransformChangePerQuad)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
