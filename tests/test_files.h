// Scratch directories and whole-file helpers for the tests.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// A new, empty directory, removed with everything in it when the object goes.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, std::string_view bytes);
std::string readFile(const std::filesystem::path& path);

// The lines of a list, each without its CR LF; a last line without one is kept as it is.
std::vector<std::string> listLines(std::string_view list);
