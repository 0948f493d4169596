#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/log.h"
#include "platform/win32/msgbox.h"

namespace {

// Runs the test inside a fresh temporary current directory.
class LogTest : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/hoardel-log-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  static std::string Read(const char* name) {
    std::ifstream f(name, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  }
  std::filesystem::path dir_, old_;
};

}  // namespace

TEST_F(LogTest, SwitchedOffItCreatesNothing) {
  Log log;
  EXPECT_FALSE(log.enabled());
  for (const char* name : {kSaverLogFileName, kConfigLogFileName}) {
    log.Open(name);
    log.Write("Create Saver Window complete");
    log.Close();
    EXPECT_FALSE(log.isOpen());
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(LogTest, SwitchedOnItWritesFlushedLinesAndOverwrites) {
  std::ofstream(kSaverLogFileName) << "an old run\nwith lines\n";
  Log log;
  log.SetEnabled(true);
  log.Open(kSaverLogFileName);
  ASSERT_TRUE(log.isOpen());
  log.Write("Create Saver Window complete");
  log.Write("\xD1reate D3D complete");  // Windows-1251 capital Es
  // Every line is on disk before the log is closed.
  EXPECT_EQ(Read(kSaverLogFileName), "Log started\n\nCreate Saver Window complete\nСreate D3D complete\n");
  log.Close();
  EXPECT_FALSE(log.isOpen());
  EXPECT_EQ(Read(kSaverLogFileName),
            "Log started\n\nCreate Saver Window complete\nСreate D3D complete\n\nLog finished\n");
  log.Write("after close");
  log.Close();
  EXPECT_EQ(Read(kSaverLogFileName).find("after close"), std::string::npos);

  log.Open(kConfigLogFileName);
  log.Write("Read settings from reg complete.");
  log.Close();
  EXPECT_EQ(Read(kConfigLogFileName), "Log started\n\nRead settings from reg complete.\n\nLog finished\n");
}

TEST_F(LogTest, FileThatCannotBeCreatedWarnsAndStaysClosed) {
  std::ofstream("blocker") << "x";
  win32::ScopedMessageBoxCapture boxes;
  Log log;
  log.SetEnabled(true);
  log.Open("blocker/Saver_Log.txt");
  EXPECT_FALSE(log.isOpen());
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "Cant create log  file");
  EXPECT_EQ(boxes.calls()[0].caption, "Warning");
  log.Write("ignored");
  log.Close();
  EXPECT_EQ(boxes.calls().size(), 1u);
  EXPECT_FALSE(std::filesystem::exists("blocker/Saver_Log.txt"));
}
