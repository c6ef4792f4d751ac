// Byte-string operations with 1-based positions.
#include "text/text_ops.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>

namespace {

static_assert(std::endian::native == std::endian::little, "byte i of a word is bits 8i to 8i+7");

// Sixteen bytes compared at once; GCC and Clang turn this into the vector instructions of any
// target that has them.
using Block = unsigned char __attribute__((vector_size(16)));

std::string_view asView(std::span<const char> s) { return {s.data(), s.size()}; }

Block loadBlock(const char* at) {
  Block block;
  std::memcpy(&block, at, sizeof block);
  return block;
}

// Byte i of a block of comparison results (0 or 0xFF each) as bits 8i to 8i+7 of a word pair.
struct BlockBits {
  std::uint64_t half[2];
};

BlockBits bitsOf(Block block) {
  BlockBits bits;
  std::memcpy(bits.half, &block, sizeof bits.half);
  return bits;
}

bool startsWith(const char* at, std::string_view p) {
  return std::memcmp(at, p.data(), p.size()) == 0;
}

// Whether a place whose first and last byte match p holds p; the bytes between are few, too few
// to be worth a call of memcmp.
bool middleMatches(const char* at, std::string_view p) {
  for (std::size_t i = 1; i + 1 < p.size(); ++i) {
    if (at[i] != p[i]) return false;
  }
  return true;
}

// Calls found(offset), in order, for each place from offset `from` on where the first and the
// last byte of p match; found compares the rest and returns false to stop the search. Sixteen
// places are tested at once. Testing both ends keeps the calls rare: the list's patterns begin
// with a comma, which is frequent, but seldom with the pattern's last byte at the right distance.
template <typename Found>
void scanForCandidates(std::string_view s, std::size_t from, std::string_view p, Found found) {
  const std::size_t last = p.size() - 1;
  const auto first = static_cast<unsigned char>(p.front());
  const auto final = static_cast<unsigned char>(p.back());
  std::size_t at = from;
  for (; at + last + sizeof(Block) <= s.size(); at += sizeof(Block)) {
    const BlockBits candidates =
        bitsOf((loadBlock(s.data() + at) == first) & (loadBlock(s.data() + at + last) == final));
    for (std::size_t half = 0; half < 2; ++half) {
      for (std::uint64_t bits = candidates.half[half]; bits != 0;) {
        const auto byte = static_cast<std::size_t>(std::countr_zero(bits)) / 8;
        if (!found(at + 8 * half + byte)) return;
        bits &= ~(std::uint64_t{0xFF} << (8 * byte));
      }
    }
  }
  for (; at + last < s.size(); ++at) {
    if (static_cast<unsigned char>(s[at]) == first &&
        static_cast<unsigned char>(s[at + last]) == final && !found(at)) {
      return;
    }
  }
}

// Offset of the first occurrence of p in s at or after offset from, or npos.
std::size_t firstOccurrence(std::string_view s, std::size_t from, std::string_view p) {
  std::size_t match = std::string_view::npos;
  scanForCandidates(s, from, p, [&](std::size_t place) {
    if (!middleMatches(s.data() + place, p)) return true;
    match = place;
    return false;
  });
  return match;
}

}  // namespace

std::string_view leftChars(std::string_view s, TextPos n) {
  if (n <= 0) return {};
  return s.substr(0, static_cast<std::size_t>(std::min(n, textLength(s))));
}

std::string_view midChars(std::string_view s, TextPos start, TextPos count) {
  const TextPos length = textLength(s);
  if (start < 1 || start > length || count == 0) return {};
  const TextPos rest = length - start + 1;
  const TextPos taken = count < 0 ? rest : std::min(count, rest);
  return s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(taken));
}

TextPos findText(TextPos start, std::string_view s, std::string_view p) {
  if (s.empty() || p.empty() || start < 1 || start > textLength(s) || p.size() > s.size()) {
    return 0;
  }
  const std::size_t at = firstOccurrence(s, static_cast<std::size_t>(start - 1), p);
  return at == std::string_view::npos ? 0 : static_cast<TextPos>(at) + 1;
}

std::string_view trimLeadingPattern(std::string_view s, std::string_view p) {
  assert(!p.empty());
  while (s.size() >= p.size() && startsWith(s.data(), p)) s.remove_prefix(p.size());
  return s;
}

std::string_view trimTrailingPattern(std::string_view s, std::string_view p) {
  assert(!p.empty());
  while (s.size() >= p.size() && startsWith(s.data() + s.size() - p.size(), p)) {
    s.remove_suffix(p.size());
  }
  return s;
}

void overwriteAt(std::span<char> s, TextPos start, TextPos count, std::string_view src) {
  const TextPos length = static_cast<TextPos>(s.size());
  if (s.empty() || src.empty() || start < 1 || start > length || count == 0) return;
  if (count < 0 || count > textLength(src)) count = textLength(src);
  const TextPos copied = std::min(count, length - start + 1);
  std::copy_n(src.data(), copied, s.begin() + (start - 1));
}

void replaceEvery(std::span<char> s, std::string_view p, std::string_view replacement) {
  assert(p.size() == replacement.size());
  // What is overwritten no longer matches, and occurrences cannot overlap: one pass finds all.
  scanForCandidates(asView(s), 0, p, [&](std::size_t place) {
    if (!middleMatches(s.data() + place, p)) return true;
    // a loop: the bytes are too few to be worth a call of memcpy
    for (std::size_t i = 0; i < replacement.size(); ++i) s[place + i] = replacement[i];
    return true;
  });
}
