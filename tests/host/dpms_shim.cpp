// Test stand-in for the X server's display power (DPMS) calls, for servers that lack the
// extension (Xvfb). Preloaded into the saver, it answers as a DPMS-capable display whose
// power level is read from the file named by $HOARDEL_TEST_DPMS_STATE at every query:
// "off" (or "standby", "suspend") puts the screen to sleep, anything else means on.
// clang-format off
#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
// clang-format on

#include <cstdlib>
#include <fstream>
#include <string>

extern "C" {

Bool DPMSQueryExtension(Display*, int* eventBase, int* errorBase) {
  *eventBase = 0;
  *errorBase = 0;
  return True;
}

Bool DPMSCapable(Display*) { return True; }

Status DPMSInfo(Display*, CARD16* level, BOOL* enabled) {
  std::string state;
  if (const char* path = std::getenv("HOARDEL_TEST_DPMS_STATE")) {
    std::ifstream in(path);
    in >> state;
  }
  *enabled = True;
  *level = state == "off" ? DPMSModeOff : state == "standby" ? DPMSModeStandby
         : state == "suspend" ? DPMSModeSuspend : DPMSModeOn;
  return 1;
}

}  // extern "C"
