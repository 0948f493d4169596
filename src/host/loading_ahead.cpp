// Loading ahead: a worker decodes what the loading will ask for while the main thread makes
// the windows and the device (on a software renderer, loading the driver alone takes a
// tenth of a second).
#include <system_error>

#include "host/screensaver_app.h"
#include "media/archive_reader.h"
#include "platform/d3dx/prepared_images.h"

void ScreenSaverApp::PrepareAhead() { Overlays::PrepareLoadingScreenAhead(); }

void ScreenSaverApp::DropPreparedAhead() { d3dx::DropPreparedImages(); }

void ScreenSaverApp::StartLoadingAhead() {
  if (ahead_.valid()) return;
  // The archives' streams stay decoded from the worker's first request to the end of the
  // loading, so that the loading's own requests find them.
  KeepArchiveStreams(true);
  d3dx::StartPreparingImages();
  aheadCancelled_ = false;
  try {
    ahead_ = std::async(std::launch::async, [this] { PrepareAhead(); });
  } catch (const std::system_error&) {
    // No thread to spare: the loading does all the work itself.
    DropPreparedAhead();
    KeepArchiveStreams(false);
  }
}

void ScreenSaverApp::FinishLoadingAhead() {
  if (!ahead_.valid()) return;
  aheadCancelled_ = true;
  d3dx::StopPreparingImages();
  ahead_.wait();
  ahead_ = {};
  DropPreparedAhead();
  KeepArchiveStreams(false);
}
