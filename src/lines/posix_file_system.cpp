// File calls on POSIX systems.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "lines/file_system.h"

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel's own limit for a path
constexpr int kMaxNameTries = 16;
constexpr std::uint64_t kWriteBackStep = 4 << 20;

int descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

// What the bus-error handler needs, prepared beforehand: it may only make system calls.
struct MappingGuard {
  const char* base = nullptr;
  std::size_t size = 0;
  char message[512] = {};
};
MappingGuard mappingGuards[4];  // the program maps its two inputs one after the other
char temporaryInUse[4096];      // the unfinished list, to be removed; empty when there is none

// A mapped file that shrinks, or whose disk fails, raises SIGBUS on the next access to it.
void onBusError(int, siginfo_t* info, void*) {
  const char* address = static_cast<const char*>(info->si_addr);
  const char* message = "dwzliste: cannot read an input file: it changed or failed while read\n";
  for (const MappingGuard& guard : mappingGuards) {
    if (guard.base != nullptr && address >= guard.base && address < guard.base + guard.size) {
      message = guard.message;
    }
  }
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, std::strlen(message));
  if (temporaryInUse[0] != '\0') ::unlink(temporaryInUse);
  _exit(1);
}

void guardMapping(const void* base, std::size_t size, const char* name) {
  for (MappingGuard& guard : mappingGuards) {
    if (guard.base != nullptr) continue;
    std::snprintf(guard.message, sizeof guard.message,
                  "dwzliste: cannot read %s: the file changed or failed while it was read\n", name);
    guard.size = size;
    guard.base = static_cast<const char*>(base);
    break;
  }
  struct sigaction action {};
  action.sa_sigaction = onBusError;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, nullptr);
}

void unguardMapping(const void* base) {
  for (MappingGuard& guard : mappingGuards) {
    if (guard.base == base) guard.base = nullptr;
  }
}

void rememberTemporary(const std::string& path) {
  if (path.size() < sizeof temporaryInUse) {
    std::memcpy(temporaryInUse, path.c_str(), path.size() + 1);
  }
}

// Follows name through any chain of symbolic links to the file it finally names, which need
// not exist yet.
FileError resolveLinks(const char* name, std::string& path) {
  path = name;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
      return errno == ENOENT ? FileError{} : FileError{"create", errno};
    }
    if (!S_ISLNK(info.st_mode)) return {};
    std::string target(4096, '\0');
    ssize_t length;
    while ((length = readlink(path.c_str(), target.data(), target.size())) ==
           static_cast<ssize_t>(target.size())) {
      target.resize(target.size() * 2);
    }
    if (length < 0) return {"create", errno};
    target.resize(static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    path = target.front() == '/' || slash == std::string::npos ? target
                                                               : path.substr(0, slash + 1) + target;
  }
  return {"create", ELOOP};
}

// A file name beside path that nobody can guess in advance.
FileError unpredictableNameBeside(const std::string& path, std::string& name) {
  unsigned char noise[8];
  if (getrandom(noise, sizeof noise, 0) != static_cast<ssize_t>(sizeof noise)) {
    return {"create", errno};
  }
  char hex[2 * sizeof noise + 1];
  for (std::size_t i = 0; i < sizeof noise; ++i) {
    std::snprintf(hex + 2 * i, 3, "%02x", static_cast<unsigned>(noise[i]));
  }
  name = path + ".tmp-" + hex;
  return {};
}

// The kernel tells the mask without changing it; setting and restoring it, the fallback for
// kernels before 4.7, briefly changes it for every thread of the process (the window's too).
mode_t currentUmask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask);
  }
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

mode_t defaultModeForNewFile() { return static_cast<mode_t>(0666 & ~currentUmask()); }

// Makes the rename itself durable; the list is already complete, so a failure here is not one.
void syncDirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  ::close(fd);
}

}  // namespace

std::string systemErrorText(int code) { return std::strerror(code); }

FileMapping::~FileMapping() {
  if (base_ == nullptr) return;
  unguardMapping(base_);
  munmap(base_, size_);
}

InputFile::~InputFile() {
  if (handle_ >= 0) ::close(descriptor(handle_));
}

FileError InputFile::open(const char* name) {
  const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {"open", errno};
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    const int code = errno;
    ::close(fd);
    return {"open", code};
  }
  if (S_ISDIR(info.st_mode)) {
    ::close(fd);
    return {"open", EISDIR};
  }
  name_ = name;
  handle_ = fd;
  sizeHint_ = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
  return {};
}

FileError InputFile::map(FileMapping& mapping) {
  mapping = FileMapping();
  if (sizeHint_ == 0 || sizeHint_ > SIZE_MAX) return {};
  const auto size = static_cast<std::size_t>(sizeHint_);
  void* base = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor(handle_), 0);
  if (base == MAP_FAILED) return errno == ENOMEM ? FileError{"read", ENOMEM} : FileError{};
  madvise(base, size, MADV_WILLNEED);  // all of it is read, and soon
  guardMapping(base, size, name_);
  mapping.base_ = base;
  mapping.size_ = size;
  return {};
}

FileError InputFile::read(char* dest, std::size_t size, std::size_t& got) {
  ssize_t n;
  do {
    n = ::read(descriptor(handle_), dest, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return {"read", errno};
  got = static_cast<std::size_t>(n);
  return {};
}

ReplacementFile::~ReplacementFile() { discard(); }

FileError ReplacementFile::create(const char* name) {
  // Past a file-size limit, write must fail with EFBIG rather than the signal ending the run
  // and leaving the temporary file behind.
  std::signal(SIGXFSZ, SIG_IGN);

  if (FileError error = resolveLinks(name, target_)) return error;
  struct stat old;
  const bool replacing = stat(target_.c_str(), &old) == 0;
  if (replacing && S_ISDIR(old.st_mode)) return {"create", EISDIR};
  const mode_t mode =
      replacing ? static_cast<mode_t>(old.st_mode & 07777) : defaultModeForNewFile();

  for (int attempt = 0; attempt < kMaxNameTries; ++attempt) {
    if (FileError error = unpredictableNameBeside(target_, temporary_)) return error;
    // O_EXCL with O_CREAT never follows a symbolic link, nor opens a file that is already there.
    const int fd =
        ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      handle_ = fd;
      rememberTemporary(temporary_);
      break;
    }
    if (errno != EEXIST) {
      const int code = errno;
      temporary_.clear();
      return {"create", code};
    }
  }
  if (handle_ < 0) {
    temporary_.clear();
    return {"create", EEXIST};
  }
  if (fchmod(descriptor(handle_), mode) != 0) return {"create", errno};
  if (replacing) {
    // Keeping the owner works only for a privileged run; otherwise the new file is ours.
    [[maybe_unused]] const int kept = fchown(descriptor(handle_), old.st_uid, old.st_gid);
  }
  return {};
}

FileError ReplacementFile::write(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(descriptor(handle_), data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return {"write", errno};
    if (n == 0) return {"write", ENOSPC};
    data += n;
    size -= static_cast<std::size_t>(n);
    written_ += static_cast<std::uint64_t>(n);
  }
  startWritingBack();
  return {};
}

void ReplacementFile::startWritingBack() {
  // The disk writes what is written so far while the list is still being converted, so that
  // the flush at the end has little left to wait for. Only a hint: commit() still flushes all.
  if (written_ - sentToDisk_ < kWriteBackStep) return;
  sync_file_range(descriptor(handle_), static_cast<off_t>(sentToDisk_),
                  static_cast<off_t>(written_ - sentToDisk_), SYNC_FILE_RANGE_WRITE);
  sentToDisk_ = written_;
}

FileError ReplacementFile::commit() {
  if (fsync(descriptor(handle_)) != 0) return {"flush", errno};
  const int closed = ::close(descriptor(handle_));
  handle_ = -1;
  if (closed != 0) return {"flush", errno};
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) return {"replace", errno};
  temporary_.clear();
  temporaryInUse[0] = '\0';
  syncDirectoryOf(target_);
  return {};
}

void ReplacementFile::discard() {
  if (handle_ >= 0) ::close(descriptor(handle_));
  handle_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  temporaryInUse[0] = '\0';
}
