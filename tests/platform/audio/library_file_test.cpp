// Writing the audio library to a private file, loading it through the descriptor, and
// leaving nothing behind: at exit, from a signal handler, or after a crash at the next start.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/audio/library_file.h"

namespace {

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
    closedir(d);
  }
  return names;
}

class LibraryFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/hoardel-libfile-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    library_ = ReadAll(HOARDEL_BASS_SO);
    ASSERT_GT(library_.size(), 1000u);
  }
  void TearDown() override {
    for (const auto& n : Listing(dir_)) unlink((dir_ + "/" + n).c_str());
    for (const auto& n : Listing(dir_ + "/run")) unlink((dir_ + "/run/" + n).c_str());
    rmdir((dir_ + "/run").c_str());
    rmdir(dir_.c_str());
  }
  std::string dir_;
  std::vector<unsigned char> library_;
};

TEST_F(LibraryFileTest, TemporaryCopiesAreUniquePrivateAndLoadable) {
  audiolib::LibraryFile one, two;
  ASSERT_TRUE(one.CreateTemporary(dir_));
  ASSERT_TRUE(two.CreateTemporary(dir_));
  EXPECT_NE(one.path(), two.path());
  for (const auto* f : {&one, &two}) {
    std::string leaf = f->path().substr(dir_.size() + 1);
    EXPECT_EQ(leaf.rfind("bas", 0), 0u) << leaf;
    EXPECT_EQ(leaf.substr(leaf.size() - 4), ".tmp");
    struct stat st{};
    ASSERT_EQ(stat(f->path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
  ASSERT_TRUE(one.Write(library_.data(), library_.size()));
  EXPECT_EQ(ReadAll(one.path()), library_);
  win32::HMODULE m = one.Load();
  ASSERT_NE(m, nullptr) << dlerror();
  EXPECT_NE(dlsym(m, "BASS_ChannelSetSync"), nullptr);
  dlclose(m);
  one.Remove();
  two.Remove();  // never written: removed all the same
  EXPECT_TRUE(Listing(dir_).empty());
}

TEST_F(LibraryFileTest, ASecondCopyLoadsAfreshWhileTheFirstStaysLoaded) {
  audiolib::LibraryFile first;
  ASSERT_TRUE(first.CreateTemporary(dir_));
  ASSERT_TRUE(first.Write(library_.data(), library_.size()));
  win32::HMODULE m1 = first.Load();
  ASSERT_NE(m1, nullptr);
  const int number = first.descriptor();
  first.Remove();  // its descriptor number is free again
  audiolib::LibraryFile second;
  ASSERT_TRUE(second.CreateTemporary(dir_));
  ASSERT_TRUE(second.Write(library_.data(), library_.size()));
  EXPECT_EQ(second.descriptor(), number);
  win32::HMODULE m2 = second.Load();
  ASSERT_NE(m2, nullptr);
  EXPECT_NE(m2, m1);  // its own copy, with its own state
  EXPECT_NE(dlsym(m1, "BASS_Init"), dlsym(m2, "BASS_Init"));
  dlclose(m2);
  dlclose(m1);
  second.Remove();
}

TEST_F(LibraryFileTest, LoadingUsesTheFileWrittenEvenIfTheNameIsSwapped) {
  audiolib::LibraryFile f;
  ASSERT_TRUE(f.CreateTemporary(dir_));
  ASSERT_TRUE(f.Write(library_.data(), library_.size()));
  // Someone puts another file under the name between writing and loading.
  const std::string other = dir_ + "/other";
  { std::ofstream(other) << "not a library"; }
  ASSERT_EQ(rename(other.c_str(), f.path().c_str()), 0);
  win32::HMODULE m = f.Load();
  ASSERT_NE(m, nullptr);
  EXPECT_NE(dlsym(m, "BASS_Init"), nullptr);
  dlclose(m);
  // Removal leaves a name that is no longer ours alone.
  f.Remove();
  auto left = ReadAll(dir_ + "/" + *Listing(dir_).begin());
  EXPECT_EQ(std::string(left.begin(), left.end()), "not a library");
}

TEST_F(LibraryFileTest, ACopyInAChosenFolderReplacesTheOldFileAtomically) {
  const std::string path = dir_ + "/bass.dll";
  { std::ofstream(path) << "an old copy"; }
  audiolib::LibraryFile f;
  ASSERT_TRUE(f.CreateAt(path));
  // Until written, the old file is untouched and the new bytes go to a hidden name.
  EXPECT_EQ(ReadAll(path).size(), 11u);
  EXPECT_EQ(Listing(dir_).size(), 2u);
  ASSERT_TRUE(f.Write(library_.data(), library_.size()));
  EXPECT_EQ(Listing(dir_), std::set<std::string>{"bass.dll"});
  EXPECT_EQ(ReadAll(path), library_);
  struct stat st{};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  win32::HMODULE m = f.Load();
  ASSERT_NE(m, nullptr);
  dlclose(m);
  f.Remove();
  EXPECT_TRUE(Listing(dir_).empty());
  audiolib::LibraryFile bad;
  EXPECT_FALSE(bad.CreateAt(dir_ + "/no/such/folder/bass.dll"));
  EXPECT_FALSE(bad.CreateAt(dir_ + "/"));
}

TEST_F(LibraryFileTest, CopiesOfDeadProcessesAreRemovedLiveOnesAndForeignFilesKept) {
  // A child writes a copy and is killed before it can clean up.
  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    audiolib::LibraryFile f;
    bool ok = f.CreateTemporary(dir_) && f.Write(library_.data(), library_.size());
    std::string p = ok ? f.path() : std::string();
    (void)!write(pipefd[1], p.c_str(), p.size() + 1);
    raise(SIGKILL);
    _exit(1);
  }
  close(pipefd[1]);
  char buf[512] = {};
  ASSERT_GT(read(pipefd[0], buf, sizeof buf - 1), 1);
  close(pipefd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  const std::string dead = buf;
  ASSERT_EQ(access(dead.c_str(), F_OK), 0);

  audiolib::LibraryFile live;  // ours, locked
  ASSERT_TRUE(live.CreateTemporary(dir_));
  ASSERT_TRUE(live.Write(library_.data(), library_.size()));
  { std::ofstream(dir_ + "/bas1.tmp") << ""; }          // empty: may be a copy being made
  { std::ofstream(dir_ + "/basG1.tmp") << "\177ELF"; }  // not our name pattern
  { std::ofstream(dir_ + "/notes.txt") << "\177ELF"; }

  EXPECT_EQ(audiolib::RemoveStaleLibraryFiles(dir_), 1);
  EXPECT_NE(access(dead.c_str(), F_OK), 0);
  EXPECT_EQ(access(live.path().c_str(), F_OK), 0);
  EXPECT_EQ(Listing(dir_).size(), 4u);
  live.Remove();
}

// Runs `body` in a child and waits for it; returns the child's path report.
template <typename Body>
std::string InChild(Body body, int* status) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    close(pipefd[0]);
    body(pipefd[1]);
    _exit(3);
  }
  close(pipefd[1]);
  char buf[512] = {};
  (void)!read(pipefd[0], buf, sizeof buf - 1);
  close(pipefd[0]);
  waitpid(pid, status, 0);
  return buf;
}

TEST_F(LibraryFileTest, ExitAndSignalPathsRemoveTheRegisteredFile) {
  int status = 0;
  // exit() without any teardown: the atexit handler removes the file.
  std::string p = InChild(
      [&](int fd) {
        static audiolib::LibraryFile f;
        if (!f.CreateTemporary(dir_) || !f.Write(library_.data(), library_.size())) _exit(2);
        audiolib::SetExitCleanupPath(f.path(), f.descriptor());
        (void)!write(fd, f.path().c_str(), f.path().size() + 1);
        std::exit(0);
      },
      &status);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_FALSE(p.empty());
  EXPECT_NE(access(p.c_str(), F_OK), 0);

  // The owning object is already gone (its descriptor closed) when the exit handler runs.
  p = InChild(
      [&](int fd) {
        std::string path;
        {
          audiolib::LibraryFile f;
          if (!f.CreateTemporary(dir_) || !f.Write(library_.data(), library_.size())) _exit(2);
          audiolib::SetExitCleanupPath(f.path(), f.descriptor());
          path = f.path();
        }
        if (access(path.c_str(), F_OK) != 0) _exit(4);
        (void)!write(fd, path.c_str(), path.size() + 1);
        std::exit(0);
      },
      &status);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_FALSE(p.empty());
  EXPECT_NE(access(p.c_str(), F_OK), 0);

  // A signal handler that ends the process at once.
  p = InChild(
      [&](int fd) {
        static audiolib::LibraryFile f;
        if (!f.CreateTemporary(dir_) || !f.Write(library_.data(), library_.size())) _exit(2);
        audiolib::SetExitCleanupPath(f.path(), f.descriptor());
        signal(SIGTERM, [](int) {
          audiolib::EmergencyRemoveLibraryFile();
          _exit(0);
        });
        (void)!write(fd, f.path().c_str(), f.path().size() + 1);
        raise(SIGTERM);
      },
      &status);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(access(p.c_str(), F_OK), 0);
  EXPECT_TRUE(Listing(dir_).empty());
}

}  // namespace
