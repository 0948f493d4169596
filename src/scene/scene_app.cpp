#include "scene/scene_app.h"

void SceneApp::InitApp() {
  log.SetEnabled(false);
  OverlayLayout& l = overlays.layout;
  l.glyphWidth = 0.047f;
  l.glyphHeight = 0.06375f;
  l.spacing = 0.79f;
  l.clockX = 0.69f;
  l.clockY = 0.92f;
  l.fpsX = 0.01f;
  l.fpsY = 0.01f;
}
