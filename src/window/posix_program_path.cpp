// Where the running program's file is, on Linux.
#include <unistd.h>

#include <string>

#include "window/program_path.h"

std::string programPath() {
  // readlink says nothing about a cut, so grow the buffer until the link fits with room to spare
  std::string path(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      return path;
    }
    path.resize(path.size() * 2);
  }
}
