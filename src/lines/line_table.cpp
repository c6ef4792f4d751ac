// A table of lines in one buffer.
#include "lines/line_table.h"

#include <cassert>
#include <cstring>

namespace {

constexpr char kCarriageReturn = '\r';

}  // namespace

std::string_view LineTable::line(std::size_t number) const {
  assert(number >= 1 && number <= count());
  const std::size_t begin = number == 1 ? 0 : static_cast<std::size_t>(ends_[number - 2]) + 1;
  std::size_t end = static_cast<std::size_t>(ends_[number - 1]);
  int carriageReturns = end < inputSize_ ? 2 : 1;
  for (; carriageReturns > 0 && end > begin && bytes_[end - 1] == kCarriageReturn;
       --carriageReturns) {
    --end;
  }
  return {bytes_ + begin, end - begin};
}

void LineTable::useMapping(FileMapping&& mapping) {
  mapping_ = std::move(mapping);
  owned_.reset();
  capacity_ = mapping_.size();
  bytes_ = mapping_.data();
}

char* LineTable::growBuffer(std::size_t size, std::size_t keep) {
  assert(keep <= capacity_);
  if (owned_ && size <= capacity_) return owned_.get();
  // new[] without initialisation: pages the input never fills are never touched.
  std::unique_ptr<char[]> bigger(new char[size]);
  if (keep != 0) std::memcpy(bigger.get(), bytes_, keep);
  owned_ = std::move(bigger);
  mapping_ = FileMapping();
  capacity_ = size;
  bytes_ = owned_.get();
  return owned_.get();
}
