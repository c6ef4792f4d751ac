// A private X server (Xvfb) for the tests that need a display.
#include "x_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

namespace {

constexpr const char* kXvfb = "/usr/bin/Xvfb";
constexpr auto kStartDeadline = std::chrono::seconds(20);

}  // namespace

std::string whyNoXServer() {
  return access(kXvfb, X_OK) == 0 ? "" : std::string("no X server: ") + kXvfb + " is missing";
}

XServer::XServer(int width, int height) {
  int ready[2];
  if (pipe(ready) != 0) {
    failure_ = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  // Xvfb picks a free display number and writes it to the pipe once it accepts clients.
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const std::string readyFd = std::to_string(ready[1]);
  pid_ = fork();
  if (pid_ == 0) {
    close(ready[0]);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    execl(kXvfb, "Xvfb", "-displayfd", readyFd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
          "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + kStartDeadline;
  pollfd waiting{ready[0], POLLIN, 0};
  while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    if (poll(&waiting, 1, 100) <= 0) continue;
    char bytes[16];
    const ssize_t got = read(ready[0], bytes, sizeof bytes);
    if (got <= 0) break;
    number.append(bytes, static_cast<std::size_t>(got));
  }
  close(ready[0]);
  if (pid_ < 0 || number.find('\n') == std::string::npos) {
    failure_ = "Xvfb did not start";
    return;
  }
  display_ = ":" + number.substr(0, number.find('\n'));
}

XServer::~XServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
}
