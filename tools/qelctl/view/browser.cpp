#include "browser.h"

#if defined(_WIN32)
#  include <windows.h>
// shellapi.h needs windows.h first.
#  include <shellapi.h>
#else
#  include <fcntl.h>
#  include <spawn.h>
#  include <sys/wait.h>
#  include <unistd.h>

#  include <cstdlib>

extern char** environ;
#endif

namespace qelctl::view {

#if defined(_WIN32)

bool OpenBrowser(const std::string& url, std::string& why) {
  // ShellExecute reports success as a value above 32.
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result > 32) return true;
  why = "the shell could not open it (" + std::to_string(result) + ")";
  return false;
}

#else

bool OpenBrowser(const std::string& url, std::string& why) {
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
    why = "there is no display";
    return false;
  }
  // xdg-open without a shell, its chatter kept off the terminal; the
  // viewer does not wait for the browser.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = "xdg-open";
  char* argv[] = {program.data(), const_cast<char*>(url.c_str()), nullptr};
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    why = "xdg-open could not be started";
    return false;
  }
  // xdg-open hands the address over and ends; its exit is collected at once
  // or when the viewer ends.
  int status = 0;
  waitpid(pid, &status, WNOHANG);
  return true;
}

#endif

}  // namespace qelctl::view
