// Scratch directories and whole-file helpers for the tests.
#include "test_files.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>

ScratchDirectory::ScratchDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "dwzliste-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  // in blocks: lists of many megabytes are read after every run of some tests
  std::string bytes;
  char block[1 << 16];
  while (in.read(block, sizeof block) || in.gcount() > 0) {
    bytes.append(block, static_cast<std::size_t>(in.gcount()));
  }
  return bytes;
}

std::vector<std::string> listLines(std::string_view list) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < list.size();) {
    const std::size_t end = list.find("\r\n", at);
    lines.emplace_back(list.substr(at, end - at));
    at = end == std::string_view::npos ? list.size() : end + 2;
  }
  return lines;
}
