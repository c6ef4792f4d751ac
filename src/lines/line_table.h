// The lines of one input file, held in one buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

// A table of lines numbered from 1, in file order. The bytes of all lines stand one after the
// other in a single buffer, without their line ends; the table keeps where each line ends.
// It grows with its input: there is no fixed number of lines.
class LineTable {
 public:
  LineTable() = default;
  LineTable(LineTable&&) noexcept = default;
  LineTable& operator=(LineTable&&) noexcept = default;

  // Number of lines held.
  std::size_t count() const { return ends_.size(); }

  // The bytes of line number (1-based). REQUIRES: 1 <= number <= count().
  std::string_view line(std::size_t number) const;
  // The same bytes, to be changed in place.
  std::span<char> mutableLine(std::size_t number);

  // Adds text as a line after the last one.
  void append(std::string_view text);

  // Raw access for the file reader, which fills the buffer and frames the lines itself.
  // Bytes from byteCount() on are free for use and belong to no line.

  // Bytes held by the lines.
  std::size_t byteCount() const { return ends_.empty() ? 0 : ends_.back(); }
  // The whole buffer, free space included.
  char* buffer() { return bytes_.get(); }
  std::size_t capacity() const { return capacity_; }
  // Makes the buffer hold at least size bytes, keeping the first `keep` bytes.
  // Throws std::bad_alloc when memory runs out.
  void growBuffer(std::size_t size, std::size_t keep);
  // Ends a line whose bytes stand at byteCount() up to end.
  void endLineAt(std::size_t end) { ends_.push_back(end); }
  // Forgets the last line.
  void dropLastLine() { ends_.pop_back(); }

 private:
  std::size_t lineBegin(std::size_t number) const;

  std::unique_ptr<char[]> bytes_;
  std::size_t capacity_ = 0;
  std::vector<std::uint64_t> ends_;
};
