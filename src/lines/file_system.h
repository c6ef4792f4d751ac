// The file calls that differ between platforms: reading a file from start to end, and
// replacing a file as a whole so that it is never seen half written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

// A failed file step and the system's error code for it; empty when nothing failed.
struct FileError {
  const char* step = nullptr;  // the verb of the message: "open", "read", "write", ...
  int code = 0;
  explicit operator bool() const { return step != nullptr; }
};

// The system's text for an error code, e.g. "No such file or directory".
std::string systemErrorText(int code);

// All bytes of a regular file, mapped into memory read-only. Unmapped by the destructor.
class FileMapping {
 public:
  FileMapping() = default;
  FileMapping(FileMapping&& other) noexcept
      : base_(std::exchange(other.base_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  FileMapping& operator=(FileMapping&& other) noexcept {
    if (this != &other) {
      this->~FileMapping();
      base_ = std::exchange(other.base_, nullptr);
      size_ = std::exchange(other.size_, 0);
    }
    return *this;
  }
  ~FileMapping();  // each platform unmaps in its own way

  const char* data() const { return static_cast<const char*>(base_); }
  std::size_t size() const { return size_; }

 private:
  friend class InputFile;
  void* base_ = nullptr;
  std::size_t size_ = 0;
};

// An input file, read from start to end. Closed by its destructor.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // Opens name for reading. A directory cannot be opened.
  FileError open(const char* name);
  // Size of the file when it is a regular file, else 0 (a pipe has no size).
  std::uint64_t sizeHint() const { return sizeHint_; }
  // Maps all of a regular file that is not empty; leaves mapping empty for anything else (a
  // pipe), which is then read. Should the file shrink or fail while mapped, the program ends
  // with a message naming it, removing an unfinished list first.
  FileError map(FileMapping& mapping);
  // Reads up to size bytes into dest and sets got to their count, 0 at the end of the file.
  // Returns as soon as some bytes have arrived, so a pipe is read as it is written.
  FileError read(char* dest, std::size_t size, std::size_t& got);

 private:
  const char* name_ = "";
  std::intptr_t handle_ = -1;
  std::uint64_t sizeHint_ = 0;
};

// A file written in full beside the one it replaces, then put in its place in one step: a
// reader, or a run that is killed, sees the old file or the whole new one, never a part.
// What is not committed is removed by the destructor and leaves the old file as it was.
class ReplacementFile {
 public:
  ReplacementFile() = default;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile();

  // Creates a new, empty temporary file in the directory of name (of the file it points to when
  // name is a symbolic link). The file will get the old file's permissions, or the default
  // ones for a new file.
  FileError create(const char* name);
  // Appends size bytes.
  FileError write(const char* data, std::size_t size);
  // Flushes the bytes to disk and puts the temporary file in the place of the old one.
  FileError commit();

 private:
  void discard();
  void startWritingBack();

  std::intptr_t handle_ = -1;
  std::uint64_t written_ = 0;
  std::uint64_t sentToDisk_ = 0;
  std::string target_;
  std::string temporary_;
};
