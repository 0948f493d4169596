// ShellExecuteA's "open" through xdg-open. The opener runs in a grandchild so that no zombie
// is left behind and nothing waits on the desktop's browser.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/win32/dialog.h"

namespace win32 {

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, int) {
  auto fail = reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(2));  // file not found
  if (!file || !*file) return fail;
  if (verb && std::strcmp(verb, "open") != 0) return reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(31));
  int pipeFd[2];
  if (pipe2(pipeFd, O_CLOEXEC) != 0) return fail;
  pid_t child = fork();
  if (child < 0) {
    close(pipeFd[0]);
    close(pipeFd[1]);
    return fail;
  }
  if (child == 0) {
    close(pipeFd[0]);
    pid_t opener = fork();
    if (opener == 0) {
      const char* argv[] = {"xdg-open", file, nullptr};
      execvp("xdg-open", const_cast<char* const*>(argv));
      char failed = 1;  // the exec did not happen
      [[maybe_unused]] auto n = write(pipeFd[1], &failed, 1);
      _exit(127);
    }
    _exit(opener < 0 ? 1 : 0);
  }
  close(pipeFd[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes on a successful exec (close-on-exec) or carries one byte on failure.
  char failed = 0;
  ssize_t n;
  while ((n = read(pipeFd[0], &failed, 1)) < 0 && errno == EINTR) {
  }
  close(pipeFd[0]);
  bool started = WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
  return started ? reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(42)) : fail;
}

}  // namespace win32
