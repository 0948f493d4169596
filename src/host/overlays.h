// Screen-space drawing of the host: the loading screen shown once while the scene loads, and
// on every frame the optional digital clock and frame-rate counter drawn with digit images.
#pragma once

#include <array>
#include <vector>

#include "host/texture_service.h"
#include "host/host_types.h"
#include "platform/d3d8/d3d8.h"
#include "platform/win32/win32_types.h"

class Log;

// Glyph slots: digits 0 to 9, then these.
constexpr int kGlyphColon = 10;
constexpr int kGlyphDot = 11;
constexpr int kGlyphA = 12;
constexpr int kGlyphM = 13;
constexpr int kGlyphP = 14;
constexpr int kGlyphCount = 15;

// Member names of the digit images in archive 452 (under "Digits\"), in slot order.
extern const char* const kDigitFileNames[kGlyphCount];

struct GlyphPlacement {
  int position;  // in glyph distances from the origin
  int glyph;
  bool operator==(const GlyphPlacement&) const = default;
};

// The clock's glyphs for a time of day. 24-hour: "HH:MM:SS" at 0..7. 12-hour: the hour as 12
// for 0 and 12, h - 12 after noon, with its tens digit left out when 0, then ":MM:SS", then
// A or P at 8 and M at 9 (the origin then lies two glyph distances further left).
std::vector<GlyphPlacement> ClockGlyphs(int hour, int minute, int second, bool style24h);
// The frame-rate counter's glyphs: "%i" of the rate, characters below '0' as the dot.
std::vector<GlyphPlacement> FrameRateGlyphs(int rate);

struct OverlayLayout {
  float glyphWidth = 0.037f;
  float glyphHeight = 0.048f;
  float spacing = 1.0f;
  float clockX = 0.7f, clockY = 0.92f;
  float fpsX = 0.01f, fpsY = 0.01f;
  BYTE red = 255, green = 255, blue = 255;
};

class Overlays {
 public:
  OverlayLayout layout;
  std::array<TextureHandle, kGlyphCount> glyphs{};
  int vertexBuffer = -1;
  int frameRateShown = 0;
  int frameCounter = 0;

  // Extracts the 15 digit images from archive 452 and loads them through the texture
  // service; a member that cannot be extracted leaves its slot at index -1.
  void LoadDigits(Log* log);
  // The clock (when showTime) and the frame rate (when showFps), two passes per glyph.
  void Draw(d3d8::IDirect3DDevice8* device, bool showTime, bool clock24h, bool showFps);
  // The default loading screen: creates the overlay vertex buffer, draws the background and
  // the four corner images into both buffers of the flip chain. *frameParity flips per
  // present.
  HRESULT ShowLoadingScreen(d3d8::IDirect3DDevice8* device, Log* log, int* frameParity);
  // Decodes the loading screen's pictures ahead of ShowLoadingScreen (any thread).
  static void PrepareLoadingScreenAhead();
  // The timer-7 tick: the counter becomes the rate shown and starts again.
  void Tick() {
    frameRateShown = frameCounter;
    frameCounter = 0;
  }

 private:
  void DrawGlyphs(d3d8::IDirect3DDevice8* device, const std::vector<GlyphPlacement>& glyphs, float originX,
                  float originY);
};
