// Lighting, transforms, vertex blending and culling against the fixed-function equations
// computed on the CPU.
#include <algorithm>
#include <array>
#include <cmath>

#include "render_fixture.h"

namespace d3d8test {
namespace {

struct V3 {
  float x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Normalize(V3 a) { return a * (1.0f / std::sqrt(Dot(a, a))); }

// The Direct3D vertex lighting equation for one vertex in camera space (view = identity).
struct LitColor {
  float r, g, b;
};
LitColor LightVertex(V3 p, V3 n, const D3DMATERIAL8& m, const D3DLIGHT8* lights, int count, D3DCOLOR globalAmbient,
                     bool specularOn) {
  float amb[3] = {((globalAmbient >> 16) & 0xFF) / 255.0f, ((globalAmbient >> 8) & 0xFF) / 255.0f,
                  (globalAmbient & 0xFF) / 255.0f};
  float dif[3] = {}, spe[3] = {};
  for (int i = 0; i < count; ++i) {
    const D3DLIGHT8& l = lights[i];
    V3 L;
    float att = 1.0f;
    if (l.Type == D3DLIGHT_DIRECTIONAL) {
      L = Normalize(V3{l.Direction.x, l.Direction.y, l.Direction.z}) * -1.0f;
    } else {
      V3 d = V3{l.Position.x, l.Position.y, l.Position.z} - p;
      float dist = std::sqrt(Dot(d, d));
      L = d * (1.0f / dist);
      att = dist > l.Range ? 0.0f : 1.0f / (l.Attenuation0 + l.Attenuation1 * dist + l.Attenuation2 * dist * dist);
    }
    const float la[3] = {l.Ambient.r, l.Ambient.g, l.Ambient.b};
    const float ld[3] = {l.Diffuse.r, l.Diffuse.g, l.Diffuse.b};
    const float ls[3] = {l.Specular.r, l.Specular.g, l.Specular.b};
    for (int c = 0; c < 3; ++c) amb[c] += att * la[c];
    const float ndl = Dot(n, L);
    if (ndl > 0) {
      for (int c = 0; c < 3; ++c) dif[c] += att * ndl * ld[c];
      if (specularOn) {
        V3 h = Normalize(L + Normalize(p * -1.0f));
        const float ndh = Dot(n, h);
        if (ndh > 0)
          for (int c = 0; c < 3; ++c) spe[c] += att * std::pow(ndh, m.Power) * ls[c];
      }
    }
  }
  const float ce[3] = {m.Emissive.r, m.Emissive.g, m.Emissive.b};
  const float ca[3] = {m.Ambient.r, m.Ambient.g, m.Ambient.b};
  const float cd[3] = {m.Diffuse.r, m.Diffuse.g, m.Diffuse.b};
  const float cs[3] = {m.Specular.r, m.Specular.g, m.Specular.b};
  float out[3];
  for (int c = 0; c < 3; ++c) {
    out[c] = std::clamp(ce[c] + ca[c] * amb[c] + cd[c] * dif[c], 0.0f, 1.0f);
    if (specularOn) out[c] = std::min(1.0f, out[c] + std::clamp(cs[c] * spe[c], 0.0f, 1.0f));
  }
  return {out[0] * 255.0f, out[1] * 255.0f, out[2] * 255.0f};
}

struct NormalVertex {  // D3DFVF_XYZ | D3DFVF_NORMAL
  float x, y, z, nx, ny, nz;
};

class LightingTest : public RenderTest {
 protected:
  // A quad filling the screen at camera-space depth 0.5, facing the camera, with identity
  // world, view and projection.
  void DrawFacingQuad() {
    NormalVertex q[4] = {{-1, -1, 0.5f, 0, 0, -1}, {-1, 1, 0.5f, 0, 0, -1}, {1, -1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}};
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]), D3D_OK);
  }
  D3DMATERIAL8 Material() const {
    D3DMATERIAL8 m{};
    m.Diffuse = {0.8f, 0.6f, 0.4f, 1.0f};
    m.Ambient = {0.2f, 0.3f, 0.4f, 1.0f};
    m.Specular = {0.5f, 0.5f, 0.5f, 1.0f};
    m.Emissive = {0.05f, 0.1f, 0.0f, 0.0f};
    m.Power = 8.0f;
    return m;
  }
};

TEST_F(LightingTest, DirectionalLightAmbientEmissiveAndDiffuseTerms) {
  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {1.0f, 0.9f, 0.8f, 0};
  light.Ambient = {0.1f, 0.2f, 0.3f, 0};
  light.Direction = {0.3f, -0.4f, 0.8f};
  const D3DMATERIAL8 m = Material();
  dev->SetMaterial(&m);
  dev->SetLight(0, &light);
  dev->LightEnable(0, TRUE);
  dev->SetRenderState(D3DRS_AMBIENT, 0x00202020);
  DrawFacingQuad();
  Capture();
  const LitColor e = LightVertex({0, 0, 0.5f}, {0, 0, -1}, m, &light, 1, 0x00202020, false);
  EXPECT_PIXEL_NEAR(Pixel(16, 16), e.r, e.g, e.b, 2);
  EXPECT_PIXEL_NEAR(Pixel(1, 30), e.r, e.g, e.b, 2);

  // A light from behind the surface leaves ambient and emissive only.
  light.Direction = {0, 0, -1};
  dev->SetLight(0, &light);
  DrawFacingQuad();
  Capture();
  const LitColor back = LightVertex({0, 0, 0.5f}, {0, 0, -1}, m, &light, 1, 0x00202020, false);
  EXPECT_PIXEL_NEAR(Pixel(16, 16), back.r, back.g, back.b, 2);
  EXPECT_LT(back.r, e.r - 50);

  // Disabling the light leaves the global ambient and emissive terms.
  dev->LightEnable(0, FALSE);
  DrawFacingQuad();
  Capture();
  const LitColor none = LightVertex({0, 0, 0.5f}, {0, 0, -1}, m, &light, 0, 0x00202020, false);
  EXPECT_PIXEL_NEAR(Pixel(16, 16), none.r, none.g, none.b, 2);
}

TEST_F(LightingTest, SpecularHighlightOnlyWithSpecularEnable) {
  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {0.4f, 0.4f, 0.4f, 0};
  light.Specular = {1.0f, 0.8f, 0.6f, 0};
  light.Direction = {0, 0, 1};  // straight along the view: every corner sees the same half vector
  const D3DMATERIAL8 m = Material();
  dev->SetMaterial(&m);
  dev->SetLight(0, &light);
  dev->LightEnable(0, TRUE);
  DrawFacingQuad();
  Capture();
  const LitColor plain = LightVertex({1, 1, 0.5f}, {0, 0, -1}, m, &light, 1, 0, false);
  EXPECT_PIXEL_NEAR(Pixel(16, 16), plain.r, plain.g, plain.b, 2);

  dev->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
  DrawFacingQuad();
  Capture();
  const LitColor shiny = LightVertex({1, 1, 0.5f}, {0, 0, -1}, m, &light, 1, 0, true);
  EXPECT_PIXEL_NEAR(Pixel(16, 16), shiny.r, shiny.g, shiny.b, 2);
  EXPECT_GT(shiny.b, plain.b + 10);
}

TEST_F(LightingTest, PointLightAttenuationAndRange) {
  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_POINT;
  light.Diffuse = {1.0f, 1.0f, 1.0f, 0};
  light.Ambient = {0.2f, 0.1f, 0.0f, 0};
  light.Position = {0, 0, 0};  // every corner of the quad is 1.5 away
  light.Range = 10.0f;
  light.Attenuation0 = 0.5f;
  light.Attenuation1 = 0.25f;
  light.Attenuation2 = 0.1f;
  D3DMATERIAL8 m = Material();
  m.Emissive = {0, 0, 0, 0};
  dev->SetMaterial(&m);
  dev->SetLight(0, &light);
  dev->LightEnable(0, TRUE);
  DrawFacingQuad();
  Capture();
  const LitColor e = LightVertex({1, 1, 0.5f}, {0, 0, -1}, m, &light, 1, 0, false);
  EXPECT_PIXEL_NEAR(Pixel(16, 16), e.r, e.g, e.b, 2);
  EXPECT_GT(e.r, 60);

  light.Range = 1.4f;  // corners out of range: the light adds nothing, not even ambient
  dev->SetLight(0, &light);
  DrawFacingQuad();
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(16, 16), 0, 0, 0, 1);
}

TEST_F(LightingTest, SpotLightConeAndPenumbra) {
  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_SPOT;
  light.Diffuse = {1.0f, 1.0f, 1.0f, 0};
  light.Position = {0, 0, 0};
  light.Direction = {0, 0, 1};  // every corner is 1.5 away, 70.5 degrees off the axis
  light.Range = 10.0f;
  light.Attenuation0 = 1.0f;
  light.Falloff = 1.0f;
  D3DMATERIAL8 m{};
  m.Diffuse = {1, 1, 1, 1};
  dev->SetMaterial(&m);
  const float deg = 3.14159265f / 180.0f;
  const float rho = 0.5f / 1.5f, ndl = 0.5f / 1.5f;
  struct Case {
    float theta, phi, spot;
  } cases[] = {
      {120 * deg, 160 * deg, (rho - std::cos(80 * deg)) / (std::cos(60 * deg) - std::cos(80 * deg))},  // penumbra
      {150 * deg, 170 * deg, 1.0f},  // inside the inner cone
      {100 * deg, 130 * deg, 0.0f},  // outside the outer cone
  };
  for (const Case& k : cases) {
    light.Theta = k.theta;
    light.Phi = k.phi;
    dev->SetLight(0, &light);
    dev->LightEnable(0, TRUE);
    DrawFacingQuad();
    Capture();
    const float e = 255.0f * ndl * k.spot;
    EXPECT_PIXEL_NEAR(Pixel(16, 16), e, e, e, 2) << "theta " << k.theta;
  }
}

TEST_F(LightingTest, VertexColourReplacesMaterialDiffuse) {
  struct V {
    float x, y, z, nx, ny, nz;
    D3DCOLOR c;
  };
  const D3DCOLOR c = D3DCOLOR_ARGB(255, 51, 153, 255);
  V q[4] = {{-1, -1, 0.5f, 0, 0, -1, c}, {-1, 1, 0.5f, 0, 0, -1, c}, {1, -1, 0.5f, 0, 0, -1, c}, {1, 1, 0.5f, 0, 0, -1, c}};
  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {1, 1, 1, 0};
  light.Direction = {0, 0, 1};
  D3DMATERIAL8 m{};
  m.Diffuse = {1, 0, 0, 1};
  dev->SetMaterial(&m);
  dev->SetLight(0, &light);
  dev->LightEnable(0, TRUE);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE);
  dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(16, 16), 51, 153, 255, 2);

  // With colour vertex off the material counts again.
  dev->SetRenderState(D3DRS_COLORVERTEX, FALSE);
  dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(16, 16), 255, 0, 0, 2);

  // Unlit, the vertex colour passes straight through.
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(16, 16), 51, 153, 255, 1);
}

// Row-vector helpers for transform tests.
D3DMATRIX Translation(float x, float y, float z) {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1;
  m._41 = x, m._42 = y, m._43 = z;
  return m;
}

D3DMATRIX PerspectiveFovLH(float fovy, float aspect, float zn, float zf) {
  const float ys = 1.0f / std::tan(fovy / 2), xs = ys / aspect;
  D3DMATRIX m{};
  m._11 = xs, m._22 = ys, m._33 = zf / (zf - zn), m._34 = 1, m._43 = -zn * zf / (zf - zn);
  return m;
}

TEST_F(LightingTest, WorldViewProjectionPlaceGeometryOnScreen) {
  struct V {
    float x, y, z;
    D3DCOLOR c;
  };
  const D3DCOLOR c = D3DCOLOR_XRGB(255, 255, 0);
  V q[4] = {{-1, -1, 0, c}, {-1, 1, 0, c}, {1, -1, 0, c}, {1, 1, 0, c}};
  const D3DMATRIX world = Translation(1.0f, 0.5f, 0.0f);
  const D3DMATRIX view = Translation(0.0f, 0.0f, 8.0f);
  const D3DMATRIX proj = PerspectiveFovLH(0.7853982f, 1.0f, 1.0f, 100.0f);
  dev->SetTransform(D3DTS_WORLD, &world);
  dev->SetTransform(D3DTS_VIEW, &view);
  dev->SetTransform(D3DTS_PROJECTION, &proj);
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]);
  Capture();
  // Corners on the CPU: x_s = (ndc_x + 1) / 2 * W, y_s = (1 - ndc_y) / 2 * H.
  auto screen = [&](float x, float y) {
    const float cx = (x + 1.0f), cy = (y + 0.5f), cz = 8.0f;
    const float px = cx * proj._11, py = cy * proj._22, w = cz;
    return std::pair<float, float>{(px / w + 1) / 2 * kSize, (1 - py / w) / 2 * kSize};
  };
  auto [x0, y0] = screen(-1, 1);
  auto [x1, y1] = screen(1, -1);
  const int cx = static_cast<int>((x0 + x1) / 2), cy = static_cast<int>((y0 + y1) / 2);
  EXPECT_PIXEL_NEAR(Pixel(cx, cy), 255, 255, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(static_cast<int>(std::ceil(x0)) + 1, static_cast<int>(std::ceil(y0)) + 1), 255, 255, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(static_cast<int>(x1) - 1, static_cast<int>(y1) - 1), 255, 255, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(static_cast<int>(x0) - 2, cy), 0, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(cx, static_cast<int>(y0) - 2), 0, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(static_cast<int>(std::ceil(x1)) + 1, cy), 0, 0, 0, 0);
}

TEST_F(LightingTest, VertexBlendingWithUpToFourMatrices) {
  struct V {
    float x, y, z, w0, w1, w2;
    D3DCOLOR c;
  };
  const D3DCOLOR c = D3DCOLOR_XRGB(0, 255, 0);
  auto quad = [&](float w0, float w1, float w2) {
    std::array<V, 4> q = {V{-0.25f, -0.25f, 0.5f, w0, w1, w2, c}, V{-0.25f, 0.25f, 0.5f, w0, w1, w2, c},
                          V{0.25f, -0.25f, 0.5f, w0, w1, w2, c}, V{0.25f, 0.25f, 0.5f, w0, w1, w2, c}};
    return q;
  };
  const D3DMATRIX m0 = Translation(0, 0, 0), m1 = Translation(2, 0, 0), m2 = Translation(0, -2, 0),
                  m3 = Translation(0, 0, 0);
  dev->SetTransform(D3DTS_WORLDMATRIX(0), &m0);
  dev->SetTransform(D3DTS_WORLDMATRIX(1), &m1);
  dev->SetTransform(D3DTS_WORLDMATRIX(2), &m2);
  dev->SetTransform(D3DTS_WORLDMATRIX(3), &m3);
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  dev->SetVertexShader(D3DFVF_XYZB3 | D3DFVF_DIFFUSE);
  // Expected centre on screen of the quad moved by sum(w_k * t_k).
  auto expectCentre = [&](float ox, float oy) {
    const float sx = (ox + 1) / 2 * kSize, sy = (1 - oy) / 2 * kSize;
    EXPECT_PIXEL_NEAR(Pixel(static_cast<int>(sx), static_cast<int>(sy)), 0, 255, 0, 0);
    // The quad is 8 pixels wide: 6 pixels off its centre is outside.
    EXPECT_PIXEL_NEAR(Pixel(static_cast<int>(sx) + 6, static_cast<int>(sy)), 0, 0, 0, 0);
    EXPECT_PIXEL_NEAR(Pixel(static_cast<int>(sx), static_cast<int>(sy) - 6), 0, 0, 0, 0);
  };

  // Four matrices: weights 0.25, 0.125, 0.25 and the remainder 0.375 on matrix 3.
  dev->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_3WEIGHTS);
  auto q = quad(0.25f, 0.125f, 0.25f);
  dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q.data(), sizeof(V));
  Capture();
  expectCentre(0.125f * 2, 0.25f * -2);

  // Two matrices: the first weight only; the rest goes to matrix 1.
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0);
  dev->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
  q = quad(0.75f, 0.5f, 0.5f);
  dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q.data(), sizeof(V));
  Capture();
  expectCentre(0.25f * 2, 0);

  // Blending off: world matrix 0 alone.
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0);
  dev->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
  dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q.data(), sizeof(V));
  Capture();
  expectCentre(0, 0);
}

TEST_F(LightingTest, CullModesFollowScreenWinding) {
  const D3DCOLOR c = D3DCOLOR_XRGB(255, 255, 255);
  TlVertex clockwise[3] = {{4, 4, 0.5f, 1, c, 0, 0}, {28, 4, 0.5f, 1, c, 0, 0}, {4, 28, 0.5f, 1, c, 0, 0}};
  TlVertex counter[3] = {clockwise[0], clockwise[2], clockwise[1]};
  dev->SetVertexShader(kTlFvf);
  struct Case {
    DWORD cull;
    bool cwVisible, ccwVisible;
  } cases[] = {{D3DCULL_CCW, true, false}, {D3DCULL_CW, false, true}, {D3DCULL_NONE, true, true}};
  for (const Case& k : cases) {
    dev->SetRenderState(D3DRS_CULLMODE, k.cull);
    for (int winding = 0; winding < 2; ++winding) {
      dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0);
      dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, winding == 0 ? clockwise : counter, sizeof(TlVertex));
      Capture();
      const bool visible = winding == 0 ? k.cwVisible : k.ccwVisible;
      EXPECT_EQ(Pixel(8, 8).r, visible ? 255 : 0) << "cull " << k.cull << " winding " << winding;
    }
  }
}

}  // namespace
}  // namespace d3d8test
