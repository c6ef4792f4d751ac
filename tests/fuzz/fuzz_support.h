// What the fuzz targets share: how one fuzz input becomes files, and how a difference is shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "memory_file_system.h"

namespace fuzz {

// Separates the two files in one fuzz input: what stands before it is Spieler.sql, what
// follows is Vereine.sql.
inline constexpr std::string_view kFileSeparator = "\n--- Vereine.sql ---\n";

// The fuzz input as bytes.
inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Takes the first byte off input, or gives 0 when there is none.
inline std::uint8_t takeByte(std::string_view& input) {
  if (input.empty()) return 0;
  const auto byte = static_cast<std::uint8_t>(input.front());
  input.remove_prefix(1);
  return byte;
}

// Four bits of a control byte as the way a file is delivered: mapped, or read in pieces of a
// size from 1 byte to more than any one read takes.
inline memory_files::InputShape shapeOf(unsigned bits) {
  static constexpr std::size_t kPieceSizes[] = {1, 2, 3, 7, 16, 61, 4096, 1 << 20};
  return {(bits & 1) == 0, kPieceSizes[(bits >> 1) & 7]};
}

// The two files of a fuzz input.
struct FilePair {
  std::string_view players, clubs;
  bool separated;  // else the input holds no club file at all
};

inline FilePair splitFiles(std::string_view input) {
  const std::size_t at = input.find(kFileSeparator);
  if (at == std::string_view::npos) return {input, {}, false};
  return {input.substr(0, at), input.substr(at + kFileSeparator.size()), true};
}

// Ends the run, so that the fuzzer keeps the input, when actual differs from expected; shows
// the first byte that differs and the bytes around it.
inline void failOnDifference(const char* what, std::string_view actual, std::string_view expected) {
  if (actual == expected) return;
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  const auto show = [at](const char* label, std::string_view bytes) {
    std::fprintf(stderr, "  %-9s (%zu bytes):", label, bytes.size());
    const std::size_t from = at < 16 ? 0 : at - 16;
    for (std::size_t i = from; i < bytes.size() && i < at + 16; ++i) {
      std::fprintf(stderr, i == at ? " [%02x]" : " %02x", static_cast<unsigned char>(bytes[i]));
    }
    std::fputc('\n', stderr);
  };
  std::fprintf(stderr, "%s: first difference at byte %zu\n", what, at);
  show("converter", actual);
  show("plain", expected);
  std::abort();
}

inline void failUnless(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

}  // namespace fuzz
