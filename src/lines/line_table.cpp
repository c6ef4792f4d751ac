// A table of lines in one buffer.
#include "lines/line_table.h"

#include <algorithm>
#include <cassert>
#include <cstring>

std::string_view LineTable::line(std::size_t number) const {
  const std::size_t begin = lineBegin(number);
  return {bytes_.get() + begin, ends_[number - 1] - begin};
}

std::span<char> LineTable::mutableLine(std::size_t number) {
  const std::size_t begin = lineBegin(number);
  return {bytes_.get() + begin, ends_[number - 1] - begin};
}

std::size_t LineTable::lineBegin(std::size_t number) const {
  assert(number >= 1 && number <= count());
  return number == 1 ? 0 : ends_[number - 2];
}

void LineTable::append(std::string_view text) {
  const std::size_t used = byteCount();
  if (capacity_ - used < text.size()) {
    growBuffer(std::max(used + text.size(), capacity_ + capacity_ / 2), used);
  }
  std::copy(text.begin(), text.end(), bytes_.get() + used);
  endLineAt(used + text.size());
}

void LineTable::growBuffer(std::size_t size, std::size_t keep) {
  assert(keep <= capacity_);
  if (size <= capacity_) return;
  // new[] without initialisation: pages the file never fills are never touched.
  std::unique_ptr<char[]> bigger(new char[size]);
  if (keep != 0) std::memcpy(bigger.get(), bytes_.get(), keep);
  bytes_ = std::move(bigger);
  capacity_ = size;
}
