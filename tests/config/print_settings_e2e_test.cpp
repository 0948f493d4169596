// The real program: hoardel3d --print-settings with a private configuration folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../platform/win32/registry_test_util.h"
#include "config/settings.h"

namespace {

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

ProgramRun RunPrintSettings(const TempConfigHome& home) {
  std::string errFile = home.root() + "/stderr.txt";
  std::string cmd = "env XDG_CONFIG_HOME='" + home.root() + "' HOARDEL_MESSAGEBOX=stderr '" HOARDEL3D_EXE
                    "' --print-settings 2>'" + errFile + "'";
  ProgramRun run;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return run;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) run.out.append(buf, n);
  run.status = pclose(p);
  run.err = TempConfigHome::ReadFile(errFile);
  return run;
}

}  // namespace

TEST(PrintSettings, ShowsEffectiveDefaultsThenStoredValues) {
  TempConfigHome home;
  ProgramRun first = RunPrintSettings(home);
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(first.out,
            "ShowFPS=0\nExitOnMouseMove=0\nShowTime=1\nMusic=1\nSFX=1\nMusicVolume=70\nWidth=800\nHeight=600\n"
            "BitCount=32\nFSAA=0\nUseDesktopSettings=1\nDigClock_24H=0\nGmCntrl=100\n");

  SettingsStore store;
  store.LoadDefaults();
  store.current.ShowFPS = 1;
  store.current.Width = 1920;
  store.current.Height = 1080;
  store.current.GmCntrl = 150;
  store.current.DigClock_24H = 1;
  store.current.Music = 0;
  ASSERT_TRUE(WriteSettings(store.current).ok);

  ProgramRun second = RunPrintSettings(home);
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(second.out, FormatSettings(store.current));
  EXPECT_NE(second.out.find("Width=1920\n"), std::string::npos);
  EXPECT_NE(second.out.find("GmCntrl=150\n"), std::string::npos);
  EXPECT_NE(second.out.find("Music=0\n"), std::string::npos);
}
