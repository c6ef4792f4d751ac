// Where the running program's file is.
#pragma once

#include <string>

// The full path of the running program file in UTF-8, however long; empty when the system
// cannot tell.
std::string programPath();
