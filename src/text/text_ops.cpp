// Byte-string operations with 1-based positions.
#include "text/text_ops.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>

namespace {

static_assert(std::endian::native == std::endian::little, "byte i of a word is bits 8i to 8i+7");

constexpr std::uint64_t kLowBits = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

std::string_view asView(std::span<const char> s) { return {s.data(), s.size()}; }

std::uint64_t loadWord(const char* at) {
  std::uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

// The high bit of every byte of word that equals byte, and perhaps of a few bytes above one that
// does; never misses one.
std::uint64_t bytesEqual(std::uint64_t word, unsigned char byte) {
  const std::uint64_t diff = word ^ (kLowBits * byte);
  return (diff - kLowBits) & ~diff & kHighBits;
}

// Offset of the first occurrence of p in s at or after offset from, or npos. Looks at eight
// places at once for the first and the last byte of p, so that only places where both match
// are compared in full: the list's patterns begin with a comma, which is frequent, but a comma
// with the last byte of the pattern at the right distance after it is rare.
std::size_t firstOccurrence(std::string_view s, std::size_t from, std::string_view p) {
  const std::size_t last = p.size() - 1;
  const auto first = static_cast<unsigned char>(p.front());
  const auto final = static_cast<unsigned char>(p.back());
  std::size_t at = from;
  for (; at + last + sizeof(std::uint64_t) <= s.size(); at += sizeof(std::uint64_t)) {
    std::uint64_t candidates =
        bytesEqual(loadWord(s.data() + at), first) & bytesEqual(loadWord(s.data() + at + last), final);
    while (candidates != 0) {
      const std::size_t place = at + static_cast<std::size_t>(std::countr_zero(candidates)) / 8;
      if (s.compare(place, p.size(), p) == 0) return place;
      candidates &= candidates - 1;
    }
  }
  return s.find(p, at);
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
  while (s.size() >= p.size() && s.substr(0, p.size()) == p) s.remove_prefix(p.size());
  return s;
}

std::string_view trimTrailingPattern(std::string_view s, std::string_view p) {
  assert(!p.empty());
  while (s.size() >= p.size() && s.substr(s.size() - p.size()) == p) s.remove_suffix(p.size());
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
  const TextPos step = textLength(p);
  for (TextPos at = findText(1, asView(s), p); at != 0; at = findText(at + step, asView(s), p)) {
    overwriteAt(s, at, step, replacement);
  }
}
