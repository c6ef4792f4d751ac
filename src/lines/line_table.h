// The lines of one input file, held in one buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "lines/file_system.h"

// A table of lines numbered from 1, in file order. The table holds the input's bytes as they
// were read, line ends included, in one buffer (the mapped file, or a buffer the reader fills),
// and for each line where it ends: 8 bytes a line. It grows with its input: there is no fixed
// number of lines.
class LineTable {
 public:
  // Number of lines held.
  std::size_t count() const { return ends_.size(); }

  // The bytes of line number (1-based), without its line end: up to two CRs before its LF (one
  // stands for the CR LF a text-mode stream turns into LF, one is the CR a line drops before
  // its LF), or one trailing CR of a last line without LF. REQUIRES: 1 <= number <= count().
  std::string_view line(std::size_t number) const;

  // For the reader, which fills the table and frames the lines.

  // Makes the table's bytes those of mapping.
  void useMapping(FileMapping&& mapping);
  // A buffer of its own, holding at least size bytes, the first `keep` of them kept. Throws
  // std::bad_alloc when memory runs out.
  char* growBuffer(std::size_t size, std::size_t keep);
  std::size_t capacity() const { return capacity_; }
  const char* bytes() const { return bytes_; }
  // Sets how many bytes of the buffer are input: the input ends there.
  void setInputSize(std::size_t size) { inputSize_ = size; }
  // Ends a line at offset end: at its LF, or at the end of the input for a last line without LF.
  void endLineAt(std::size_t end) { ends_.push_back(end); }
  // Forgets the last line.
  void dropLastLine() { ends_.pop_back(); }

 private:
  FileMapping mapping_;
  std::unique_ptr<char[]> owned_;
  std::size_t capacity_ = 0;
  const char* bytes_ = nullptr;
  std::size_t inputSize_ = 0;
  std::vector<std::uint64_t> ends_;
};
