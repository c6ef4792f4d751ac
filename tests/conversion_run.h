// Runs of the dwzliste program itself, each in a fresh directory of its own, and the files and
// dumps the runs are checked with. REQUIRES: DWZLISTE_BINARY, the path of the program.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "test_files.h"
#include "windows_build.h"

namespace fs = std::filesystem;

inline constexpr uid_t kNobodyUser = 65534;
inline constexpr gid_t kNobodyGroup = 65534;

// ---------------------------------------------------------------------------------------------
// Files

// The names in a directory, sorted, without "." and "..".
inline std::set<std::string> listDirectory(const fs::path& directory) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

inline void setMode(const fs::path& path, mode_t mode) {
  ASSERT_EQ(chmod(path.c_str(), mode), 0) << path << ": " << std::strerror(errno);
}

inline mode_t modeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path << ": " << std::strerror(errno);
  return info.st_mode & 07777;
}

// A file as it is on disk, so that a run can be shown to have left it alone.
struct FileState {
  std::string bytes;
  ino_t inode = 0;
  mode_t mode = 0;
};

inline FileState stateOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0) << path << ": " << std::strerror(errno);
  return {readFile(path), info.st_ino, static_cast<mode_t>(info.st_mode & 07777)};
}

inline void expectUnchanged(const fs::path& path, const FileState& before) {
  ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << path << " is no longer a file";
  const FileState after = stateOf(path);
  EXPECT_EQ(after.bytes, before.bytes) << path << " has other bytes";
  EXPECT_EQ(after.inode, before.inode) << path << " was replaced";
  EXPECT_EQ(after.mode, before.mode) << path << " has other permissions";
}

// Compares two lists too long to print whole; a difference is shown as the first line that
// differs.
inline void expectSameList(const std::string& actual, const std::string& expected) {
  if (actual == expected) return;
  const auto [a, e] = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  const std::size_t at = static_cast<std::size_t>(a - actual.begin());
  const std::size_t lineStart = actual.rfind('\n', at == 0 ? 0 : at - 1);
  const std::size_t from = lineStart == std::string::npos || at == 0 ? 0 : lineStart + 1;
  const auto lineAt = [from](const std::string& list) {
    return list.substr(from, list.find('\n', from) - from);
  };
  ADD_FAILURE() << "the lists differ at byte " << at << " (" << actual.size()
                << " bytes instead of " << expected.size()
                << ")\n  line:     " << testing::PrintToString(lineAt(actual))
                << "\n  expected: " << testing::PrintToString(lineAt(expected));
}

// ---------------------------------------------------------------------------------------------
// Dumps and the lists they give

inline std::string clubStatement(std::string_view code, std::string_view name) {
  return "REPLACE INTO `dwz_vereine` VALUES (\"" + std::string(code) + "\",\"1\",\"ABC\",\"" +
         std::string(name) + "\");\n";
}

inline std::string playerStatement(std::string_view values) {
  return "REPLACE INTO `dwz_spieler` VALUES (" + std::string(values) + ");\n";
}

// One word as the dump has it, in code page 1252, and as the list has it, in code page 850 and
// with the double quotes of a club name turned into apostrophes.
struct Spelling {
  std::string_view inDump, inList;
};

constexpr Spelling kSurnames[] = {
    {"Schmidt", "Schmidt"},           {"M\xFCller", "M\x81ller"}, {"Gro\xDF", "Gro\xE1"},
    {"\xD6zt\xFCrk", "\x99zt\x81rk"}, {"B\xE4r", "B\x84r"},       {"Wagner", "Wagner"},
};

constexpr Spelling kTowns[] = {
    {"Berlin", "Berlin"},
    {"M\xFCnchen", "M\x81nchen"},
    {"Stra\xDFkirchen", "Stra\xE1kirchen"},
    {"\xD6hringen", "\x99hringen"},
    {"K\xE4rlich", "K\x84rlich"},
    {"\"Turm\" M\xFCnster", "'Turm' M\x81nster"},
};

// Generated Spieler.sql and Vereine.sql with the lists they must give. The club codes are
// 10000 + 37 k; one player in five has a code of 9xxxx that no club has, and one club in ten or so
// has a second record under the same code that must not be used.
struct Dump {
  std::string players;
  std::string clubs;
  std::string list;              // the list from both files
  std::string listWithoutClubs;  // the list when no club is known
};

inline Dump generatedDump(int playerCount, int clubCount) {
  Dump dump;
  std::vector<std::string> clubCodes, clubNames;
  for (int k = 0; k < clubCount; ++k) {
    const Spelling& town = kTowns[k % std::size(kTowns)];
    clubCodes.push_back(std::to_string(10000 + 37 * k));
    clubNames.push_back("Schachklub " + std::string(town.inList) + " " + std::to_string(k));
    dump.clubs += clubStatement(clubCodes.back(),
                                "Schachklub " + std::string(town.inDump) + " " + std::to_string(k));
  }
  for (int k = 0; k < clubCount; k += clubCount / 10 + 1) {
    dump.clubs += clubStatement(clubCodes[static_cast<std::size_t>(k)], "Zweiter Eintrag");
  }

  for (int i = 0; i < playerCount; ++i) {
    const Spelling& surname = kSurnames[i % std::size(kSurnames)];
    const bool knownClub = i % 5 != 4;
    const std::string code = knownClub ? clubCodes[static_cast<std::size_t>(i % clubCount)]
                                       : std::to_string(90000 + i % 10000);
    const std::string head = "\"" + code + "\",\"" + std::to_string(i + 1) + "\",\"";
    const std::string given = ",Vorname" + std::to_string(i) + "\"";
    // the fourth field and the rating are sometimes null, and a null becomes  ""  with spaces
    const bool noFourth = i % 3 == 0, noRating = i % 7 == 0;
    const std::string rating = std::to_string(800 + i % 1900);
    const std::string dumpTail =
        std::string(noFourth ? ",null" : ",\"M\"") + (noRating ? ",null" : "," + rating);
    const std::string listTail =
        std::string(noFourth ? ", \"\" " : ",\"M\"") + (noRating ? ", \"\" " : "," + rating);
    dump.players += playerStatement(head + std::string(surname.inDump) + given + dumpTail);

    const std::string values = head + std::string(surname.inList) + given + listTail;
    const std::string clubField =
        knownClub ? ",\"" + clubNames[static_cast<std::size_t>(i % clubCount)] + "\"" : ",\"\"";
    dump.list += values + clubField + "\r\n";
    dump.listWithoutClubs += values + ",\"\"\r\n";
  }
  return dump;
}

// ---------------------------------------------------------------------------------------------
// Running the program

struct RunResult {
  int status = -1;  // the exit status; -1 when the program did not exit by itself
  int signal = 0;   // the signal that ended it, if one did
  std::string out, err;
};

struct RunOptions {
  bool onWindows = false;  // dwzliste.exe under Wine instead of the program of this build
  std::optional<mode_t> umask;
  std::optional<rlim_t> fileSizeLimit;
  bool unprivileged = false;  // as user nobody when the tests run as root
};

// What the child needs, made before fork so that the child calls nothing but the system.
struct ChildSetup {
  char* const* command;
  const char* directory;
  const char* outPath;
  const char* errPath;
  RunOptions options;
  bool dropToNobody;
};

[[noreturn]] inline void failChild(const char* step) {
  dprintf(STDERR_FILENO, "test child: %s: %s\n", step, std::strerror(errno));
  _exit(127);
}

[[noreturn]] inline void becomeProgram(const ChildSetup& setup) {
  const int out = open(setup.outPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err = open(setup.errPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) {
    _exit(126);
  }
  // A signal set to be ignored stays ignored across exec; the program must see the default.
  std::signal(SIGXFSZ, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  if (sigprocmask(SIG_SETMASK, &none, nullptr) != 0) failChild("sigprocmask");
  if (setup.options.umask) umask(*setup.options.umask);
  if (setup.dropToNobody) {
    if (setgroups(0, nullptr) != 0) failChild("setgroups");
    if (setgid(kNobodyGroup) != 0) failChild("setgid");
    if (setuid(kNobodyUser) != 0) failChild("setuid");
  }
  if (chdir(setup.directory) != 0) failChild("chdir");
  if (setup.options.fileSizeLimit) {
    const rlimit limit{*setup.options.fileSizeLimit, *setup.options.fileSizeLimit};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) failChild("setrlimit");
  }
  execv(setup.command[0], setup.command);
  failChild("exec");
}

// A fresh directory tree per test:  root/work  is where the program runs, root/captured holds
// its stdout and stderr, and tests may put other directories beside them.
class ConversionRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/dwzliste-end-to-end-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr) << std::strerror(errno);
    root_ = pattern;
    setMode(root_, 0755);  // mkdtemp gives 0700; an unprivileged run must get through
    fs::create_directory(work());
    fs::create_directory(captured());
    // the runs here are about the files; the status window has tests of its own, in an X
    // server of their own, and must not appear on the display of whoever runs the tests
    unsetenv("DISPLAY");
  }

  void TearDown() override {
    if (root_.empty()) return;
    // locked directories are opened up again, so that everything can be removed
    std::error_code ignored;
    chmod(root_.c_str(), 0755);
    for (auto it = fs::recursive_directory_iterator(root_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) chmod(it->path().c_str(), 0755);
    }
    fs::remove_all(root_, ignored);
    EXPECT_FALSE(fs::exists(root_)) << "cannot remove " << root_;
  }

  const fs::path& root() const { return root_; }
  fs::path work() const { return root_ / "work"; }
  fs::path captured() const { return root_ / "captured"; }
  fs::path playerFile() const { return work() / "Spieler.sql"; }
  fs::path clubFile() const { return work() / "Vereine.sql"; }
  fs::path listFile() const { return work() / "DWZ.liste"; }

  void writeInputs(const Dump& dump) {
    writeFile(playerFile(), dump.players);
    writeFile(clubFile(), dump.clubs);
  }

  // Runs the program to its end, which must be an exit.
  RunResult runProgram(const RunOptions& options = {}) const {
    const RunResult run = finishProgram(startProgram(options));
    if (run.signal != 0) ADD_FAILURE() << "the program ended by signal " << run.signal;
    return run;
  }

  // Starts the program, to be waited for with finishProgram; -1 when it cannot be started.
  pid_t startProgram(const RunOptions& options = {}) const {
    const std::string directory = work().string();
    const std::string outPath = (captured() / "stdout").string();
    const std::string errPath = (captured() / "stderr").string();
    const std::vector<std::string> command =
        options.onWindows ? underWine("dwzliste.exe") : std::vector<std::string>{DWZLISTE_BINARY};
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const ChildSetup setup{argv.data(),     directory.c_str(),
                           outPath.c_str(), errPath.c_str(),
                           options,         options.unprivileged && geteuid() == 0};
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) ADD_FAILURE() << "fork: " << std::strerror(errno);
    if (child == 0) becomeProgram(setup);
    return child;
  }

  RunResult finishProgram(pid_t child) const {
    RunResult run;
    if (child < 0) return run;
    int waitStatus = 0;
    pid_t waited;
    do {
      waited = waitpid(child, &waitStatus, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited != child) {
      ADD_FAILURE() << "waitpid: " << std::strerror(errno);
    } else if (WIFEXITED(waitStatus)) {
      run.status = WEXITSTATUS(waitStatus);
    } else if (WIFSIGNALED(waitStatus)) {
      run.signal = WTERMSIG(waitStatus);
    }
    run.out = readFile(captured() / "stdout");
    run.err = readFile(captured() / "stderr");
    return run;
  }

  void expectListing(const fs::path& directory, const std::set<std::string>& names) {
    EXPECT_EQ(listDirectory(directory), names) << "in " << directory;
  }

 private:
  fs::path root_;
};

inline const std::set<std::string> kInputsAndList = {"DWZ.liste", "Spieler.sql", "Vereine.sql"};
