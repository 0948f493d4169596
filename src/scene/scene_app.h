// The scene application: the one application object of the program. For now it keeps the
// base class's picture (blue clear plus overlays) with the scene's overlay layout; the room,
// camera, music and effects come in through the virtual operations of ScreenSaverApp.
#pragma once

#include "host/screensaver_app.h"

class SceneApp : public ScreenSaverApp {
 public:
  SceneApp() = default;
  void InitApp() override;
};
