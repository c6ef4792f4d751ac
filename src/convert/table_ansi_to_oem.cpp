// ANSI-to-OEM conversion through the built-in 1252-to-850 table, for systems without code pages.
#include <algorithm>

#include "convert/ansi_to_oem.h"
#include "convert/code_page_table.h"

void ansiToOem(std::span<char> text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char byte) {
    return static_cast<char>(kCp1252ToCp850[static_cast<unsigned char>(byte)]);
  });
}
