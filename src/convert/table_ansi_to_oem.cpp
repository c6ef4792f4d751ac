// ANSI-to-OEM conversion through the built-in 1252-to-850 table, for systems without code pages.
#include <cstdint>
#include <cstring>

#include "convert/ansi_to_oem.h"
#include "convert/code_page_table.h"

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080u;

constexpr bool keepsEveryByteBelow0x80() {
  for (unsigned byte = 0; byte < 0x80; ++byte) {
    if (kCp1252ToCp850[byte] != byte) return false;
  }
  return true;
}
// Lets eight bytes below 0x80, most of any list, pass without a look at the table.
static_assert(keepsEveryByteBelow0x80());

void convertByte(char& byte) {
  byte = static_cast<char>(kCp1252ToCp850[static_cast<unsigned char>(byte)]);
}

}  // namespace

void ansiToOem(std::span<char> text) {
  std::size_t at = 0;
  for (; at + sizeof(std::uint64_t) <= text.size(); at += sizeof(std::uint64_t)) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, sizeof word);
    if ((word & kHighBits) == 0) continue;
    for (std::size_t i = at; i < at + sizeof word; ++i) convertByte(text[i]);
  }
  for (; at < text.size(); ++at) convertByte(text[at]);
}
