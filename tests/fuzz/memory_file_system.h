// Files held in memory, for running the converter thousands of times a second: the fuzz
// targets link this backend of lines/file_system.h in place of the system's.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace memory_files {

// How an input file is delivered: mapped whole, or read in pieces as a pipe delivers them.
struct InputShape {
  bool mapped = true;
  std::size_t pieceSize = 1;  // bytes per read when not mapped; at least 1
};

// Forgets every file and every injected fault.
void reset();
void putInput(const std::string& name, std::string_view bytes, InputShape shape = {});
void putFile(const std::string& name, std::string_view bytes);
// The bytes of a file, and whether there is one of that name.
bool exists(const std::string& name);
const std::string& bytesOf(const std::string& name);
// Number of files there are, temporary ones included.
std::size_t fileCount();
// Writing to a replacement file fails with "no space" once it would exceed `bytes` bytes.
void failWritesBeyond(std::size_t bytes);

}  // namespace memory_files
