// The status window's title, worked out from the path of the program file.
#pragma once

#include <string_view>

// The program file's name: the part of path after its last separator (any byte of separators),
// cut at its last full stop; a name without a full stop is used whole.
std::string_view windowTitle(std::string_view path, std::string_view separators);
