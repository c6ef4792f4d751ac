// A private X server (Xvfb) for the tests that need a display.
#pragma once

#include <sys/types.h>

#include <string>

// Starts Xvfb on a display number of its own with one screen of the given size, and ends it
// when the object goes.
class XServer {
 public:
  XServer(int width, int height);
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // The display name, e.g. ":3"; empty when the server did not start.
  const std::string& display() const { return display_; }
  // Why the server could not start, or empty.
  const std::string& failure() const { return failure_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
  std::string failure_;
};

// Why no X server can be started here, or empty when one can.
std::string whyNoXServer();
