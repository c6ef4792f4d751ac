// ANSI-to-OEM conversion on Windows: the system's own, between its own two code pages.
#include <windows.h>

#include <algorithm>

#include "convert/ansi_to_oem.h"

namespace {

constexpr std::size_t kMaxChunk = 1u << 30;  // the call takes its length as a DWORD

}  // namespace

void ansiToOem(std::span<char> text) {
  // CharToOemBuffA, unlike CharToOemA, goes on past a zero byte; in place is allowed.
  for (std::size_t at = 0; at < text.size(); at += kMaxChunk) {
    const auto length = static_cast<DWORD>(std::min(kMaxChunk, text.size() - at));
    CharToOemBuffA(text.data() + at, text.data() + at, length);
  }
}
