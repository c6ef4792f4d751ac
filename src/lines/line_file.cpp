// Line framing of the input files and buffered writing of the list file.
#include "lines/line_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

constexpr char kLineFeed = '\n';
constexpr char kEndOfInput = 0x1A;            // a text-mode stream ends here
constexpr std::size_t kReadRoom = 64 * 1024;  // least free space offered to one read
constexpr std::size_t kOutputBufferSize = OutputFile::kBufferSize;
constexpr std::string_view kLineEnd = "\r\n";

// Where the input ends among size new bytes: at a byte 0x1A, if there is one.
std::size_t inputIn(const char* bytes, std::size_t size, bool& atEnd) {
  const void* stop = std::memchr(bytes, kEndOfInput, size);
  atEnd = stop != nullptr;
  return atEnd ? static_cast<std::size_t>(static_cast<const char*>(stop) - bytes) : size;
}

// Ends every line whose LF stands between from and filled; the next line begins at `pending`.
// Returns false when the abort query asked to stop; the line it was asked after is then not kept.
bool endCompleteLines(LineTable& table, std::size_t from, std::size_t filled, std::size_t& pending,
                      AbortQuery abortQuery) {
  const char* bytes = table.bytes();
  while (const void* found = std::memchr(bytes + from, kLineFeed, filled - from)) {
    const auto lineFeed = static_cast<std::size_t>(static_cast<const char*>(found) - bytes);
    table.endLineAt(lineFeed);
    pending = from = lineFeed + 1;
    if (abortQuery()) {
      table.dropLastLine();
      return false;
    }
  }
  return true;
}

// Keeps a last line without LF, unless the abort query asks to stop after it.
void endLastLine(LineTable& table, std::size_t pending, std::size_t filled, AbortQuery abortQuery) {
  if (pending == filled) return;
  table.endLineAt(filled);
  if (abortQuery()) table.dropLastLine();
}

FileError frameMappedFile(FileMapping&& mapping, LineTable& table, AbortQuery abortQuery) {
  table.useMapping(std::move(mapping));
  bool atEnd;
  const std::size_t size = inputIn(table.bytes(), table.capacity(), atEnd);
  table.setInputSize(size);
  std::size_t pending = 0;
  if (endCompleteLines(table, 0, size, pending, abortQuery)) {
    endLastLine(table, pending, size, abortQuery);
  }
  return {};
}

// Reads a file that cannot be mapped, a pipe, as its bytes arrive.
FileError readArrivingBytes(InputFile& file, LineTable& table, AbortQuery abortQuery) {
  std::size_t filled = 0;
  std::size_t pending = 0;
  bool atEnd = false;
  char* buffer = table.growBuffer(file.sizeHint() + kReadRoom, 0);
  while (!atEnd) {
    if (table.capacity() - filled < kReadRoom) {
      buffer = table.growBuffer(
          std::max(table.capacity() + table.capacity() / 2, filled + kReadRoom), filled);
    }
    char* room = buffer + filled;
    std::size_t got = 0;
    if (FileError error = file.read(room, table.capacity() - filled, got)) {
      table.setInputSize(filled);
      return error;
    }
    if (got == 0) break;
    const std::size_t from = filled;
    filled += inputIn(room, got, atEnd);
    table.setInputSize(filled);
    if (!endCompleteLines(table, from, filled, pending, abortQuery)) return {};
  }
  endLastLine(table, pending, filled, abortQuery);
  return {};
}

FileError readLines(InputFile& file, LineTable& table, AbortQuery abortQuery) {
  FileMapping mapping;
  if (FileError error = file.map(mapping)) return error;
  if (mapping.size() != 0) return frameMappedFile(std::move(mapping), table, abortQuery);
  return readArrivingBytes(file, table, abortQuery);
}

}  // namespace

ReadResult readLineFile(const char* name, LineTable& table, AbortQuery abortQuery) {
  InputFile file;
  if (FileError error = file.open(name)) return {0, error};
  table = LineTable();
  FileError error;
  try {
    error = readLines(file, table, abortQuery);
  } catch (const std::bad_alloc&) {
    error = {"read", ENOMEM};
  }
  return {table.count(), error};
}

FileError OutputFile::create(const char* name) {
  if (FileError error = file_.create(name)) return error;
  buffer_.reset(new (std::nothrow) char[kOutputBufferSize]);
  if (!buffer_) return {"create", ENOMEM};
  used_ = 0;
  return {};
}

FileError OutputFile::writeLine(std::string_view text, std::string_view more) {
  if (FileError error = append(text)) return error;
  if (FileError error = append(more)) return error;
  return append(kLineEnd);
}

FileError OutputFile::appendSpace(std::size_t size, std::span<char>& room) {
  if (used_ == kOutputBufferSize || (size > kOutputBufferSize - used_ && used_ != 0)) {
    if (FileError error = flush()) return error;
  }
  const std::size_t given = std::min(size, kOutputBufferSize - used_);
  room = {buffer_.get() + used_, given};
  used_ += given;
  return {};
}

FileError OutputFile::commit() {
  if (FileError error = flush()) return error;
  return file_.commit();
}

FileError OutputFile::append(std::string_view bytes) {
  if (bytes.empty()) return {};
  if (bytes.size() > kOutputBufferSize - used_) {
    if (FileError error = flush()) return error;
    // Too long for the buffer: straight to the file, without a copy.
    if (bytes.size() >= kOutputBufferSize) return file_.write(bytes.data(), bytes.size());
  }
  std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
  return {};
}

FileError OutputFile::flush() {
  const std::size_t size = used_;
  used_ = 0;
  return file_.write(buffer_.get(), size);
}
