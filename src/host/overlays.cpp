#include "host/overlays.h"

#include <cstdio>
#include <string>

#include "host/log.h"
#include "host/quad_pool.h"
#include "media/archive_reader.h"
#include "platform/d3dx/d3dx_texture.h"
#include "platform/d3dx/prepared_images.h"
#include "platform/win32/clock.h"
#include "platform/win32/resources.h"

using namespace d3d8;

const char* const kDigitFileNames[kGlyphCount] = {
    "digit_0.JPG", "digit_1.JPG",    "digit_2.JPG",   "digit_3.JPG", "digit_4.JPG",
    "digit_5.JPG", "digit_6.JPG",    "digit_7.JPG",   "digit_8.JPG", "digit_9.JPG",
    "digit_ddot.JPG", "digit_dot.JPG", "digit_A.JPG", "digit_M.JPG", "digit_P.JPG"};

namespace {

// The short fixed password handed to the archive reader (no member is encrypted).
constexpr const char* kMediaPassword = "hoard";

}  // namespace

std::vector<GlyphPlacement> ClockGlyphs(int hour, int minute, int second, bool style24h) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour % 100, minute % 100, second % 100);
  std::vector<GlyphPlacement> out;
  if (style24h) {
    for (int p = 0; p < 8; ++p) out.push_back({p, text[p] - '0'});
    return out;
  }
  bool pm = false;
  int h = hour;
  if (h == 0) {
    h = 12;
  } else if (h == 12) {
    pm = true;
  } else if (h > 12) {
    h -= 12;
    pm = true;
  }
  text[0] = static_cast<char>('0' + h / 10);
  text[1] = static_cast<char>('0' + h % 10);
  if (text[0] != '0') out.push_back({0, text[0] - '0'});
  for (int p = 1; p < 8; ++p) out.push_back({p, text[p] - '0'});
  out.push_back({8, pm ? kGlyphP : kGlyphA});
  out.push_back({9, kGlyphM});
  return out;
}

std::vector<GlyphPlacement> FrameRateGlyphs(int rate) {
  char text[16];
  std::snprintf(text, sizeof text, "%i", rate);
  std::vector<GlyphPlacement> out;
  for (int p = 0; text[p]; ++p) out.push_back({p, text[p] < '0' ? kGlyphDot : text[p] - '0'});
  return out;
}

void Overlays::LoadDigits(Log* log) {
  MediaArchive archive = OpenMediaResource(452);
  for (int i = 0; i < kGlyphCount; ++i) {
    glyphs[i] = TextureHandle{};
    const std::string member = std::string("Digits\\") + kDigitFileNames[i];
    unsigned char* bytes = nullptr;
    std::uint32_t length = 0;
    archive.offset = 0;
    if (archive.data && ExtractArchiveMember(&bytes, &length, member.c_str(), &archive, kMediaPassword)) {
      glyphs[i] = Textures().LoadFromMemory(bytes, length, kDigitFileNames[i], "Digits\\");
    } else {
      std::snprintf(glyphs[i].name, sizeof glyphs[i].name, "%s", kDigitFileNames[i]);
      std::snprintf(glyphs[i].folder, sizeof glyphs[i].folder, "%s", "Digits\\");
    }
    FreeMediaBuffer(bytes);
  }
  if (log) log->Write("Load Digit textures complete");
}

namespace {

// Screen images on stage 0: texture times the quad's colour, filtered, edges clamped (a
// wrapped edge would bleed the opposite side of the image along the quad's border).
void SetGlyphStage(IDirect3DDevice8* device) {
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
  device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
}

}  // namespace

void Overlays::DrawGlyphs(IDirect3DDevice8* device, const std::vector<GlyphPlacement>& list, float originX,
                          float originY) {
  const OverlayLayout& l = layout;
  const DWORD color = 0xFF000000u | (DWORD(l.red) << 16) | (DWORD(l.green) << 8) | DWORD(l.blue);
  for (const GlyphPlacement& g : list) {
    if (g.glyph < 0 || g.glyph >= kGlyphCount) continue;
    const float x = originX + static_cast<float>(g.position) * l.glyphWidth * l.spacing;
    Textures().SetTexture(0, glyphs[static_cast<std::size_t>(g.glyph)]);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCCOLOR);
    Quads().WriteQuad(vertexBuffer, x, originY, l.glyphWidth * 1.07f, l.glyphHeight * 1.07f, 0xFFFFFFFFu, 0, 0, 1, 1);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    Quads().WriteQuad(vertexBuffer, x, originY, l.glyphWidth, l.glyphHeight, color, 0, 0, 1, 1);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  }
}

void Overlays::Draw(IDirect3DDevice8* device, bool showTime, bool clock24h, bool showFps) {
  if (!device) return;
  DWORD alphaTest = 0;
  device->GetRenderState(D3DRS_ALPHATESTENABLE, &alphaTest);
  device->SetRenderState(D3DRS_ZENABLE, FALSE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  device->SetTexture(0, nullptr);
  device->SetRenderState(D3DRS_ALPHAREF, 0);
  SetGlyphStage(device);
  Quads().Select(vertexBuffer);
  if (showTime) {
    win32::SYSTEMTIME t{};
    win32::GetLocalTime(&t);
    float originX = layout.clockX;
    if (!clock24h) originX -= 2.0f * layout.glyphWidth * layout.spacing;
    DrawGlyphs(device, ClockGlyphs(t.wHour, t.wMinute, t.wSecond, clock24h), originX, layout.clockY);
  }
  if (showFps) DrawGlyphs(device, FrameRateGlyphs(frameRateShown), layout.fpsX, layout.fpsY);
  device->SetRenderState(D3DRS_ZENABLE, TRUE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, alphaTest);
}

namespace {
// The loading screen's pictures: background, then the corners bottom-right, bottom-left,
// top-left, top-right.
constexpr unsigned kLoadingPictures[5] = {480, 475, 476, 478, 477};
}  // namespace

void Overlays::PrepareLoadingScreenAhead() {
  for (unsigned id : kLoadingPictures) {
    const win32::ResourceBytes r = win32::FindResourceBytes("CustomData", id);
    if (r.data) d3dx::PrepareImageAhead(r.data, r.size);
  }
}

HRESULT Overlays::ShowLoadingScreen(IDirect3DDevice8* device, Log* log, int* frameParity) {
  if (!device) return E_FAIL;
  if (log) log->Write("Load Not_table_alpha texture complete");
  if (vertexBuffer == -1 && SUCCEEDED(Quads().CreateBuffer(&vertexBuffer, kScreenQuadFvf, 4))) {
    const ScreenQuadVertex initial[4] = {{0, 0, 0.99f, 1.0f, 0xFFFFFFFFu, 0, 1},
                                         {0, 0, 0.99f, 1.0f, 0xFFFFFFFFu, 0, 0},
                                         {0, 0, 0.99f, 1.0f, 0xFFFFFFFFu, 1, 1},
                                         {0, 0, 0.99f, 1.0f, 0xFFFFFFFFu, 1, 0}};
    Quads().WriteVertices(vertexBuffer, initial, sizeof initial);
  }
  IDirect3DTexture8* textures[5] = {};
  for (int i = 0; i < 5; ++i) {
    const win32::ResourceBytes r = win32::FindResourceBytes("CustomData", kLoadingPictures[i]);
    if (!r.data) continue;
    HRESULT hr = d3dx::D3DXCreateTextureFromFileInMemoryEx(device, r.data, r.size, 0, 0, 0, 0, D3DFMT_UNKNOWN,
                                                          D3DPOOL_MANAGED, d3dx::D3DX_DEFAULT, d3dx::D3DX_DEFAULT,
                                                          0, nullptr, nullptr, &textures[i]);
    if (FAILED(hr)) {
      textures[i] = nullptr;
      hr = d3dx::D3DXCreateTextureFromFileInMemoryEx(device, r.data, r.size, 128, 128, 0, 0, D3DFMT_R5G6B5,
                                                     D3DPOOL_MANAGED, d3dx::D3DX_DEFAULT, d3dx::D3DX_DEFAULT, 0,
                                                     nullptr, nullptr, &textures[i]);
      if (FAILED(hr)) textures[i] = nullptr;
    }
  }
  if (log) log->Write("Load Loading Texture complete.");
  DWORD blend = 0, src = 0, dst = 0, alphaOp = 0;
  device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
  device->GetRenderState(D3DRS_SRCBLEND, &src);
  device->GetRenderState(D3DRS_DESTBLEND, &dst);
  device->GetTextureStageState(0, D3DTSS_ALPHAOP, &alphaOp);
  SetGlyphStage(device);
  Quads().Select(vertexBuffer);
  for (int pass = 0; pass < 2; ++pass) {
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    device->BeginScene();
    Quads().RefreshViewport();
    const D3DVIEWPORT8& vp = Quads().viewport();
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetTexture(0, textures[0]);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    Quads().WriteQuad(vertexBuffer, 0, 0, 1, 1, 0xFFFFFFFFu, 0, 0, 1, 1);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    const float w = vp.Width ? 256.0f / static_cast<float>(vp.Width) : 0.0f;
    const float h = vp.Height ? 128.0f / static_cast<float>(vp.Height) : 0.0f;
    const float corners[4][2] = {{1 - w, 1 - h}, {0, 1 - h}, {0, 0}, {1 - w, 0}};
    for (int c = 0; c < 4; ++c) {
      device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
      device->SetTexture(0, textures[c + 1]);
      Quads().WriteQuad(vertexBuffer, corners[c][0], corners[c][1], w, h, 0xFFFFFFFFu, 0, 0, 1, 1);
      device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    }
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->EndScene();
    if (frameParity) *frameParity ^= 1;
    device->Present(nullptr, nullptr, nullptr, nullptr);
  }
  if (log) log->Write("Draw Loading Screen complete.");
  device->SetTexture(0, nullptr);
  for (IDirect3DTexture8* t : textures)
    if (t) t->Release();
  if (log) log->Write("Unload Loading Data complete.");
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, blend);
  device->SetRenderState(D3DRS_SRCBLEND, src);
  device->SetRenderState(D3DRS_DESTBLEND, dst);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, alphaOp);
  return S_OK;
}
