// Line framing of the input files and buffered writing of the list file.
#include "lines/line_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';
constexpr char kEndOfInput = 0x1A;          // a text-mode stream ends here
constexpr int kCrDroppedBeforeLf = 2;       // one by the stream's CR LF, one by the line
constexpr int kCrDroppedAtEnd = 1;          // a last line without LF
constexpr std::size_t kReadRoom = 64 * 1024;  // least free space offered to one read
constexpr std::size_t kOutputBufferSize = 1 << 20;
constexpr std::string_view kLineEnd = "\r\n";

// The input as read so far: the lines kept, then the unfinished line from `pending` on,
// up to `filled`.
struct ReadState {
  LineTable& table;
  std::size_t pending;
  std::size_t filled;
};

// Keeps the bytes from begin to end as the next line, without up to maxCr trailing CRs, and
// moves them down behind the line before, where line ends and dropped bytes left a gap.
void keepLine(LineTable& table, std::size_t begin, std::size_t end, int maxCr) {
  char* bytes = table.buffer();
  for (; maxCr > 0 && end > begin && bytes[end - 1] == kCarriageReturn; --maxCr) --end;
  const std::size_t at = table.byteCount();
  if (at != begin) std::memmove(bytes + at, bytes + begin, end - begin);
  table.endLineAt(at + (end - begin));
}

// Makes at least kReadRoom bytes free after the bytes read: first by closing the gap before
// the unfinished line, then by growing the buffer.
void makeReadRoom(ReadState& state) {
  LineTable& table = state.table;
  if (table.capacity() - state.filled >= kReadRoom) return;
  const std::size_t kept = table.byteCount();
  if (state.pending != kept) {
    std::memmove(table.buffer() + kept, table.buffer() + state.pending,
                 state.filled - state.pending);
    state.filled -= state.pending - kept;
    state.pending = kept;
  }
  if (table.capacity() - state.filled >= kReadRoom) return;
  table.growBuffer(std::max(table.capacity() + table.capacity() / 2, state.filled + kReadRoom),
                   state.filled);
}

// Ends every line whose LF stands in the bytes from `from` on. Returns false when the abort
// query asked to stop; the line it was asked after is then not kept.
bool endCompleteLines(ReadState& state, std::size_t from, AbortQuery abortQuery) {
  const char* bytes = state.table.buffer();
  while (const void* found = std::memchr(bytes + from, kLineFeed, state.filled - from)) {
    const std::size_t lineFeed = static_cast<std::size_t>(static_cast<const char*>(found) - bytes);
    keepLine(state.table, state.pending, lineFeed, kCrDroppedBeforeLf);
    state.pending = from = lineFeed + 1;
    if (abortQuery()) {
      state.table.dropLastLine();
      return false;
    }
  }
  return true;
}

FileError readLines(InputFile& file, LineTable& table, AbortQuery abortQuery) {
  // Room for all of a regular file, so that it is read in one piece and never copied.
  table.growBuffer(table.byteCount() + file.sizeHint() + kReadRoom, table.byteCount());
  ReadState state{table, table.byteCount(), table.byteCount()};
  for (bool atEnd = false; !atEnd;) {
    makeReadRoom(state);
    std::size_t got = 0;
    const FileError error =
        file.read(table.buffer() + state.filled, table.capacity() - state.filled, got);
    if (error) return error;
    if (got == 0) break;
    const char* chunk = table.buffer() + state.filled;
    if (const void* stop = std::memchr(chunk, kEndOfInput, got)) {
      got = static_cast<std::size_t>(static_cast<const char*>(stop) - chunk);
      atEnd = true;
    }
    const std::size_t from = state.filled;
    state.filled += got;
    if (!endCompleteLines(state, from, abortQuery)) return {};
  }
  if (state.pending < state.filled) {
    keepLine(table, state.pending, state.filled, kCrDroppedAtEnd);
    if (abortQuery()) table.dropLastLine();
  }
  return {};
}

}  // namespace

ReadResult readLineFile(const char* name, LineTable& table, AbortQuery abortQuery) {
  InputFile file;
  if (FileError error = file.open(name)) return {0, error};
  const std::size_t before = table.count();
  FileError error;
  try {
    error = readLines(file, table, abortQuery);
  } catch (const std::bad_alloc&) {
    error = {"read", ENOMEM};
  }
  return {table.count() - before, error};
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
