// Reading a text file into a line table, and writing the list file line by line.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>

#include "lines/file_system.h"
#include "lines/line_table.h"

// Answers whether the reading should stop; asked once after every line.
using AbortQuery = bool (*)();

struct ReadResult {
  std::size_t count = 0;  // lines kept
  FileError error;        // step "open" when the file could not be opened, else "read"
};

// Reads the lines of the named file into table, in file order. Lines are framed as a text-mode
// stream frames them: a line ends at LF, and up to two CRs before the LF are not part of it (the
// stream turns CR LF into LF, then the line drops a CR before its LF); a last line without LF
// loses one trailing CR; a byte 0x1A ends the input; every other byte, zero included, belongs
// to the line. When abortQuery answers yes, the line just read is not kept and reading stops.
// A line is handed on as soon as its LF has arrived, so a pipe is read as it is written.
ReadResult readLineFile(const char* name, LineTable& table, AbortQuery abortQuery);

// The output file: written through a large buffer, and put in the place of any earlier file
// of that name only by commit(). Until then the earlier file stays as it was.
class OutputFile {
 public:
  static constexpr std::size_t kBufferSize = 128 * 1024;

  // Creates the file, empty.
  FileError create(const char* name);
  // Writes the bytes of text and then of more, followed by CR LF.
  FileError writeLine(std::string_view text, std::string_view more = {});
  // Sets room to the next bytes of the file, to be filled in place by the caller: size of them
  // when size <= kBufferSize, else kBufferSize or fewer, but at least one.
  FileError appendSpace(std::size_t size, std::span<char>& room);
  // Writes out what is buffered and replaces the earlier file.
  FileError commit();

 private:
  FileError append(std::string_view bytes);
  FileError flush();

  ReplacementFile file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};
