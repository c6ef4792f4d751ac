// The file calls of lines/file_system.h on files held in memory.
#include "memory_file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <utility>

#include "lines/file_system.h"

namespace {

struct MemoryFile {
  std::string bytes;
  memory_files::InputShape shape;
};

struct OpenInput {
  const MemoryFile* file;
  std::size_t readSoFar = 0;
};

std::map<std::string, MemoryFile>& store() {
  static std::map<std::string, MemoryFile> files;
  return files;
}

std::size_t writeLimit = std::numeric_limits<std::size_t>::max();

OpenInput& openInput(std::intptr_t handle) { return *reinterpret_cast<OpenInput*>(handle); }

}  // namespace

namespace memory_files {

void reset() {
  store().clear();
  writeLimit = std::numeric_limits<std::size_t>::max();
}

void putInput(const std::string& name, std::string_view bytes, InputShape shape) {
  store()[name] = {std::string(bytes), shape};
}

void putFile(const std::string& name, std::string_view bytes) { putInput(name, bytes); }

bool exists(const std::string& name) { return store().contains(name); }

const std::string& bytesOf(const std::string& name) { return store().at(name).bytes; }

std::size_t fileCount() { return store().size(); }

void failWritesBeyond(std::size_t bytes) { writeLimit = bytes; }

}  // namespace memory_files

std::string systemErrorText(int code) { return std::strerror(code); }

// A mapping is a heap block of exactly the file's size, so that AddressSanitizer reports any
// read past the end of the input, which a real mapping's page slack would hide.
FileMapping::~FileMapping() { delete[] static_cast<char*>(base_); }

InputFile::~InputFile() {
  if (handle_ >= 0) delete &openInput(handle_);
}

FileError InputFile::open(const char* name) {
  const auto found = store().find(name);
  if (found == store().end()) return {"open", ENOENT};
  name_ = name;
  handle_ = reinterpret_cast<std::intptr_t>(new OpenInput{&found->second});
  sizeHint_ = found->second.shape.mapped ? found->second.bytes.size() : 0;
  return {};
}

FileError InputFile::map(FileMapping& mapping) {
  mapping = FileMapping();
  const MemoryFile& file = *openInput(handle_).file;
  if (!file.shape.mapped || file.bytes.empty()) return {};
  char* copy = new char[file.bytes.size()];
  std::memcpy(copy, file.bytes.data(), file.bytes.size());
  mapping.base_ = copy;
  mapping.size_ = file.bytes.size();
  return {};
}

FileError InputFile::read(char* dest, std::size_t size, std::size_t& got) {
  OpenInput& input = openInput(handle_);
  const std::string& bytes = input.file->bytes;
  got = std::min({size, std::max<std::size_t>(input.file->shape.pieceSize, 1),
                  bytes.size() - input.readSoFar});
  std::memcpy(dest, bytes.data() + input.readSoFar, got);
  input.readSoFar += got;
  return {};
}

ReplacementFile::~ReplacementFile() { discard(); }

FileError ReplacementFile::create(const char* name) {
  target_ = name;
  temporary_ = target_ + ".tmp-memory";
  store()[temporary_] = {};
  handle_ = 1;
  return {};
}

FileError ReplacementFile::write(const char* data, std::size_t size) {
  std::string& bytes = store().at(temporary_).bytes;
  const std::size_t room = writeLimit - std::min(writeLimit, bytes.size());
  bytes.append(data, std::min(size, room));
  written_ = bytes.size();
  if (size > room) return {"write", ENOSPC};
  return {};
}

FileError ReplacementFile::commit() {
  handle_ = -1;
  store()[target_] = std::move(store().at(temporary_));
  store().erase(temporary_);
  temporary_.clear();
  return {};
}

void ReplacementFile::discard() {
  handle_ = -1;
  if (!temporary_.empty()) store().erase(temporary_);
  temporary_.clear();
}
