// Byte-string operations with 1-based positions.
#include "text/text_ops.h"

#include <algorithm>
#include <cassert>

namespace {

std::string_view asView(std::span<const char> s) { return {s.data(), s.size()}; }

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
  const std::size_t at = s.find(p, static_cast<std::size_t>(start - 1));
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
