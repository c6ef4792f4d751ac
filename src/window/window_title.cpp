// The status window's title, worked out from the path of the program file.
#include "window/window_title.h"

std::string_view windowTitle(std::string_view path, std::string_view separators) {
  const std::size_t lastSeparator = path.find_last_of(separators);
  std::string_view name =
      lastSeparator == std::string_view::npos ? path : path.substr(lastSeparator + 1);
  const std::size_t lastStop = name.rfind('.');
  if (lastStop != std::string_view::npos) name = name.substr(0, lastStop);
  return name;
}
