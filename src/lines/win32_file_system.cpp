// File calls on Windows.
#include <windows.h>
// after windows.h, which it needs
#include <bcrypt.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "lines/file_system.h"
#include "text/win32_utf16.h"

namespace {

constexpr int kMaxNameTries = 16;
constexpr DWORD kMaxTransfer = 1u << 30;  // one ReadFile or WriteFile moves a DWORD at most
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE fileHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::intptr_t storedHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(handle);
}

// The errno value that names the same failure, so that the messages and their texts are the
// ones the program gives on POSIX systems.
int errnoFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_CANNOT_MAKE:
      return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_TOO_LARGE:
      return EFBIG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    default:
      return EIO;
  }
}

FileError lastError(const char* step) { return {step, errnoFor(GetLastError())}; }

bool isDirectory(const std::wstring& name) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The file that name finally stands for when it is a link (or a junction on its way), so that
// the link stays and the file it leads to gets the list; name itself when nothing is there yet.
FileError resolveLinks(const std::wstring& name, std::wstring& path) {
  path = name;
  const HANDLE existing = CreateFileW(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (existing == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? FileError{} : FileError{"create", errnoFor(error)};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(existing, &info) != 0;
  std::wstring final(MAX_PATH, L'\0');
  DWORD length;
  while ((length = GetFinalPathNameByHandleW(
              existing, final.data(), static_cast<DWORD>(final.size()), 0)) >= final.size()) {
    final.resize(length + 1);
  }
  CloseHandle(existing);
  if (known && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {"create", EISDIR};
  if (length > 0) path.assign(final.data(), length);
  return {};
}

// A file name beside path that nobody can guess in advance.
FileError unpredictableNameBeside(const std::wstring& path, std::wstring& name) {
  unsigned char noise[8];
  if (!BCRYPT_SUCCESS(
          BCryptGenRandom(nullptr, noise, sizeof noise, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    return {"create", EIO};
  }
  wchar_t hex[2 * sizeof noise + 1];
  for (std::size_t i = 0; i < sizeof noise; ++i) {
    std::swprintf(hex + 2 * i, 3, L"%02x", static_cast<unsigned>(noise[i]));
  }
  name = path + L".tmp-" + hex;
  return {};
}

}  // namespace

std::string systemErrorText(int code) {
  // The C library of Windows words some of these otherwise; the messages must read alike.
  switch (code) {
    case ENOENT:
      return "No such file or directory";
    case EACCES:
      return "Permission denied";
    case EBUSY:
      return "Device or resource busy";
    case EEXIST:
      return "File exists";
    case EISDIR:
      return "Is a directory";
    case ENOTDIR:
      return "Not a directory";
    case ENOSPC:
      return "No space left on device";
    case EFBIG:
      return "File too large";
    case ENOMEM:
      return "Cannot allocate memory";
    case ENAMETOOLONG:
      return "File name too long";
    case EINVAL:
      return "Invalid argument";
    case EIO:
      return "Input/output error";
    default:
      return std::strerror(code);
  }
}

// The inputs are read, not mapped: a mapped view that fails to page in (a network share that
// goes away, a bad sector) raises an exception in the middle of the line framing instead of
// giving a read error, and reading a dump costs about as much as mapping it.
FileMapping::~FileMapping() = default;

InputFile::~InputFile() {
  if (handle_ != -1) CloseHandle(fileHandle(handle_));
}

FileError InputFile::open(const char* name) {
  const std::wstring wide = utf16FromUtf8(name);
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    // Windows refuses to open a directory as a file with "access denied".
    const DWORD error = GetLastError();
    return {"open", error == ERROR_ACCESS_DENIED && isDirectory(wide) ? EISDIR : errnoFor(error)};
  }
  name_ = name;
  handle_ = storedHandle(file);
  LARGE_INTEGER size{};
  const bool regular = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size);
  sizeHint_ = regular ? static_cast<std::uint64_t>(size.QuadPart) : 0;
  return {};
}

FileError InputFile::map(FileMapping& mapping) {
  mapping = FileMapping();
  return {};
}

FileError InputFile::read(char* dest, std::size_t size, std::size_t& got) {
  DWORD n = 0;
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, kMaxTransfer));
  if (!ReadFile(fileHandle(handle_), dest, wanted, &n, nullptr)) {
    // the writer of a pipe has closed it: its end of file
    if (GetLastError() != ERROR_BROKEN_PIPE) return lastError("read");
    n = 0;
  }
  got = n;
  return {};
}

ReplacementFile::~ReplacementFile() { discard(); }

FileError ReplacementFile::create(const char* name) {
  std::wstring target;
  if (FileError error = resolveLinks(utf16FromUtf8(name), target)) return error;
  std::wstring temporary;
  for (int attempt = 0; attempt < kMaxNameTries && handle_ == -1; ++attempt) {
    if (FileError error = unpredictableNameBeside(target, temporary)) return error;
    // CREATE_NEW never opens a file, or a link, that is already there.
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
      return lastError("create");
    }
    handle_ = storedHandle(file);
  }
  if (handle_ == -1) return {"create", EEXIST};
  target_ = utf8FromUtf16(target);
  temporary_ = utf8FromUtf16(temporary);
  return {};
}

FileError ReplacementFile::write(const char* data, std::size_t size) {
  while (size > 0) {
    DWORD n = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, kMaxTransfer));
    if (!WriteFile(fileHandle(handle_), data, wanted, &n, nullptr)) return lastError("write");
    if (n == 0) return {"write", ENOSPC};
    data += n;
    size -= n;
    written_ += n;
  }
  startWritingBack();
  return {};
}

// The cache manager of Windows already writes a file back in the background as it grows.
void ReplacementFile::startWritingBack() { sentToDisk_ = written_; }

FileError ReplacementFile::commit() {
  if (!FlushFileBuffers(fileHandle(handle_))) return lastError("flush");
  const bool closed = CloseHandle(fileHandle(handle_)) != 0;
  handle_ = -1;
  if (!closed) return lastError("flush");
  if (!MoveFileExW(utf16FromUtf8(temporary_).c_str(), utf16FromUtf8(target_).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return lastError("replace");
  }
  temporary_.clear();
  return {};
}

void ReplacementFile::discard() {
  if (handle_ != -1) CloseHandle(fileHandle(handle_));
  handle_ = -1;
  if (!temporary_.empty()) DeleteFileW(utf16FromUtf8(temporary_).c_str());
  temporary_.clear();
}
