// ANSI-to-OEM conversion through the built-in 1252-to-850 table, for systems without code pages.
#include <cstdint>
#include <cstring>

#include "convert/ansi_to_oem.h"
#include "convert/code_page_table.h"

namespace {

// Sixteen bytes looked at at once; GCC and Clang use the target's vector instructions.
using Block = unsigned char __attribute__((vector_size(16)));

constexpr bool keepsEveryByteBelow0x80() {
  for (unsigned byte = 0; byte < 0x80; ++byte) {
    if (kCp1252ToCp850[byte] != byte) return false;
  }
  return true;
}
// Lets sixteen bytes below 0x80, most of any list, pass without a look at the table.
static_assert(keepsEveryByteBelow0x80());

void convertByte(char& byte) {
  byte = static_cast<char>(kCp1252ToCp850[static_cast<unsigned char>(byte)]);
}

bool hasByteFrom0x80(Block block) {
  const Block high = block & 0x80;
  std::uint64_t halves[2];
  std::memcpy(halves, &high, sizeof halves);
  return (halves[0] | halves[1]) != 0;
}

}  // namespace

void ansiToOem(std::span<char> text) {
  std::size_t at = 0;
  for (; at + sizeof(Block) <= text.size(); at += sizeof(Block)) {
    Block block;
    std::memcpy(&block, text.data() + at, sizeof block);
    if (!hasByteFrom0x80(block)) continue;
    for (std::size_t i = at; i < at + sizeof block; ++i) convertByte(text[i]);
  }
  for (; at < text.size(); ++at) convertByte(text[at]);
}
